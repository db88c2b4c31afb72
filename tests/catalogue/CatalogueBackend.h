// A database for the catalogue's behaviour tests: a setting that opens it
// and a way to put rows in with portable SQL. The tests run once per
// backend name; SQLite is always there, other engines add themselves to
// CatalogueBackendNames() when they can be reached.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <memory>
#include <string>
#include <vector>

namespace qz::testing {

class CatalogueBackend {
 public:
  virtual ~CatalogueBackend() = default;

  // A setting that opens a database holding the four tables, empty.
  virtual DBsSetNode Node() const = 0;

  // Runs one statement; fails the test on error.
  virtual void Execute(const std::wstring& sql) const = 0;

  // INSERT statements in portable SQL. Texts are quoted here, so names with
  // quotes are fine; the GUID columns take whatever text the test gives.
  void InsertGroup(const std::wstring& guid, const std::wstring& name, const std::wstring& hint) const;
  void InsertTape(const std::wstring& guid, const std::wstring& name, const std::wstring& hint,
                  const std::wstring& group, int max_length, int is_default) const;
};

std::vector<std::string> CatalogueBackendNames();
std::unique_ptr<CatalogueBackend> MakeCatalogueBackend(const std::string& name);

}  // namespace qz::testing
