// The records' JSON, shared by the tool and the C interface: every column
// survives the round trip, date-times are written in one form and read in
// both, and a key given twice is refused wherever it stands.
#include <gtest/gtest.h>

#include <string>

#include "records/RecordColumns.h"
#include "records/RecordJson.h"

namespace {

using qz::records::Json;
using qz::records::JsonError;
using qz::records::ParseJson;
using qz::records::ReadFields;

// Gives every column a value of its own, unlike any default, so that a
// column the codec dropped or swapped shows.
struct Distinct {
  int n = 1;
  void operator()(const wchar_t*, GUID& field) {
    field = GUID{};
    field.Data1 = static_cast<uint32_t>(0xA0000000u + n);
    field.Data4[7] = static_cast<uint8_t>(n++);
  }
  void operator()(const wchar_t* name, std::wstring& field) { field = L" 值 " + std::wstring(name) + L" "; }
  void operator()(const wchar_t*, SQZDateTime& field) {
    field = SQZDateTime(2000 + n, 1 + n % 12, 1 + n % 28, n % 24, 7, 9);
    ++n;
  }
  void operator()(const wchar_t*, int32_t& field) { field = -1000 * n++; }
  void operator()(const wchar_t*, uint32_t& field) { field = 4294967295u - static_cast<uint32_t>(n++); }
};

TEST(RecordJsonTest, EveryColumnOfEveryRecordRoundTrips) {
  SQZGeZhuanTaskInfo task;
  qz::records::VisitColumns(task, Distinct{});
  task.odtTaskEndDateTime.m_status = SQZDateTime::invalid;
  SQZGeZhuanItemInfo item;
  qz::records::VisitColumns(item, Distinct{});
  task.arrItems = {item, item};
  SQZGZVTRTapeTypeInfo tape;
  qz::records::VisitColumns(tape, Distinct{});

  const Json written = qz::records::TaskToJson(task);
  ASSERT_EQ(written.size(), qz::records::kColumnCount<SQZGeZhuanTaskInfo> + 1);
  EXPECT_EQ(written.begin().key(), "guidTaskID");
  EXPECT_EQ(written["odtTaskEndDateTime"], nullptr);
  EXPECT_EQ(written["strTaskHint"], " 值 strTaskHint ");

  SQZGeZhuanTaskInfo read;
  ReadFields(ParseJson(written.dump()), "$", &read);
  Json again = qz::records::TaskToJson(read);
  again["arrItems"] = written["arrItems"];  // items are the caller's to read
  EXPECT_EQ(again, written);
  SQZGeZhuanItemInfo readItem;
  ReadFields(written["arrItems"][1], "$", &readItem);
  EXPECT_EQ(qz::records::ItemToJson(readItem), written["arrItems"][1]);
  SQZGZVTRTapeTypeInfo readTape;
  ReadFields(ParseJson(qz::records::TapeToJson(tape).dump()), "$", &readTape);
  EXPECT_EQ(qz::records::TapeToJson(readTape), qz::records::TapeToJson(tape));
}

TEST(RecordJsonTest, DateTimesAreWrittenInIsoFormAndReadInBoth) {
  for (const char* text : {"2024-03-01T09:05:07", "2024-03-01 09:05:07"}) {
    SQZGeZhuanTaskInfo task;
    ReadFields(ParseJson(std::string(R"({"odtTaskBeginDateTime": ")") + text + "\"}"), "$", &task);
    EXPECT_EQ(qz::records::TaskToJson(task)["odtTaskBeginDateTime"], "2024-03-01T09:05:07") << text;
  }
  SQZGeZhuanTaskInfo task;
  EXPECT_THROW(ReadFields(ParseJson(R"({"odtTaskBeginDateTime": "2024-03-01/09:05:07"})"), "$", &task), JsonError);
}

TEST(RecordJsonTest, AKeyGivenTwiceIsRefusedWhereverItStands) {
  auto refusal = [](const std::string& text) {
    try {
      ParseJson(text);
    } catch (const JsonError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(refusal(R"({"a": 1, "a": 1})").find("at $.a (field a): given twice"), std::string::npos);
  EXPECT_NE(refusal(R"([{"a": 1}, {"b": [1, {"c": 2}], "arrItems": [], "arrItems": [{}]}])").find("at $[1].arrItems"),
            std::string::npos);
  EXPECT_NE(refusal(R"([[0, 1], {"x": {"k": 1, "k": 2}}])").find("at $[1].x.k"), std::string::npos);
  // The same key in different objects, and a top-level scalar, are fine.
  EXPECT_EQ(refusal(R"([{"a": {"a": 1}}, {"a": [{"a": 2}]}])"), "accepted");
  EXPECT_EQ(refusal("5"), "accepted");
}

}  // namespace
