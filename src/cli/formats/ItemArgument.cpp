#include "cli/formats/ItemArgument.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/commands/TaskChecks.h"
#include "cli/formats/JsonCodec.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/FilePath.h"
#include "cli/terminal/Text.h"
#include "common/RandomGuid.h"

namespace gezhuan {

using qz::common::NewRandomGuid;

namespace {

bool IsNumber(const std::string& part) {
  if (part.empty()) return false;
  for (char c : part)
    if ((c < '0' || c > '9') && c != ';' && c != '.') return false;
  return true;
}

// Splits the numeric parts after the name into the two or three values they
// spell: all frame counts, or all timecodes of four parts each (three with
// ';' or '.' before the frames). Anything else has no single reading.
bool GroupValues(const std::vector<std::string>& parts, std::vector<std::string>* values) {
  const bool semicolons = std::any_of(parts.begin(), parts.end(),
                                      [](const std::string& p) { return p.find_first_of(";.") != std::string::npos; });
  size_t size = 1;
  if (semicolons)
    size = 3;
  else if (parts.size() == 8 || parts.size() == 12)
    size = 4;
  if (parts.size() % size != 0 || parts.size() / size < 2 || parts.size() / size > 3) return false;
  for (size_t at = 0; at < parts.size(); at += size) {
    std::string value;
    for (size_t k = at; k < at + size; ++k) value += (k > at ? ":" : "") + parts[k];
    values->push_back(value);
  }
  return true;
}

}  // namespace

bool ParseItemArgument(const std::string& argument, const FrameRate& rate, SQZGeZhuanItemInfo* item, std::string* why) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = argument.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(argument.substr(start, colon - start));
  parts.push_back(argument.substr(start));

  // The name ends at the last part that is not a number (and is at least the
  // first part): a name may hold ':' as long as what follows the colon is not
  // all digits, so "Intro:00:00:10:00:00:00:20:00" is a name and two timecodes.
  size_t nameParts = parts.size();
  while (nameParts > 1 && IsNumber(parts[nameParts - 1])) --nameParts;
  std::vector<std::string> values;
  if (!GroupValues(std::vector<std::string>(parts.begin() + static_cast<std::ptrdiff_t>(nameParts), parts.end()),
                   &values)) {
    *why = "expected NAME:TRIMIN:TRIMOUT[:LENGTH], the points as frame counts or timecodes HH:MM:SS:FF, found \"" +
           argument + "\"";
    return false;
  }
  uint32_t numbers[3] = {0, 0, 0};
  for (size_t i = 0; i < values.size(); ++i) {
    std::string problem;
    if (!ParseTimecode(values[i], rate, &numbers[i], &problem)) {
      *why = problem + " in \"" + argument + "\"";
      return false;
    }
  }
  std::string name;
  for (size_t i = 0; i < nameParts; ++i) name += (i ? ":" : "") + parts[i];
  if (TrimAscii(name).empty()) {
    *why = "the item has no name: \"" + argument + "\"";
    return false;
  }
  SQZGeZhuanItemInfo parsed;
  parsed.strItemName = FromUtf8(name);
  parsed.dwTrimIn = numbers[0];
  parsed.dwTrimOut = numbers[1];
  parsed.dwLength = values.size() == 3 ? numbers[2] : numbers[1] - numbers[0];
  if (const auto refusal = CheckItem(parsed)) {
    *why = refusal->why + " in \"" + argument + "\"";
    return false;
  }
  item->strItemName = parsed.strItemName;
  item->dwTrimIn = parsed.dwTrimIn;
  item->dwTrimOut = parsed.dwTrimOut;
  item->dwLength = parsed.dwLength;
  return true;
}

std::vector<SQZGeZhuanItemInfo> ItemsFromArguments(const std::vector<std::string>& arguments, const GUID& task,
                                                   const FrameRate& rate) {
  std::vector<SQZGeZhuanItemInfo> items;
  for (const std::string& argument : arguments) {
    SQZGeZhuanItemInfo item;
    std::string why;
    if (!ParseItemArgument(argument, rate, &item, &why))
      UsageError("item " + std::to_string(items.size() + 1) + ": " + why);
    item.guidTask = task;
    item.guidItem = NewRandomGuid();
    item.nIndex = static_cast<int32_t>(items.size());
    items.push_back(item);
  }
  return items;
}

std::string ReadInput(const std::string& path) {
  if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) Fail("cannot read " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<SQZGeZhuanItemInfo> ItemsFromFile(const std::string& path, const GUID& task, const FrameRate& rate) {
  const std::string text = ReadInput(path);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '[') {
    try {
      return ItemsFromDocument(text, task);
    } catch (const DocumentError& e) {
      Fail(path + ": " + e.what());
    }
  }
  std::vector<std::string> arguments;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    line = TrimAscii(line);
    if (!line.empty() && line[0] != '#') arguments.push_back(line);
  }
  return ItemsFromArguments(arguments, task, rate);
}

}  // namespace gezhuan
