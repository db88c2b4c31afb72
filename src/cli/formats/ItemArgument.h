// Items as a person types them: NAME:TRIMIN:TRIMOUT[:LENGTH], each point a
// frame count or a timecode HH:MM:SS:FF at the chosen rate (all of one
// kind). The name may itself hold colons where the part after a colon is not
// all digits. Without LENGTH the item is TRIMOUT - TRIMIN long; a LENGTH
// given must be that (cli/commands/TaskChecks.h holds the rules).
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <vector>

#include "cli/formats/Timecode.h"

namespace gezhuan {

// Parses one argument; on failure returns false and says why.
bool ParseItemArgument(const std::string& argument, const FrameRate& rate, SQZGeZhuanItemInfo* item, std::string* why);

// Items for task from arguments, in order: fresh GUIDs, nIndex 0, 1, 2...
// Throws a usage error naming the bad argument.
std::vector<SQZGeZhuanItemInfo> ItemsFromArguments(const std::vector<std::string>& arguments, const GUID& task,
                                                   const FrameRate& rate);

// The items of an --items file: a JSON array of items, or one argument a line
// (blank lines and lines starting with # are skipped). "-" reads stdin.
std::vector<SQZGeZhuanItemInfo> ItemsFromFile(const std::string& path, const GUID& task, const FrameRate& rate);

// The whole of a file, or of standard input for "-". Fails when unreadable.
std::string ReadInput(const std::string& path);

}  // namespace gezhuan
