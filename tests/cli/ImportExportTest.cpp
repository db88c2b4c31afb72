// The JSON document of `task export` / `task import`: the round trip, and
// every refusal of a bad document with nothing written.
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::ordered_json;

const char kTask[] = "4C1F7A52-93B0-4E6D-A1C2-5B8D7E9F0A11";

// One valid task with two items, as export writes it; tests break one field.
ordered_json ValidDocument() {
  return ordered_json::parse(std::string(R"([{
    "guidTaskID": ")") + kTask +
                             R"(",
    "strTaskName": "导入的任务 Imported",
    "strTaskHint": "",
    "odtTaskPrepareBegin": "2024-01-02T03:04:05",
    "odtTaskBeginDateTime": null,
    "odtTaskEndDateTime": "2024-01-03T00:00:00",
    "dwDuration": 4294967295,
    "enumTaskType": -1,
    "guidOrgTapeType": "00000000-0000-0000-0000-000000000000",
    "arrItems": [
      {"guidTask": ")" + kTask +
                             R"(", "guidItem": "4C1F7A52-93B0-4E6D-A1C2-000000000001",
       "strItemName": "第一段", "dwTrimIn": 0, "dwTrimOut": 100, "dwLength": 100, "nIndex": 0},
      {"guidItem": "4C1F7A52-93B0-4E6D-A1C2-000000000002", "strItemName": "Part 2", "nIndex": 1}
    ]}])");
}

class ImportExportTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init"}).status, 0);
  }

  std::string Export(const std::string& database) const {
    ToolResult exported = RunOn(database, {"task", "export"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    return exported.out;
  }

  // Imports a document that must be refused; checks the message names what
  // and where, and that the database is as it was.
  void ExpectRefused(const std::string& document, const std::string& field, const std::string& where) {
    const std::string before = Export(m_database);
    const std::string file = WriteFile("bad.json", document);
    ToolResult refused = RunDb({"task", "import", file});
    EXPECT_EQ(refused.status, 1) << document;
    EXPECT_NE(refused.err.find(field), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(where), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("nothing imported"), std::string::npos) << refused.err;
    EXPECT_EQ(Export(m_database), before) << "a refused document wrote something";
  }
};

TEST_F(ImportExportTest, ExportImportExportGivesTheSameText) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  ASSERT_EQ(RunDb({"task", "import", "-"}, ValidDocument().dump()).status, 0);
  ASSERT_EQ(RunDb({"task", "add", "--name", "无日期", "--item", "x:1:2"}).status, 0);
  const std::string first = Export(m_database);
  ASSERT_NE(first.find("导入的任务 Imported"), std::string::npos) << "UTF-8 text, not \\u escapes";
  ASSERT_NE(first.find("\"odtTaskBeginDateTime\": null"), std::string::npos) << "an invalid date-time is null";

  for (const std::string batch : {"", "2"}) {
    const std::string copy = (m_dir / ("copy" + batch + ".db")).string();
    ASSERT_EQ(RunOn(copy, {"init"}).status, 0);
    // The tasks name tape types, which the copy's catalogue must hold.
    const ToolResult catalogue = RunDb({"tape", "export"});
    ASSERT_EQ(RunOn(copy, {"tape", "import", WriteFile("tapes.json", catalogue.out)}).status, 0);
    std::vector<std::string> args = {"task", "import", WriteFile("all.json", first)};
    if (!batch.empty()) args.insert(args.end(), {"--batch", batch});
    ToolResult imported = RunOn(copy, args);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Export(copy), first) << "batch " << batch;
  }
}

TEST_F(ImportExportTest, ImportedFieldsKeepTheirValuesAndLimits) {
  ASSERT_EQ(RunDb({"task", "import", "-"}, ValidDocument().dump()).status, 0);
  const ordered_json task = ordered_json::parse(RunDb({"--json", "task", "show", kTask}).out);
  EXPECT_EQ(task["dwDuration"], 4294967295u);
  EXPECT_EQ(task["enumTaskType"], -1);
  EXPECT_EQ(task["odtTaskPrepareBegin"], "2024-01-02T03:04:05");
  EXPECT_TRUE(task["odtTaskBeginDateTime"].is_null());
  ASSERT_EQ(task["arrItems"].size(), 2u);
  EXPECT_EQ(task["arrItems"][1]["guidTask"], kTask) << "an item without guidTask belongs to its task";
}

