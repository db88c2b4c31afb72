// What works in one place works in the others: tape names in any case with
// a suggestion on a miss, a group by name, an item by its GUID alone, task
// show's csv with its items, TSV that csv readers read, option suggestions,
// help examples that run on the sample data, and exit statuses as written.
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class SameEverywhereTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  }
};

TEST_F(SameEverywhereTest, TapeNamesMatchInAnyCaseEverywhereWithSuggestions) {
  const ToolResult added = RunDb({"task", "add", "--name", "x", "--from", "betacam sp", "--to", "HDCAM sr"});
  ASSERT_EQ(added.status, 0) << added.err;
  const json task = json::parse(RunDb({"--json", "task", "show", added.out.substr(0, 36)}).out);
  EXPECT_EQ(task["strOrgTapeTypeName"], "Betacam SP") << "stored as the catalogue writes it";
  EXPECT_EQ(task["strDSTTapeTypeName"], "HDCAM SR");
  EXPECT_EQ(RunDb({"-q", "task", "list", "--from", "BETACAM SP", "--to", "hdcam sr"}).out, added.out);

  const ToolResult miss = RunDb({"task", "add", "--name", "x", "--from", "Betacam SZ"});
  EXPECT_EQ(miss.status, 1);
  EXPECT_EQ(miss.err,
            "gezhuan: no tape type \"Betacam SZ\" in the catalogue; did you mean \"Betacam SP\" or "
            "\"Betacam SX\"?\n");
  EXPECT_NE(RunDb({"task", "edit", added.out.substr(0, 36), "--to", "hdcm"}).err.find("did you mean \"HDCAM\"?"),
            std::string::npos);
  const ToolResult listed = RunDb({"task", "list", "--from", "hdcm"});
  EXPECT_EQ(listed.status, 0) << "a filter still filters the names tasks hold";
  EXPECT_EQ(listed.err, "gezhuan: note: no tape type \"hdcm\" in the catalogue; did you mean \"HDCAM\"?\n");

  // Groups by name in any case, or by GUID as before.
  const json groups = json::parse(RunDb({"--json", "tape", "groups"}).out);
  const json byName = json::parse(RunDb({"--json", "tape", "list", "--group", "betacam"}).out);
  ASSERT_FALSE(byName.empty());
  std::string betacamGuid;
  for (const json& group : groups)
    if (group["strGroupName"] == "Betacam") betacamGuid = group["guidGroupID"];
  for (const json& tape : byName) EXPECT_EQ(tape["guidGroupID"], betacamGuid);
  EXPECT_EQ(json::parse(RunDb({"--json", "tape", "list", "--group", betacamGuid}).out), byName);
  const ToolResult group = RunDb({"tape", "list", "--group", "Betacm"});
  EXPECT_EQ(group.status, 1);
  EXPECT_EQ(group.err, "gezhuan: no tape group \"Betacm\" in the catalogue; did you mean \"Betacam\"?\n");
}

TEST_F(SameEverywhereTest, ItemDeleteTakesTheItemsGuidAlone) {
  const std::string item = "5A3E0001-7C1B-4D2A-9F00-000000001101";
  const ToolResult deleted = RunDb({"item", "delete", item});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "deleted 1 item\n");
  const json task = json::parse(RunDb({"--json", "task", "show", "5A3E0001-7C1B-4D2A-9F00-000000000001"}).out);
  ASSERT_EQ(task["arrItems"].size(), 2u) << "only that item went";
  for (const json& left : task["arrItems"]) EXPECT_NE(left["guidItem"], item);
  EXPECT_EQ(RunDb({"item", "delete", item}).status, 1) << "gone";
  // A start of the GUID will do; --task still scopes it, or deletes all.
  EXPECT_EQ(RunDb({"item", "delete", "5a3e0001-7c1b-4d2a-9f00-000000001102"}).status, 0);
  EXPECT_EQ(RunDb({"item", "delete", "--yes", "--task", "5A3E0001-7C1B-4D2A-9F00-000000000003"}).out,
            "deleted 4 items\n");
  EXPECT_EQ(RunDb({"item", "delete"}).status, 2);
  EXPECT_EQ(RunDb({"item", "delete", item, "--item", item}).status, 2);
}

