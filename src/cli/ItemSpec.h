// Items as a person types them: NAME:TRIMIN:TRIMOUT[:LENGTH], trim points in
// frames. The name may itself hold colons; the numbers are taken from the
// right. Without LENGTH the item is TRIMOUT - TRIMIN long.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <vector>

namespace gezhuan {

// Parses one spec; on failure returns false and says why.
bool ParseItemSpec(const std::string& spec, SQZGeZhuanItemInfo* item, std::string* why);

// Items for task from specs, in order: fresh GUIDs, nIndex 0, 1, 2...
// Throws a usage error naming the bad spec.
std::vector<SQZGeZhuanItemInfo> ItemsFromSpecs(const std::vector<std::string>& specs, const GUID& task);

// The items of an --items file: a JSON array of items, or one spec a line
// (blank lines and lines starting with # are skipped). "-" reads stdin.
std::vector<SQZGeZhuanItemInfo> ItemsFromFile(const std::string& path, const GUID& task);

// The whole of a file, or of standard input for "-". Fails when unreadable.
std::string ReadInput(const std::string& path);

}  // namespace gezhuan
