// What the tool lets into the database, whichever way a task or an item
// comes in: typed on the command line (task add|edit, item add|edit) or
// read from a document (task import, task edit --items). The library
// stores whatever it is given; these are the rules of the work:
// - an item's trim out is not before its trim in, and its length is the
//   distance between them;
// - a task does not end before it begins (an unset begin or end is not
//   compared);
// - the tape types a task names are in the catalogue, name and GUID
//   belonging together, unless the person allows unknown ones.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <optional>
#include <string>
#include <vector>

namespace gezhuan {

// A rule a record breaks: the field (its column name), where it stands
// ("" for the task itself, "arrItems[2]" for its third item) and why.
struct Refusal {
  std::string where;
  std::string field;
  std::string why;
};

// The tape types of the catalogue, read once.
class TapeCatalogue {
 public:
  explicit TapeCatalogue(CQZNVGeZhuanDBControl& control);

  // Whether the name and GUID a task stores name one tape type of the
  // catalogue: the GUID's (when not null) with the name empty or its own,
  // else the tape named so. Both empty: no tape type, which is allowed.
  std::optional<std::string> Problem(const std::wstring& name, const GUID& guid) const;

  // The tape type typed as GUID text or as its name; nullptr when none.
  const SQZGZVTRTapeTypeInfo* Find(const std::string& typed) const;

 private:
  std::vector<SQZGZVTRTapeTypeInfo> m_tapes;
};

// The item's trim points and length.
std::optional<Refusal> CheckItem(const SQZGeZhuanItemInfo& item);

// The task's begin and end.
std::optional<Refusal> CheckDates(const SQZGeZhuanTaskInfo& task);

// Items, each as CheckItem; where names the item's place.
std::optional<Refusal> CheckItems(const std::vector<SQZGeZhuanItemInfo>& items);

// The task's dates, its items, and when tapes is given its tape types.
std::optional<Refusal> CheckTask(const SQZGeZhuanTaskInfo& task, const TapeCatalogue* tapes);

// The refusal as one sentence: "arrItems[2].dwLength: why".
std::string Describe(const Refusal& refusal);

}  // namespace gezhuan
