// A person at the keyboard: asking before a change that cannot be undone,
// and saying when the tool waits for typed input.
#pragma once

#include <string>

namespace gezhuan {

// Whether standard input is a terminal (somebody typing), not a pipe or a file.
bool InputIsTerminal();

// Asks question on standard error, "[y/N]" added, and reads one line of
// answer from standard input. True only for y or yes (in any case); end of
// input or anything else is a no.
bool Confirmed(const std::string& question);

// When standard input is a terminal, says on standard error that what is
// read from it until the end-of-input key, which it names.
void AnnounceTerminalInput(const std::string& what);

}  // namespace gezhuan
