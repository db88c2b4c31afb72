#include "support/ScriptedDriver.h"

#include "access/driver/Driver.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"

namespace qz::testing {
namespace {

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

bool IsQuery(const std::wstring& sql) {
  return sql.size() >= 6 && (sql.compare(0, 6, L"select") == 0 || sql.compare(0, 6, L"SELECT") == 0);
}

class ScriptedCursor : public access::Cursor {
 public:
  ScriptedCursor(std::shared_ptr<Script> script, std::vector<Row> rows)
      : script_(std::move(script)), rows_(std::move(rows)) {}

  bool IsBOF() override {
    script_->Record("IsBOF");
    return rows_.empty();
  }
  bool IsEOF() override {
    script_->Record("IsEOF");
    return position_ >= rows_.size();
  }
  bool HasRow() override { return position_ < rows_.size(); }  // the record set's own check, not a call
  bool MoveNext() override {
    if (!script_->Record("MoveNext")) return false;
    if (position_ < rows_.size()) ++position_;
    return position_ < rows_.size();
  }
  void GetValue(std::wstring_view column, CQZDBVariant& value) override {
    const std::wstring name(column);
    script_->Record("GetValue", Narrow(name));
    if (position_ >= rows_.size()) CQZDBException::Raise(L"no current row", "", 0);
    for (const auto& [key, cell] : rows_[position_]) {
      if (key == name) {
        value = cell;
        return;
      }
    }
    value.SetNull();
  }
  bool AddNew(const std::wstring& table) override { return script_->Record("AddNew", Narrow(table)); }
  bool Edit(const std::wstring& table) override { return script_->Record("Edit", Narrow(table)); }
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) override {
    const std::wstring name(column);
    const bool ok = script_->Record("SetFieldValue", Narrow(name));
    script_->assigned.emplace_back(name, value);
    return ok;
  }
  bool Update() override { return script_->Record("Update"); }
  void Close() override { script_->Record("CloseSet"); }

 private:
  std::shared_ptr<Script> script_;
  std::vector<Row> rows_;
  size_t position_ = 0;
};

class ScriptedConnection : public access::Connection {
 public:
  explicit ScriptedConnection(std::shared_ptr<Script> script) : script_(std::move(script)) {}

  bool IsConnected() override {
    script_->Record("IsConnectted");
    return script_->connected && !closed_;
  }
  void Close() override {
    script_->Record("Close");
    closed_ = true;
  }
  bool BeginTransaction() override { return script_->Record("BeginTrans"); }
  bool CommitTransaction() override { return script_->Record("CommitTrans"); }
  bool RollbackTransaction() override { return script_->Record("Rollback"); }
  std::unique_ptr<access::Cursor> Execute(const std::wstring& sql, ROWOPERATION operation) override {
    if (!script_->Record("Open", Narrow(sql) + "|" + std::to_string(static_cast<int>(operation)))) return nullptr;
    std::vector<Row> rows = IsQuery(sql) ? script_->NextResult() : std::vector<Row>();
    return std::make_unique<ScriptedCursor>(script_, std::move(rows));
  }
  std::wstring Describe() const override { return L"scripted"; }

 private:
  std::shared_ptr<Script> script_;
  bool closed_ = false;
};

}  // namespace

CQZDBVariant V(const std::wstring& text) {
  CQZDBVariant value;
  value = text;
  return value;
}
CQZDBVariant V(const wchar_t* text) { return V(std::wstring(text)); }
CQZDBVariant V(int32_t number) {
  CQZDBVariant value;
  value = number;
  return value;
}
CQZDBVariant NullValue() { return CQZDBVariant(); }

std::vector<Row> MakeRowsOfNames(const std::vector<std::wstring>& names) {
  std::vector<Row> rows;
  for (const std::wstring& name : names) rows.push_back(Row{{L"name", V(name)}});
  return rows;
}

bool Script::Record(const std::string& kind, const std::string& argument) {
  calls.push_back(argument.empty() ? kind : kind + "(" + argument + ")");
  const int nth = ++seen_[kind];
  if (throw_on_[kind].count(nth))
    CQZDBException::Raise(L"scripted failure of " + platform::Utf8ToWide(kind), "HY000", nth);
  return fail_on_[kind].count(nth) == 0;
}

std::vector<Row> Script::NextResult() {
  if (results_.empty()) return {};
  std::vector<Row> rows = std::move(results_.front());
  results_.erase(results_.begin());
  return rows;
}

std::vector<std::string> Script::CallsOf(const std::set<std::string>& kinds) const {
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    const std::string kind = call.substr(0, call.find('('));
    if (kinds.count(kind)) out.push_back(call);
  }
  return out;
}

int Script::Count(const std::string& kind) const { return static_cast<int>(CallsOf({kind}).size()); }

ScriptedDriver::ScriptedDriver() : script_(std::make_shared<Script>()) {
  for (int type = QZDB_SQLITE; type <= QZDB_RESERVED5; ++type) {
    std::shared_ptr<Script> script = script_;
    access::RegisterDriver(static_cast<DATABASETYPE>(type),
                           [script, type](const access::ConnectionTexts&) -> std::unique_ptr<access::Connection> {
                             script->Record("Connect", std::to_string(type));
                             return std::make_unique<ScriptedConnection>(script);
                           });
  }
}

ScriptedDriver::~ScriptedDriver() {
  for (int type = QZDB_SQLITE; type <= QZDB_RESERVED5; ++type)
    access::RegisterDriver(static_cast<DATABASETYPE>(type), nullptr);
}

DebugCapture::DebugCapture() : lines_(std::make_shared<std::vector<std::wstring>>()) {
  auto lines = lines_;
  platform::SetDebugOutputSink([lines](const std::wstring& text) { lines->push_back(text); });
}

DebugCapture::~DebugCapture() { platform::SetDebugOutputSink(nullptr); }

}  // namespace qz::testing
