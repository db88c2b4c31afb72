#include "records/RecordJson.h"

#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "common/GuidText.h"
#include "platform/TextEncoding.h"
#include "records/DateText.h"
#include "records/RecordColumns.h"

namespace qz::records {

namespace {

// A column name as a JSON key: the names are ASCII.
std::string Key(const wchar_t* name) {
  std::string key;
  while (*name != 0) key += static_cast<char>(*name++);
  return key;
}

// Writes each column into a JSON object, in table order.
struct Encoder {
  Json& out;
  void operator()(const wchar_t* name, const GUID& v) const {
    out[Key(name)] = platform::WideToUtf8(common::GuidToText(v));
  }
  void operator()(const wchar_t* name, const std::wstring& v) const { out[Key(name)] = platform::WideToUtf8(v); }
  void operator()(const wchar_t* name, const SQZDateTime& v) const {
    const std::optional<std::string> text = FormatDateTime(v);
    out[Key(name)] = text ? Json(*text) : Json(nullptr);
  }
  void operator()(const wchar_t* name, uint32_t v) const { out[Key(name)] = v; }
  void operator()(const wchar_t* name, int32_t v) const { out[Key(name)] = v; }
};

template <class Record>
Json Encode(const Record& record) {
  Json out = Json::object();
  VisitColumns(record, Encoder{out});
  return out;
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

// Reads each column that the object holds, checking its type and value,
// and counts the members it found, so that any other member is known to
// be there.
struct Decoder {
  const Json& object;
  const std::string& path;
  size_t found = 0;

  template <class Field>
  void operator()(const wchar_t* column, Field& field) {
    const std::string name = Key(column);
    auto member = object.find(name);
    if (member == object.end()) return;
    ++found;
    Read(*member, path + "." + name, name, field);
  }

  static void Read(const Json& v, const std::string& path, const std::string& name, GUID& field) {
    if (!v.is_string()) Refuse(path, name, "expected GUID text, found " + Shown(v));
    if (!common::ReadTypedGuid(v.get_ref<const std::string&>(), &field))
      Refuse(path, name, "bad GUID text " + Shown(v));
  }
  static void Read(const Json& v, const std::string& path, const std::string& name, std::wstring& field) {
    if (!v.is_string()) Refuse(path, name, "expected a string, found " + Shown(v));
    field = platform::Utf8ToWide(v.get_ref<const std::string&>());
  }
  static void Read(const Json& v, const std::string& path, const std::string& name, SQZDateTime& field) {
    if (v.is_null()) {
      field = SQZDateTime();
      field.m_status = SQZDateTime::invalid;
      return;
    }
    if (!v.is_string()) Refuse(path, name, "expected a date-time text or null, found " + Shown(v));
    std::string why;
    if (!ParseDateTime(v.get_ref<const std::string&>(), &field, &why)) Refuse(path, name, why);
  }
  static int64_t Integer(const Json& v, const std::string& path, const std::string& name, int64_t low, int64_t high) {
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
  static void Read(const Json& v, const std::string& path, const std::string& name, uint32_t& field) {
    field = static_cast<uint32_t>(Integer(v, path, name, 0, std::numeric_limits<uint32_t>::max()));
  }
  static void Read(const Json& v, const std::string& path, const std::string& name, int32_t& field) {
    field = static_cast<int32_t>(
        Integer(v, path, name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  }
};

// Reads the columns of Record from object; extra names a member that is no
// column but belongs to the caller (a task's arrItems), or is null.
template <class Record>
void Decode(const Json& object, const std::string& path, const char* extra, Record* record) {
  if (!object.is_object()) Refuse(path, "(record)", "expected an object, found " + Shown(object));
  Decoder decoder{object, path};
  VisitColumns(*record, decoder);
  const size_t extras = extra != nullptr && object.contains(extra) ? 1 : 0;
  if (decoder.found + extras == object.size()) return;
  // Some member is none of them: name the first.
  std::set<std::string> known;
  VisitColumns(*record, [&](const wchar_t* column, const auto&) { known.insert(Key(column)); });
  if (extra != nullptr) known.insert(extra);
  for (auto it = object.begin(); it != object.end(); ++it)
    if (!known.count(it.key())) Refuse(path + "." + it.key(), it.key(), "unknown field");
}

// A task's document is four levels deep (tasks, a task, its items, an
// item); anything far deeper is not one, and is refused before it is
// parsed so that nothing ever walks it.
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

}  // namespace

Json TaskToJson(const SQZGeZhuanTaskInfo& task) {
  Json out = Encode(task);
  Json items = Json::array();
  for (const SQZGeZhuanItemInfo& item : task.arrItems) items.push_back(ItemToJson(item));
  out["arrItems"] = std::move(items);
  return out;
}

Json ItemToJson(const SQZGeZhuanItemInfo& item) { return Encode(item); }
Json GroupToJson(const SQZGZVTRTapeTypeGroupInfo& group) { return Encode(group); }
Json TapeToJson(const SQZGZVTRTapeTypeInfo& tape) { return Encode(tape); }

void ReadFields(const Json& object, const std::string& path, SQZGeZhuanTaskInfo* task) {
  Decode(object, path, "arrItems", task);
}
void ReadFields(const Json& object, const std::string& path, SQZGeZhuanItemInfo* item) {
  Decode(object, path, nullptr, item);
}
void ReadFields(const Json& object, const std::string& path, SQZGZVTRTapeTypeGroupInfo* group) {
  Decode(object, path, nullptr, group);
}
void ReadFields(const Json& object, const std::string& path, SQZGZVTRTapeTypeInfo* tape) {
  Decode(object, path, nullptr, tape);
}

Json ParseJson(const std::string& text) {
  const size_t deep = TooDeepAt(text);
  if (deep != std::string::npos)
    throw JsonError("document refused: arrays and objects nested more than " + std::to_string(kMaxDepth) +
                    " deep (byte " + std::to_string(deep + 1) + ")");
  // The parser's own words, without its "[json.exception...] " tag.
  auto words = [](const Json::exception& e) {
    std::string message = e.what();
    const size_t close = message.find("] ");
    if (message.rfind("[json.exception", 0) == 0 && close != std::string::npos) message = message.substr(close + 2);
    return message;
  };
  // The arrays and objects open at the moment, outermost first, with what
  // is needed to name where a key stands and to find it given twice: the
  // parser itself would let the last value of a key overwrite the first.
  struct Open {
    bool array;
    size_t index;     // elements of an array so far
    std::string key;  // the member of an object being read
    std::set<std::string> keys;
  };
  std::vector<Open> open;
  auto watch = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        open.push_back({event == Json::parse_event_t::array_start, 0, std::string(), {}});
        break;
      case Json::parse_event_t::key:
        open.back().key = parsed.get<std::string>();
        if (!open.back().keys.insert(open.back().key).second) {
          std::string path = "$";
          for (const Open& o : open) path += o.array ? "[" + std::to_string(o.index) + "]" : "." + o.key;
          Refuse(path, open.back().key, "given twice in one object");
        }
        break;
      case Json::parse_event_t::value:
        if (!open.empty() && open.back().array) ++open.back().index;
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        open.pop_back();
        if (!open.empty() && open.back().array) ++open.back().index;
        break;
    }
    return true;
  };
  try {
    return Json::parse(text, watch);
  } catch (const Json::parse_error& e) {
    throw JsonError("document refused: not JSON: " + words(e) + " (byte " + std::to_string(e.byte) + ")");
  } catch (const Json::exception& e) {
    // A number too large for any type (1E400) is refused as out of range.
    throw JsonError("document refused: not JSON: " + words(e));
  }
}

void Refuse(const std::string& path, const std::string& field, const std::string& why) {
  throw JsonError("document refused at " + path + " (field " + field + "): " + why);
}

// Containers are walked with a stack of their own and only until the text
// is long enough: a value nested thousands deep or a string of megabytes
// costs no more than a short one.
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

}  // namespace qz::records
