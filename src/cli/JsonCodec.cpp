#include "JsonCodec.h"

#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "DateText.h"
#include "GuidText.h"
#include "RecordFields.h"
#include "Text.h"

namespace gezhuan {

namespace {

// Writes each visited field into a JSON object, in visiting order.
struct Encoder {
  Json& out;
  void operator()(const char* name, const GUID& v) const { out[name] = GuidToUtf8(v); }
  void operator()(const char* name, const std::wstring& v) const { out[name] = ToUtf8(v); }
  void operator()(const char* name, const SQZDateTime& v) const {
    const std::optional<std::string> text = FormatDateTime(v);
    out[name] = text ? Json(*text) : Json(nullptr);
  }
  void operator()(const char* name, uint32_t v) const { out[name] = v; }
  void operator()(const char* name, int32_t v) const { out[name] = v; }
};

[[noreturn]] void Refuse(const std::string& path, const std::string& field, const std::string& why) {
  throw DocumentError("document refused at " + path + " (field " + field + "): " + why);
}

// Cuts text to at most size bytes without splitting a UTF-8 sequence.
std::string Utf8Prefix(const std::string& text, size_t size) {
  if (text.size() <= size) return text;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return text.substr(0, size);
}

std::string Quoted(const std::string& text, size_t limit) {
  return Json(Utf8Prefix(text, limit)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A value as it stands in the document, cut to about 60 bytes for a
// message. Containers are walked with a stack of their own and only until
// the text is long enough: a value nested thousands deep or a string of
// megabytes costs no more than a short one.
std::string Shown(const Json& value) {
  constexpr size_t kLimit = 60;
  struct Open {
    const Json* container;
    Json::const_iterator next;
  };
  std::vector<Open> open;
  std::string out;
  auto enter = [&](const Json& v) {
    if (v.is_array() || v.is_object()) {
      out += v.is_array() ? '[' : '{';
      open.push_back({&v, v.cbegin()});
    } else if (v.is_string()) {
      out += Quoted(v.get_ref<const std::string&>(), kLimit);
    } else {
      out += v.dump();
    }
  };
  enter(value);
  while (!open.empty() && out.size() <= kLimit) {
    Open& top = open.back();
    if (top.next == top.container->cend()) {
      out += top.container->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (top.next != top.container->cbegin()) out += ',';
    if (top.container->is_object()) out += Quoted(top.next.key(), kLimit) + ':';
    const Json& child = *top.next;
    ++top.next;
    enter(child);  // may grow open: top is not used after this
  }
  if (out.size() > kLimit || !open.empty()) out = Utf8Prefix(out, kLimit - 3) + "...";
  return out;
}

// Reads each visited field that the object holds, checking its type and
// value; notes which names it knew.
struct Decoder {
  const Json& object;
  std::string path;
  std::set<std::string>& known;

  template <class Field>
  void operator()(const char* name, Field& field) const {
    known.insert(name);
    auto found = object.find(name);
    if (found == object.end()) return;
    Read(*found, path + "." + name, name, field);
  }

  static void Read(const Json& v, const std::string& path, const char* name, GUID& field) {
    if (!v.is_string()) Refuse(path, name, "expected GUID text, found " + Shown(v));
    if (!ParseGuid(v.get<std::string>(), &field)) Refuse(path, name, "bad GUID text " + Shown(v));
  }
  static void Read(const Json& v, const std::string& path, const char* name, std::wstring& field) {
    if (!v.is_string()) Refuse(path, name, "expected a string, found " + Shown(v));
    field = FromUtf8(v.get<std::string>());
  }
  static void Read(const Json& v, const std::string& path, const char* name, SQZDateTime& field) {
    if (v.is_null()) {
      field = SQZDateTime();
      field.m_status = SQZDateTime::invalid;
      return;
    }
    if (!v.is_string()) Refuse(path, name, "expected a date-time text or null, found " + Shown(v));
    std::string why;
    if (!ParseDateTime(v.get<std::string>(), &field, &why)) Refuse(path, name, why);
  }
  static int64_t Integer(const Json& v, const std::string& path, const char* name, int64_t low, int64_t high) {
    bool ok = v.is_number_integer();
    int64_t value = 0;
    if (ok && v.is_number_unsigned()) {
      const uint64_t u = v.get<uint64_t>();
      ok = u <= static_cast<uint64_t>(high);
      value = static_cast<int64_t>(u);
    } else if (ok) {
      value = v.get<int64_t>();
    }
    if (!ok || value < low || value > high)
      Refuse(path, name,
             "expected an integer from " + std::to_string(low) + " to " + std::to_string(high) + ", found " + Shown(v));
    return value;
  }
  static void Read(const Json& v, const std::string& path, const char* name, uint32_t& field) {
    field = static_cast<uint32_t>(Integer(v, path, name, 0, std::numeric_limits<uint32_t>::max()));
  }
  static void Read(const Json& v, const std::string& path, const char* name, int32_t& field) {
    field = static_cast<int32_t>(
        Integer(v, path, name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  }
};

void RefuseUnknownFields(const Json& object, const std::string& path, const std::set<std::string>& known) {
  for (auto it = object.begin(); it != object.end(); ++it)
    if (!known.count(it.key())) Refuse(path + "." + it.key(), it.key(), "unknown field");
}

// A task document is four levels deep (tasks, a task, its items, an item);
// anything far deeper is not one, and is refused before it is parsed so
// that no part of the tool ever walks it.
constexpr int kMaxDepth = 32;

// The byte at which text opens its (kMaxDepth + 1)th nested array or
// object, outside strings; npos when it never does.
size_t TooDeepAt(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::string::npos;
}

Json Parse(const std::string& text) {
  const size_t deep = TooDeepAt(text);
  if (deep != std::string::npos)
    throw DocumentError("document refused: arrays and objects nested more than " + std::to_string(kMaxDepth) +
                        " deep (byte " + std::to_string(deep + 1) + ")");
  // The parser's own words, without its "[json.exception...] " tag.
  auto words = [](const Json::exception& e) {
    std::string message = e.what();
    const size_t close = message.find("] ");
    if (message.rfind("[json.exception", 0) == 0 && close != std::string::npos) message = message.substr(close + 2);
    return message;
  };
  try {
    return Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw DocumentError("document refused: not JSON: " + words(e) + " (byte " + std::to_string(e.byte) + ")");
  } catch (const Json::exception& e) {
    // A number too large for any type (1E400) is refused as out of range.
    throw DocumentError("document refused: not JSON: " + words(e));
  }
}

std::vector<SQZGeZhuanItemInfo> ReadItems(const Json& array, const std::string& path, const GUID& task) {
  if (!array.is_array()) Refuse(path, "arrItems", "expected an array of items, found " + Shown(array));
  std::vector<SQZGeZhuanItemInfo> items;
  std::map<std::string, std::string> seenItems;
  for (size_t i = 0; i < array.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& object = array[i];
    if (!object.is_object()) Refuse(at, "arrItems", "expected an item object, found " + Shown(object));
    SQZGeZhuanItemInfo item;
    item.guidTask = task;
    item.guidItem = NewRandomGuid();
    item.nIndex = static_cast<int32_t>(i);
    std::set<std::string> known;
    VisitItemFields(item, Decoder{object, at, known});
    RefuseUnknownFields(object, at, known);
    if (item.guidTask != task)
      Refuse(at + ".guidTask", "guidTask",
             "the item names task " + GuidToUtf8(item.guidTask) + " but stands in task " + GuidToUtf8(task));
    const std::string key = GuidToUtf8(item.guidItem);
    if (!seenItems.emplace(key, at).second)
      Refuse(at + ".guidItem", "guidItem", "the same guidItem as " + seenItems[key]);
    items.push_back(item);
  }
  return items;
}

}  // namespace

Json TaskToJson(const SQZGeZhuanTaskInfo& task) {
  Json out = Json::object();
  VisitTaskFields(task, Encoder{out});
  Json items = Json::array();
  for (const SQZGeZhuanItemInfo& item : task.arrItems) items.push_back(ItemToJson(item));
  out["arrItems"] = std::move(items);
  return out;
}

Json ItemToJson(const SQZGeZhuanItemInfo& item) {
  Json out = Json::object();
  VisitItemFields(item, Encoder{out});
  return out;
}

Json GroupToJson(const SQZGZVTRTapeTypeGroupInfo& group) {
  Json out = Json::object();
  VisitGroupFields(group, Encoder{out});
  return out;
}

Json TapeToJson(const SQZGZVTRTapeTypeInfo& tape) {
  Json out = Json::object();
  VisitTapeFields(tape, Encoder{out});
  return out;
}

std::string DocumentText(const Json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(const std::string& text,
                                                  const std::function<void(size_t done, size_t total)>& checked) {
  const Json document = Parse(text);
  if (!document.is_array()) Refuse("$", "(document)", "expected an array of tasks, found " + Shown(document));
  std::vector<SQZGeZhuanTaskInfo> tasks;
  tasks.reserve(document.size());
  std::map<std::string, std::string> seenTasks;
  for (size_t t = 0; t < document.size(); ++t) {
    const std::string at = "$[" + std::to_string(t) + "]";
    const Json& object = document[t];
    if (!object.is_object()) Refuse(at, "(task)", "expected a task object, found " + Shown(object));
    SQZGeZhuanTaskInfo task;
    task.guidTaskID = NewRandomGuid();
    std::set<std::string> known{"arrItems"};
    VisitTaskFields(task, Decoder{object, at, known});
    RefuseUnknownFields(object, at, known);
    if (IsNullGuid(task.guidTaskID)) Refuse(at + ".guidTaskID", "guidTaskID", "the null GUID cannot key a task");
    const std::string key = GuidToUtf8(task.guidTaskID);
    if (!seenTasks.emplace(key, at).second)
      Refuse(at + ".guidTaskID", "guidTaskID", "the same guidTaskID as " + seenTasks[key]);
    auto items = object.find("arrItems");
    if (items != object.end()) task.arrItems = ReadItems(*items, at + ".arrItems", task.guidTaskID);
    tasks.push_back(std::move(task));
    if (checked) checked(tasks.size(), document.size());
  }
  return tasks;
}

std::vector<SQZGeZhuanItemInfo> ItemsFromDocument(const std::string& text, const GUID& task) {
  return ReadItems(Parse(text), "$", task);
}

Json CatalogueToJson(const CatalogueDocument& catalogue) {
  Json out = Json::object();
  out["groups"] = Json::array();
  for (const auto& group : catalogue.groups) out["groups"].push_back(GroupToJson(group));
  out["tapes"] = Json::array();
  for (const auto& tape : catalogue.tapes) out["tapes"].push_back(TapeToJson(tape));
  return out;
}

namespace {

// Reads the records of one array of a catalogue document.
template <class Record, class Visit>
std::vector<Record> ReadCatalogueRecords(const Json& document, const char* name, const char* key, Visit visit,
                                         GUID Record::*guid) {
  std::vector<Record> records;
  const std::string path = std::string("$.") + name;
  auto array = document.find(name);
  if (array == document.end()) return records;
  if (!array->is_array()) Refuse(path, name, "expected an array, found " + Shown(*array));
  std::map<std::string, std::string> seen;
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& object = (*array)[i];
    if (!object.is_object()) Refuse(at, name, "expected an object, found " + Shown(object));
    if (object.find(key) == object.end()) Refuse(at + "." + key, key, "missing");
    Record record;
    std::set<std::string> known;
    visit(record, Decoder{object, at, known});
    RefuseUnknownFields(object, at, known);
    if (IsNullGuid(record.*guid)) Refuse(at + "." + key, key, "the null GUID cannot key a record");
    const std::string text = GuidToUtf8(record.*guid);
    if (!seen.emplace(text, at).second)
      Refuse(at + "." + key, key, "the same " + std::string(key) + " as " + seen[text]);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

CatalogueDocument CatalogueFromDocument(const std::string& text) {
  const Json document = Parse(text);
  if (!document.is_object())
    Refuse("$", "(document)", "expected an object with \"groups\" and \"tapes\", found " + Shown(document));
  for (auto it = document.begin(); it != document.end(); ++it)
    if (it.key() != "groups" && it.key() != "tapes") Refuse("$." + it.key(), it.key(), "unknown field");
  CatalogueDocument catalogue;
  catalogue.groups = ReadCatalogueRecords<SQZGZVTRTapeTypeGroupInfo>(
      document, "groups", "guidGroupID", [](auto& g, auto&& v) { VisitGroupFields(g, v); },
      &SQZGZVTRTapeTypeGroupInfo::guidGroupID);
  catalogue.tapes = ReadCatalogueRecords<SQZGZVTRTapeTypeInfo>(
      document, "tapes", "TAPEGUID", [](auto& t, auto&& v) { VisitTapeFields(t, v); }, &SQZGZVTRTapeTypeInfo::TAPEGUID);
  return catalogue;
}

}  // namespace gezhuan
