// Text a person types reaches the tool in the character set of their
// locale: UTF-8 almost everywhere, GBK or GB18030 on some Chinese systems.
// The library stores Unicode, and UTF-8 that is not well-formed would be
// stored as U+FFFD without a word; so text is converted to UTF-8 here, at
// the edge, or refused.
#pragma once

#include <string>
#include <vector>

namespace gezhuan {

// text, in the locale's character set, as UTF-8. In a UTF-8 locale, and in
// the C locale (whose ASCII is a part of UTF-8, and where scripts pass
// UTF-8 anyway), text must already be well-formed UTF-8. False when text is
// not text of that set. Call after setlocale(LC_ALL, "").
bool TerminalTextToUtf8(const std::string& text, std::string* utf8);

// What TerminalTextToUtf8 expects, for messages: "UTF-8", "GBK", "CP936"...
// One implementation per platform (PosixTerminalCharset.cpp asks the locale,
// WindowsTerminalCharset.cpp the console's or the ANSI code page).
std::string TerminalCharset();

// text, in charset (as TerminalCharset names it), as UTF-8; false at the
// first byte that is not of the set. Per platform, like TerminalCharset.
bool CharsetToUtf8(const std::string& charset, const std::string& text, std::string* utf8);

// The arguments as the system holds them, in Unicode, as UTF-8: true on
// Windows, whose argv is only the ANSI code page's lossy copy of the wide
// command line; false where argv is the original (POSIX).
bool UnicodeArguments(int argc, std::vector<std::string>* utf8);

// Makes the console show the UTF-8 the tool writes (Windows: the console's
// output code page, put back at exit); nothing where terminals take bytes.
void PrepareConsoleOutput();

// Converts every argument after the program name. "" when all could be,
// else a message that names the option whose text could not.
std::string ArgumentsToUtf8(int argc, const char* const* argv, std::vector<std::string>* out);

}  // namespace gezhuan
