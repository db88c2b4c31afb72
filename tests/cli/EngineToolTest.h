// Whole-program tests that run once per engine from one source: on an
// embedded SQLite file, and on the PostgreSQL test server through a named
// setting (skipped unless QZ_PG_HOST is set). Tool() runs gezhuan on the
// engine of the test, its database created with `init --sample`.
#pragma once

#include "ToolRunner.h"

namespace gezhuan_test {

class EngineToolTest : public ToolTest, public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override;
  void TearDown() override;

  ToolResult Tool(const std::vector<std::string>& args, const std::string& input = "") const;
  ToolProcess StartTool(const std::vector<std::string>& args, const std::string& input = "") const;
  bool OnServer() const { return GetParam() == "PostgreSQL"; }
  // Runs SQL on the test's database from outside the tool: sqlite3 on the
  // file, psql on the server. The SQL of each engine is given.
  void Sql(const std::string& sqlite, const std::string& postgres) const;

 private:
  int m_lock = -1;
};

// The engines by name, for
// INSTANTIATE_TEST_SUITE_P(Engines, Fixture, ::testing::ValuesIn(kEngines), EngineName).
inline const std::vector<std::string> kEngines = {"SQLite", "PostgreSQL"};
inline std::string EngineName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

}  // namespace gezhuan_test
