// The row a cursor is asked to write between AddNew/Edit and Update.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qz::access {

// One assigned column of a row being written.
struct FieldValue {
  std::wstring column;  // bare name, no brackets
  CQZDBVariant value;
};

// The rows a cursor has been asked to write, reused from row to row so that
// a long run of AddNew/SetFieldValue/Update allocates nothing after the
// first row. A run of rows with the same table and columns in the same order
// shares one layout id, so a driver can reuse its prepared INSERT without
// comparing column names.
class RowBuffer {
 public:
  enum class Mode { kNone, kInsert, kEdit };

  void Begin(Mode mode, const std::wstring& table);
  void Assign(std::wstring_view column, const CQZDBVariant& value);
  // Settles the row before it is written: a column assigned twice keeps its
  // last value, and the layout id is renewed when the layout changed.
  void Finish();
  // Finish, then write(), then Reset, whether write returned or threw: a
  // row the database refused is not sent again with the next one.
  template <typename Write>
  void Send(Write&& write) {
    struct ResetOnExit {
      RowBuffer* row;
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
  const FieldValue* fields() const { return fields_.data(); }
  size_t size() const { return used_; }
  // Unique across all buffers; valid after Finish.
  uint64_t layout_id() const { return layout_id_; }

 private:
  static constexpr size_t kUsualColumns = 32;
  Mode mode_ = Mode::kNone;
  Mode layout_mode_ = Mode::kNone;  // the mode of the last layout, kept across Reset
  std::wstring table_;
  std::vector<FieldValue> fields_;
  size_t used_ = 0;
  size_t last_used_ = 0;      // columns of the previous row
  bool same_layout_ = false;  // so far this row repeats the previous one
  uint64_t layout_id_ = 0;
};

// The row buffer a cursor writes through, lent by its connection for the
// cursor's life. The one a cursor gave back goes to the next: its strings
// keep their room, so a run of one-row writes, each through a record set
// of its own, does not allocate them again for every row.
class RowBufferLender {
 public:
  std::unique_ptr<RowBuffer> Lend() { return spare_ ? std::move(spare_) : std::make_unique<RowBuffer>(); }
  void GiveBack(std::unique_ptr<RowBuffer> row) {
    row->Reset();
    spare_ = std::move(row);
  }

 private:
  std::unique_ptr<RowBuffer> spare_;
};

}  // namespace qz::access
