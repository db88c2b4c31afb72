// The row a cursor is asked to write between AddNew/Edit and Update.
#pragma once

#include <QZDatabaseAccess.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qz::access {

// One assigned column of a row being written: its value as the driver
// keeps it (a variant, or for PostgreSQL the text it is sent as).
template <typename Value>
struct AssignedColumn {
  std::wstring column;  // bare name, no brackets
  Value value;
};
using FieldValue = AssignedColumn<CQZDBVariant>;

// A layout id no row has had; unique across all buffers.
uint64_t NewLayoutId();

// The rows a cursor has been asked to write, reused from row to row so that
// a long run of AddNew/SetFieldValue/Update allocates nothing after the
// first row. A run of rows with the same table and columns in the same order
// shares one layout id, so a driver can reuse its prepared INSERT without
// comparing column names.
template <typename Value>
class BasicRowBuffer {
 public:
  enum class Mode { kNone, kInsert, kEdit };

  void Begin(Mode mode, const std::wstring& table);
  // The value of column, the row's next assignment, for the caller to
  // write. REQUIRES: a row begun.
  Value& Next(std::wstring_view column);
  // Settles the row before it is written: a column assigned twice keeps its
  // last value, and the layout id is renewed when the layout changed.
  void Finish();
  // Finish, then write(), then Reset, whether write returned or threw: a
  // row the database refused is not sent again with the next one.
  template <typename Write>
  void Send(Write&& write) {
    struct ResetOnExit {
      BasicRowBuffer* row;
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
  const AssignedColumn<Value>* fields() const { return fields_.data(); }
  size_t size() const { return used_; }
  // Unique across all buffers; valid after Finish.
  uint64_t layout_id() const { return layout_id_; }

 private:
  static constexpr size_t kUsualColumns = 32;
  Mode mode_ = Mode::kNone;
  Mode layout_mode_ = Mode::kNone;  // the mode of the last layout, kept across Reset
  std::wstring table_;
  std::vector<AssignedColumn<Value>> fields_;
  size_t used_ = 0;
  size_t last_used_ = 0;      // columns of the previous row
  bool same_layout_ = false;  // so far this row repeats the previous one
  uint64_t layout_id_ = 0;
};

template <typename Value>
void BasicRowBuffer<Value>::Begin(Mode mode, const std::wstring& table) {
  same_layout_ = layout_id_ != 0 && mode == layout_mode_ && table == table_;
  if (!same_layout_) table_.assign(table);
  mode_ = mode;
  layout_mode_ = mode;
  used_ = 0;
  // Room for a usual table's row at once: an edit's buffer is new with its
  // cursor, and growing one column at a time cost a copy of every value.
  if (fields_.capacity() < kUsualColumns) fields_.reserve(kUsualColumns);
}

template <typename Value>
Value& BasicRowBuffer<Value>::Next(std::wstring_view column) {
  assert(mode_ != Mode::kNone);  // a row begun by AddNew or Edit
  if (used_ == fields_.size()) {
    fields_.emplace_back();
    same_layout_ = false;
  }
  AssignedColumn<Value>& field = fields_[used_];
  if (!same_layout_ || used_ >= last_used_ || field.column != column) {
    same_layout_ = false;
    field.column.assign(column);
  }
  ++used_;
  return field.value;
}

template <typename Value>
void BasicRowBuffer<Value>::Finish() {
  assert(mode_ != Mode::kNone);
  if (same_layout_ && used_ == last_used_) return;
  // A new layout: fold columns assigned twice into their last value.
  size_t kept = 0;
  for (size_t i = 0; i < used_; ++i) {
    size_t j = 0;
    while (j < kept && fields_[j].column != fields_[i].column) ++j;
    if (j < kept) {
      std::swap(fields_[j].value, fields_[i].value);
    } else {
      if (kept != i) std::swap(fields_[kept], fields_[i]);
      ++kept;
    }
  }
  used_ = kept;
  last_used_ = kept;
  layout_id_ = NewLayoutId();
}

// The row buffer of the drivers that keep each value as a variant.
class RowBuffer : public BasicRowBuffer<CQZDBVariant> {
 public:
  void Assign(std::wstring_view column, const CQZDBVariant& value) { Next(column) = value; }
};

// The row buffer a cursor writes through, lent by its connection for the
// cursor's life. The one a cursor gave back goes to the next: its strings
// keep their room, so a run of one-row writes, each through a record set
// of its own, does not allocate them again for every row.
template <typename Row>
class RowLender {
 public:
  std::unique_ptr<Row> Lend() { return spare_ ? std::move(spare_) : std::make_unique<Row>(); }
  void GiveBack(std::unique_ptr<Row> row) {
    row->Reset();
    spare_ = std::move(row);
  }

 private:
  std::unique_ptr<Row> spare_;
};
using RowBufferLender = RowLender<RowBuffer>;

}  // namespace qz::access