TEST_F(ImportExportTest, BadDocumentsAreRefusedBeforeAnythingIsWritten) {
  // A good task first, so that a refusal of the second shows nothing was written.
  ordered_json two = ValidDocument();
  two.push_back(ValidDocument()[0]);
  two[1]["guidTaskID"] = "4C1F7A52-93B0-4E6D-A1C2-5B8D7E9F0A22";
  for (ordered_json& item : two[1]["arrItems"]) item.erase("guidTask");
  auto with = [&](const std::function<void(ordered_json&)>& breakIt) {
    ordered_json document = two;
    breakIt(document[1]);
    return document.dump(1);
  };

  ExpectRefused("[{\"strTaskName\": \"x\",}]", "not JSON", "line 1, column");
  ExpectRefused("{\"strTaskName\": \"x\"}", "array of tasks", "$");
  ExpectRefused("[1]", "task object", "$[0]");
  ExpectRefused(with([](ordered_json& t) { t["strTaskName"] = 5; }), "strTaskName", "$[1].strTaskName");
  ExpectRefused(with([](ordered_json& t) { t["guidOrgTapeType"] = "not-a-guid"; }), "bad GUID text",
                "$[1].guidOrgTapeType");
  ExpectRefused(with([](ordered_json& t) { t["guidTaskID"] = "4C1F7A52-93B0-4E6D-A1C2-5B8D7E9F0A1"; }), "guidTaskID",
                "$[1].guidTaskID");
  ExpectRefused(with([](ordered_json& t) { t["odtTaskEndDateTime"] = "2023-02-30T00:00:00"; }), "impossible",
                "$[1].odtTaskEndDateTime");
  ExpectRefused(with([](ordered_json& t) { t["odtTaskEndDateTime"] = "2023-02-01T24:00:00"; }), "impossible",
                "$[1].odtTaskEndDateTime");
  ExpectRefused(with([](ordered_json& t) { t["odtTaskEndDateTime"] = "2023-02-01T10:00:00Z"; }), "date-time",
                "$[1].odtTaskEndDateTime");
  ExpectRefused(with([](ordered_json& t) { t["odtTaskEndDateTime"] = 45000; }), "date-time", "$[1].odtTaskEndDateTime");
  ExpectRefused(with([](ordered_json& t) { t["dwDuration"] = -1; }), "dwDuration", "$[1].dwDuration");
  ExpectRefused(with([](ordered_json& t) { t["dwDuration"] = 4294967296LL; }), "dwDuration", "$[1].dwDuration");
  ExpectRefused(with([](ordered_json& t) { t["enumTaskType"] = 1.5; }), "enumTaskType", "$[1].enumTaskType");
  ExpectRefused(with([](ordered_json& t) { t["strTaskNmae"] = "typo"; }), "unknown field", "$[1].strTaskNmae");
  ExpectRefused(with([](ordered_json& t) { t["arrItems"] = "none"; }), "arrItems", "$[1].arrItems");
  // A key given twice would otherwise keep only its last value.
  ExpectRefused(R"([{"strTaskName": "x"}, {"arrItems": [{"strItemName": "kept"}], "arrItems": []}])", "twice",
                "$[1].arrItems");
  ExpectRefused(with([](ordered_json& t) { t["arrItems"][1]["dwTrimIn"] = "7"; }), "dwTrimIn",
                "$[1].arrItems[1].dwTrimIn");
  ExpectRefused(with([](ordered_json& t) { t["arrItems"][0]["guidTask"] = kTask; }), "guidTask",
                "$[1].arrItems[0].guidTask");
  ExpectRefused(with([](ordered_json& t) { t["arrItems"][1]["guidItem"] = t["arrItems"][0]["guidItem"]; }), "guidItem",
                "$[1].arrItems[1].guidItem");
  ExpectRefused(with([](ordered_json& t) { t["guidTaskID"] = kTask; }), "same guidTaskID", "$[1].guidTaskID");
  ExpectRefused("[\"\xff\xfe\"]", "not JSON", "byte");
  ExpectRefused("[{\"dwDuration\": 7E777}]", "not JSON", "number overflow");

  // A task the database holds already is refused before the others are added.
  ASSERT_EQ(RunDb({"task", "import", "-"}, ValidDocument().dump()).status, 0);
  ordered_json again = two;
  std::swap(again[0], again[1]);
  ExpectRefused(again.dump(), "in the database already", "$[1].guidTaskID");
}

