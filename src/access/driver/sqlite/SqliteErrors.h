// How the driver reports what goes wrong: the engine's own message and
// extended result code, and the refusals of a text that is not exactly one
// statement.
#pragma once

#include <string>

namespace qz::access::sqlite {

// Raises the engine's message (UTF-8) with its extended result code; a
// "database is locked" says why the wait ended.
[[noreturn]] void RaiseEngineError(const std::string& message, int extended_code);

// What SqliteConnection::PrepareOne answers for a text holding a second
// statement, or none; every other answer is SQLite's own result code.
inline constexpr int kSecondStatement = -1;
inline constexpr int kNoStatement = -2;

}  // namespace qz::access::sqlite
