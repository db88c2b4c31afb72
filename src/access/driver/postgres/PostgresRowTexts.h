// The row a PostgreSQL cursor writes between AddNew/Edit and Update, held
// as the texts libpq is given: every value travels as text in the server's
// input syntax (PostgresStatementText.h), so each assignment writes its
// value's text straight into the place it is sent from, and a row of
// typed values (the record set's SetTextField and the rest) makes no
// variant and no wide copy on the way. The texts keep their room from row
// to row and, lent by the connection, from cursor to cursor.
//
// It keeps RowBuffer's rules: a column assigned twice keeps its last value,
// and a run of rows with the same mode, table and columns in the same order
// shares one layout id, unique among all rows, so that the connection
// reuses what it made for the layout (an INSERT's target, a keyed UPDATE)
// without comparing names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz::access::postgres {

// One assigned column: its bare name and its value's text; NULL when null.
struct ColumnText {
  std::wstring column;
  std::string text;
  bool null = false;
};

class RowTexts {
 public:
  enum class Mode { kNone, kInsert, kEdit };

  void Begin(Mode mode, const std::wstring& table);
  // The column's place in the row, not NULL, its text to be written by the
  // caller. REQUIRES: a row begun.
  ColumnText& Assign(std::wstring_view column);
  // Settles the row before it is sent: columns assigned twice are folded
  // into their last value, the layout id is renewed when the layout
  // changed, and values() points at the texts.
  void Finish();
  // Finish, then write(), then Reset, whether write returned or threw: a
  // row the server refused is not sent again with the next one.
  template <typename Write>
  void Send(Write&& write) {
    struct ResetOnExit {
      RowTexts* row;
      ~ResetOnExit() { row->Reset(); }
    } reset{this};
    Finish();
    write();
  }
  void Reset() {
    mode_ = Mode::kNone;
    used_ = 0;
  }

  Mode mode() const { return mode_; }
  const std::wstring& table() const { return table_; }
  size_t size() const { return used_; }
  const ColumnText& operator[](size_t i) const { return fields_[i]; }
  // The texts as libpq takes parameter values, null for NULL; valid after
  // Finish until the row is begun again (Reset keeps them).
  const std::vector<const char*>& values() const { return values_; }
  // Valid after Finish.
  uint64_t layout_id() const { return layout_id_; }

 private:
  static constexpr size_t kUsualColumns = 32;
  Mode mode_ = Mode::kNone;
  Mode layout_mode_ = Mode::kNone;  // the mode of the last layout, kept across Reset
  std::wstring table_;
  std::vector<ColumnText> fields_;
  std::vector<const char*> values_;
  size_t used_ = 0;
  size_t last_used_ = 0;      // columns of the previous row
  bool same_layout_ = false;  // so far this row repeats the previous one
  uint64_t layout_id_ = 0;
};

}  // namespace qz::access::postgres
