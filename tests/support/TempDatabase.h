// A fresh SQLite database file in its own temporary folder, with the
// library's tables, removed again when the test ends.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>

namespace qz::testing {

class TempDatabase {
 public:
  // Creates the folder; with_tables also creates the four tables.
  explicit TempDatabase(bool with_tables = true);
  ~TempDatabase();
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

  // A setting that opens the file (kind 0, folder and file name).
  DBsSetNode Node() const;
  const std::string& folder() const { return folder_; }
  std::string path() const { return folder_ + "/test.db"; }

  // Runs one statement on a connection of its own; fails the test on error.
  void Execute(const std::wstring& sql) const;

 private:
  std::string folder_;
};

}  // namespace qz::testing
