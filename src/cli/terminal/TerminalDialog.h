// The settings dialog on a terminal: the library shows it from its settings
// methods once the tool has installed it. Answers are read line by line, so
// that a script can drive it through a pipe as well as a person can.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace gezhuan {

// The engine names a person types and reads for the kind codes 0, 2 and 4.
std::string EngineName(int kind);

// Edits settings in place. Returns 1 when the person chose to save (after
// saving them to the store), 2 when they cancelled or input ended. On a
// terminal (terminal true) the password is read without echo. With columns
// > 0 long lines are broken at word boundaries to that width.
int RunTerminalDialog(std::vector<DBsSetNode>& settings, std::istream& in, std::ostream& out, bool terminal,
                      int columns = 0);

}  // namespace gezhuan
