#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "access/driver/Driver.h"

namespace qz::access {

// Built-in factories, one per engine folder.
std::unique_ptr<Connection> ConnectSqlite(const ConnectionTexts& texts);
#if defined(QZ_WITH_POSTGRESQL)
std::unique_ptr<Connection> ConnectPostgres(const ConnectionTexts& texts);
#endif

namespace {

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int, DriverFactory>& Registered() {
  static std::map<int, DriverFactory> factories;
  return factories;
}

[[noreturn]] void RefuseKind(DATABASETYPE type, const wchar_t* why) {
  CQZDBException::Raise(L"database kind " + std::to_wstring(static_cast<int>(type)) + L" is not supported: " + why, "",
                        0);
}

}  // namespace

void RegisterDriver(DATABASETYPE type, DriverFactory factory) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  if (factory)
    Registered()[type] = std::move(factory);
  else
    Registered().erase(type);
}

DriverFactory FindDriver(DATABASETYPE type) {
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto found = Registered().find(type);
    if (found != Registered().end()) return found->second;
  }
  switch (type) {
    case QZDB_POSTGRESQL:
#if defined(QZ_WITH_POSTGRESQL)
      return ConnectPostgres;
#else
      return [type](const ConnectionTexts&) -> std::unique_ptr<Connection> {
        RefuseKind(type, L"this build has no PostgreSQL driver");
      };
#endif
    case QZDB_ODBC:
      return [type](const ConnectionTexts&) -> std::unique_ptr<Connection> {
        RefuseKind(type, L"this build has no ODBC driver");
      };
    case QZDB_RESERVED3:
    case QZDB_RESERVED4:
    case QZDB_RESERVED5:
      return
          [type](const ConnectionTexts&) -> std::unique_ptr<Connection> { RefuseKind(type, L"the kind is reserved"); };
    default:
      return ConnectSqlite;
  }
}

void RowBuffer::Begin(Mode mode, const std::wstring& table) {
  same_layout_ = layout_id_ != 0 && mode == layout_mode_ && table == table_;
  if (!same_layout_) table_.assign(table);
  mode_ = mode;
  layout_mode_ = mode;
  used_ = 0;
}

void RowBuffer::Assign(std::wstring_view column, const CQZDBVariant& value) {
  if (used_ == fields_.size()) {
    fields_.emplace_back();
    same_layout_ = false;
  }
  FieldValue& field = fields_[used_];
  if (!same_layout_ || used_ >= last_used_ || field.column != column) {
    same_layout_ = false;
    field.column.assign(column);
  }
  field.value = value;
  ++used_;
}

void RowBuffer::Finish() {
  static std::atomic<uint64_t> next_layout_id{1};
  if (same_layout_ && used_ == last_used_) return;
  // A new layout: fold columns assigned twice into their last value.
  size_t kept = 0;
  for (size_t i = 0; i < used_; ++i) {
    size_t j = 0;
    while (j < kept && fields_[j].column != fields_[i].column) ++j;
    if (j < kept) {
      fields_[j].value = fields_[i].value;
    } else {
      if (kept != i) std::swap(fields_[kept], fields_[i]);
      ++kept;
    }
  }
  used_ = kept;
  last_used_ = kept;
  layout_id_ = next_layout_id++;
}

}  // namespace qz::access
