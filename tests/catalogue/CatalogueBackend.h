// A database for the catalogue's behaviour tests: a fresh database of one
// engine (support/EngineDatabase.h) and a way to put catalogue rows in with
// portable SQL. The tests run once per engine of EngineNames().
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <memory>
#include <string>
#include <vector>

#include "support/EngineDatabase.h"

namespace qz::testing {

class CatalogueBackend {
 public:
  explicit CatalogueBackend(std::unique_ptr<EngineDatabase> database) : database_(std::move(database)) {}

  // A setting that opens a database holding the four tables, empty.
  DBsSetNode Node() const { return database_->Node(); }

  // Runs one statement; fails the test on error.
  void Execute(const std::wstring& sql) const { database_->Execute(sql); }

  // The database itself, for what each engine spells its own way.
  const EngineDatabase& database() const { return *database_; }

  // INSERT statements in portable SQL. Texts are quoted here, so names with
  // quotes are fine; the GUID columns take whatever text the test gives.
  void InsertGroup(const std::wstring& guid, const std::wstring& name, const std::wstring& hint) const;
  void InsertTape(const std::wstring& guid, const std::wstring& name, const std::wstring& hint,
                  const std::wstring& group, int max_length, int is_default) const;

 private:
  std::unique_ptr<EngineDatabase> database_;
};

// Null, with a test failure, when the engine cannot give a database.
std::unique_ptr<CatalogueBackend> MakeCatalogueBackend(const std::string& name, bool with_tables = true);

}  // namespace qz::testing
