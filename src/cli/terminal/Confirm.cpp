#include "cli/terminal/Confirm.h"

#include <unistd.h>

#include <cctype>
#include <iostream>

namespace gezhuan {

namespace {

#ifdef _WIN32
const char kEndOfInputKey[] = "Ctrl-Z and Enter";
#else
const char kEndOfInputKey[] = "Ctrl-D";
#endif

}  // namespace

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool Confirmed(const std::string& question) {
  std::cout.flush();
  std::cerr << question << " [y/N] " << std::flush;
  // A terminal's end of input ends one read only: after the GUIDs of
  // `task delete -`, the answer is the next line typed.
  std::cin.clear();
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cerr << '\n';
    return false;
  }
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) answer.pop_back();
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.front()))) answer.erase(0, 1);
  return answer == "y" || answer == "yes";
}

void AnnounceTerminalInput(const std::string& what) {
  if (InputIsTerminal())
    std::cerr << "gezhuan: reading " << what << " from standard input (end with " << kEndOfInputKey << ")\n";
}

}  // namespace gezhuan