TEST_F(SameEverywhereTest, TaskShowCsvCarriesTheItems) {
  const ToolResult csv = RunDb({"--format", "csv", "task", "show", "--raw", "5A3E0001-7C1B-4D2A-9F00-000000000003"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const std::vector<std::string> lines = Lines(csv.out);
  EXPECT_EQ(lines.front(), "FIELD,VALUE");
  std::set<std::string> fields;
  for (const std::string& line : lines) fields.insert(line.substr(0, line.find(',')));
  EXPECT_TRUE(fields.count("strTaskName"));
  for (const char* field : {"arrItems[0].strItemName", "arrItems[3].strItemName", "arrItems[3].dwTrimOut"})
    EXPECT_TRUE(fields.count(field)) << field << " in\n" << csv.out;
  EXPECT_NE(csv.out.find("arrItems[3].strItemName,Final\n"), std::string::npos);
  const ToolResult tsv = RunDb({"--format", "tsv", "task", "show", "5A3E0001-7C1B-4D2A-9F00-000000000003"});
  EXPECT_NE(tsv.out.find("Item 2 Name\t第二节\n"), std::string::npos) << tsv.out;
}

TEST_F(SameEverywhereTest, TsvReadsWithPythonsCsvReader) {
  if (std::system("python3 -c 'import csv' 2>/dev/null") != 0) GTEST_SKIP() << "no python3";
  const std::vector<std::string> names = {"\"Quoted\" start", "\"", "mid \"quote\"", "tab\there", "back\\slash"};
  for (const std::string& name : names) ASSERT_EQ(RunDb({"task", "add", "--name", name}).status, 0);
  const std::string tsv = WriteFile("tasks.tsv", RunDb({"--format", "tsv", "task", "list", "--sort", "name"}).out);
  const std::string out = (m_dir / "names.txt").string();
  // The NAME column as Python reads it, with the documented escapes undone.
  const std::string python =
      "import csv, sys\n"
      "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8', newline=''), delimiter='\\t'))\n"
      "assert all(len(r) == len(rows[0]) for r in rows), rows\n"
      "col = rows[0].index('NAME')\n"
      "unescape = lambda s: s.replace('\\\\\\\\', '\\0').replace('\\\\t', '\\t').replace('\\0', '\\\\')\n"
      "open(sys.argv[2], 'w', encoding='utf-8').write(''.join(unescape(r[col]) + '\\n' for r in rows[1:]))\n";
  const std::string script = WriteFile("read.py", python);
  ASSERT_EQ(std::system(("python3 " + script + " " + tsv + " " + out).c_str()), 0) << tsv;
  std::ifstream in(out);
  std::multiset<std::string> read;
  for (std::string line; std::getline(in, line);) read.insert(line);
  std::multiset<std::string> expected(names.begin(), names.end());
  for (const json& sample : json::parse(RunDb({"--json", "task", "list"}).out))
    if (expected.count(sample["strTaskName"]) == 0) expected.insert(sample["strTaskName"].get<std::string>());
  EXPECT_EQ(read, expected);
}

TEST_F(SameEverywhereTest, MistypedOptionsGetASuggestion) {
  const ToolResult name = RunDb({"task", "list", "--nmae", "x"});
  EXPECT_EQ(name.status, 2);
  EXPECT_EQ(name.err, "gezhuan task list: unknown option '--nmae'; did you mean '--name'?\n");
  EXPECT_EQ(Run({"--fromat", "json", "task", "list"}).err,
            "gezhuan: unknown option '--fromat'; did you mean '--format'?\n");
  EXPECT_EQ(Run({"task", "list", "--formt=csv"}).err,
            "gezhuan task list: unknown option '--formt'; did you mean '--format'?\n");
  EXPECT_EQ(Run({"task", "list", "--run-staus", "1"}).err,
            "gezhuan task list: unknown option '--run-staus'; did you mean '--run-status'?\n");
  const ToolResult none = Run({"task", "list", "--zzzzzz"});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("unknown option '--zzzzzz'\nRun 'gezhuan task list --help'"), std::string::npos) << none.err;
  // Known options, values that look like options, and flag clusters pass.
  EXPECT_EQ(RunDb({"-qv", "task", "list", "--type", "-1", "--name", "--x"}).status, 0);
}

TEST_F(SameEverywhereTest, HelpExamplesRunOnTheSampleData) {
  std::string man = Run({"generate", "man"}).out;
  for (size_t at; (at = man.find("\\-")) != std::string::npos;) man.replace(at, 2, "-");
  const std::regex guid("[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}|\\b[0-9A-Fa-f]{8}\\b");
  std::set<std::string> seen;
  for (auto it = std::sregex_iterator(man.begin(), man.end(), guid); it != std::sregex_iterator(); ++it) {
    const std::string text = it->str();
    if (text.find_first_of("abcdefABCDEF") == std::string::npos && text.size() == 8) continue;  // a date, a count
    if (!seen.insert(text).second) continue;
    const bool known = RunDb({"task", "show", text}).status == 0 || RunDb({"item", "show", text}).status == 0;
    EXPECT_TRUE(known) << "the help's example GUID " << text << " is no task or item of the sample data";
  }
  EXPECT_GE(seen.size(), 5u);
}

TEST_F(SameEverywhereTest, ExitStatusesAreAsTheHelpSays) {
  const std::string man = Run({"generate", "man"}).out;
  EXPECT_NE(man.find("A listing or count that finds nothing is done too"), std::string::npos);
  EXPECT_NE(Run({}).out.find("Exit status: 0 done (a listing that finds nothing is done too)"), std::string::npos);
  for (const std::vector<std::string>& query :
       std::vector<std::vector<std::string>>{{"task", "list", "--name", "nothing like it"},
                                             {"-q", "task", "list", "--name", "nothing like it"},
                                             {"--json", "task", "list", "--run-status", "99"},
                                             {"task", "count", "--name", "nothing like it"},
                                             {"item", "list", "--where", "1 = 0"}}) {
    const ToolResult found = RunDb(query);
    EXPECT_EQ(found.status, 0) << query.back() << ": " << found.err;
  }
  EXPECT_EQ(RunDb({"task", "show", "5A3E0001-7C1B-4D2A-9F00-0000000000FF"}).status, 1) << "a named task missing";
  EXPECT_EQ(RunDb({"item", "show", "5A3E0001-7C1B-4D2A-9F00-0000000000FF"}).status, 1);
  EXPECT_EQ(RunDb({"tape", "list", "--group", "none"}).status, 1);
}

TEST_F(SameEverywhereTest, DatabaseMessagesKeepTheirIndentedLines) {
  // libpq indents its hint line with a tab: shown indented, never as "\t".
  WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=2\nConnect1=127.0.0.1:1\nConnect2=x\nConnect3=u\n");
  const ToolResult refused = Run({"task", "list"});
  EXPECT_EQ(refused.status, 1);
  if (refused.err.find("Is the server running") == std::string::npos) GTEST_SKIP() << refused.err;
  EXPECT_EQ(refused.err.find("\\t"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("\n  Is the server running"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace gezhuan_test
