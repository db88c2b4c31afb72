#include "access/driver/RowBuffer.h"

#include <atomic>
#include <cassert>
#include <utility>

namespace qz::access {

void RowBuffer::Begin(Mode mode, const std::wstring& table) {
  same_layout_ = layout_id_ != 0 && mode == layout_mode_ && table == table_;
  if (!same_layout_) table_.assign(table);
  mode_ = mode;
  layout_mode_ = mode;
  used_ = 0;
  // Room for a usual table's row at once: an edit's buffer is new with its
  // cursor, and growing one column at a time cost a copy of every value.
  if (fields_.capacity() < kUsualColumns) fields_.reserve(kUsualColumns);
}

void RowBuffer::Assign(std::wstring_view column, const CQZDBVariant& value) {
  assert(mode_ != Mode::kNone);  // a row begun by AddNew or Edit
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
  assert(mode_ != Mode::kNone);
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
