#include "ItemArgument.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Diagnostics.h"
#include "GuidText.h"
#include "JsonCodec.h"
#include "Text.h"

namespace gezhuan {

namespace {

bool ParseFrames(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool ParseItemArgument(const std::string& argument, SQZGeZhuanItemInfo* item, std::string* why) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = argument.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(argument.substr(start, colon - start));
  parts.push_back(argument.substr(start));

  uint32_t numbers[3] = {0, 0, 0};
  size_t count = 0;  // how many trailing parts are the numbers
  if (parts.size() >= 4 && ParseFrames(parts[parts.size() - 3], &numbers[0]) &&
      ParseFrames(parts[parts.size() - 2], &numbers[1]) && ParseFrames(parts.back(), &numbers[2]))
    count = 3;
  else if (parts.size() >= 3 && ParseFrames(parts[parts.size() - 2], &numbers[0]) &&
           ParseFrames(parts.back(), &numbers[1]))
    count = 2;
  if (count == 0) {
    *why = "expected NAME:TRIMIN:TRIMOUT[:LENGTH] with frame counts, found \"" + argument + "\"";
    return false;
  }
  std::string name;
  for (size_t i = 0; i + count < parts.size(); ++i) name += (i ? ":" : "") + parts[i];
  if (TrimAscii(name).empty()) {
    *why = "the item has no name: \"" + argument + "\"";
    return false;
  }
  if (numbers[1] < numbers[0]) {
    *why = "TRIMOUT comes before TRIMIN in \"" + argument + "\"";
    return false;
  }
  item->strItemName = FromUtf8(name);
  item->dwTrimIn = numbers[0];
  item->dwTrimOut = numbers[1];
  item->dwLength = count == 3 ? numbers[2] : numbers[1] - numbers[0];
  return true;
}

std::vector<SQZGeZhuanItemInfo> ItemsFromArguments(const std::vector<std::string>& arguments, const GUID& task) {
  std::vector<SQZGeZhuanItemInfo> items;
  for (const std::string& argument : arguments) {
    SQZGeZhuanItemInfo item;
    std::string why;
    if (!ParseItemArgument(argument, &item, &why)) UsageError("item " + std::to_string(items.size() + 1) + ": " + why);
    item.guidTask = task;
    item.guidItem = NewRandomGuid();
    item.nIndex = static_cast<int32_t>(items.size());
    items.push_back(item);
  }
  return items;
}

std::string ReadInput(const std::string& path) {
  if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<SQZGeZhuanItemInfo> ItemsFromFile(const std::string& path, const GUID& task) {
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
  return ItemsFromArguments(arguments, task);
}

}  // namespace gezhuan
