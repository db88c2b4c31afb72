// How the driver reports what goes wrong: the engine's own message and
// extended result code, and the refusals of a text that is not exactly one
// statement.
#pragma once

namespace qz::access::sqlite {

// What SqliteConnection::PrepareOne answers for a text holding a second
// statement, or none; every other answer is SQLite's own result code.
inline constexpr int kSecondStatement = -1;
inline constexpr int kNoStatement = -2;

}  // namespace qz::access::sqlite