TEST_F(ImportExportTest, DeepOrHugeValuesAreRefusedWithAShortQuote) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  ExpectRefused(deep, "nested more than 32 deep", "byte 33");
  ExpectRefused("[{\"strTaskName\": \"[[[\", \"x\": " + deep + "}]", "nested more than 32", "byte");

  // A bad value is quoted by its first few dozen bytes, however big it is.
  auto refusal = [&](const std::string& document) {
    ToolResult refused = RunDb({"task", "import", "-"}, document);
    EXPECT_EQ(refused.status, 1);
    EXPECT_LT(refused.err.size(), 300u) << refused.err.substr(0, 300);
    return refused.err;
  };
  ordered_json nested = "bottom";
  for (int i = 0; i < 20; ++i) nested = ordered_json::array({nested, 1});
  ordered_json document = ValidDocument();
  document[0]["strTaskName"] = nested;
  EXPECT_NE(refusal(document.dump()).find("found [[[[[[[[[[[[[[[[[[[[\"bottom\",1],1],"), std::string::npos);
  document[0]["strTaskName"] = ordered_json::object({{"名字", std::string(1 << 20, 'x')}});
  EXPECT_NE(refusal(document.dump()).find("found {\"名字\":\"xxxx"), std::string::npos);
  document[0]["strTaskName"] = "ok";
  document[0]["dwDuration"] = std::string(1 << 20, '7');
  EXPECT_NE(refusal(document.dump()).find("found \"7777"), std::string::npos);
}

TEST_F(ImportExportTest, ExportWritesAsItGoesInsteadOfBuildingTheDocument) {
  // 3000 tasks of 20,000 characters each: held whole as records, as a
  // JSON document and as its text, they take several hundred megabytes.
  ordered_json many = ordered_json::array();
  for (int i = 0; i < 3000; ++i) {
    ordered_json task = ValidDocument()[0];
    char guid[40];
    std::snprintf(guid, sizeof guid, "4C1F7A52-93B0-4E6D-A1C2-%012d", i);
    task["guidTaskID"] = guid;
    task["strTaskHint"] = std::string(20000, 'a' + i % 26);
    task["arrItems"] = ordered_json::array();
    many.push_back(task);
  }
  const std::string document = many.dump(2) + "\n";
  ASSERT_EQ(RunDb({"task", "import", WriteFile("many.json", document)}).status, 0);
  const ToolResult small = RunDb({"task", "count"});
  const ToolResult exported = RunDb({"task", "export"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const ordered_json back = ordered_json::parse(exported.out);
  ASSERT_EQ(back.size(), 3000u);
  EXPECT_EQ(back[2999]["guidTaskID"], many[2999]["guidTaskID"]);
  EXPECT_TRUE(back[2999]["strTaskHint"] == many[2999]["strTaskHint"]);
  // A chunk of tasks at a time stays well under the size of the document.
  if (kPeakMemoryMeansWhatIsHeld) {
    EXPECT_LT(exported.peakMemoryKb - small.peakMemoryKb, static_cast<long>(document.size() / 1024 * 3 / 2))
        << "export peaked at " << exported.peakMemoryKb << " KB, a count at " << small.peakMemoryKb << " KB";
  }
}

TEST_F(ImportExportTest, ExportHonoursWhereAndUnreadableInputFails) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  const ordered_json all = ordered_json::parse(Export(m_database));
  const ordered_json some = ordered_json::parse(RunDb({"task", "export", "--where", "enumTaskType = 1"}).out);
  ASSERT_FALSE(some.empty());
  EXPECT_LT(some.size(), all.size());
  for (const ordered_json& task : some) EXPECT_EQ(task["enumTaskType"], 1);
  EXPECT_EQ(RunDb({"task", "import", (m_dir / "missing.json").string()}).status, 1);
}

}  // namespace
}  // namespace gezhuan_test
