#include "access/driver/postgres/PostgresRowTexts.h"

#include <atomic>
#include <cassert>
#include <utility>

namespace qz::access::postgres {

void RowTexts::Begin(Mode mode, const std::wstring& table) {
  same_layout_ = layout_id_ != 0 && mode == layout_mode_ && table == table_;
  if (!same_layout_) table_.assign(table);
  mode_ = mode;
  layout_mode_ = mode;
  used_ = 0;
  // Room for a usual table's row at once: growing one column at a time
  // would move every text already written.
  if (fields_.capacity() < kUsualColumns) fields_.reserve(kUsualColumns);
}

ColumnText& RowTexts::Assign(std::wstring_view column) {
  assert(mode_ != Mode::kNone);  // a row begun by AddNew or Edit
  if (used_ == fields_.size()) {
    fields_.emplace_back();
    same_layout_ = false;
  }
  ColumnText& field = fields_[used_];
  if (!same_layout_ || used_ >= last_used_ || field.column != column) {
    same_layout_ = false;
    field.column.assign(column);
  }
  field.null = false;
  ++used_;
  return field;
}

void RowTexts::Finish() {
  static std::atomic<uint64_t> next_layout_id{1};
  assert(mode_ != Mode::kNone);
  if (!same_layout_ || used_ != last_used_) {
    // A new layout: fold columns assigned twice into their last value.
    size_t kept = 0;
    for (size_t i = 0; i < used_; ++i) {
      size_t j = 0;
      while (j < kept && fields_[j].column != fields_[i].column) ++j;
      if (j < kept) {
        std::swap(fields_[j].text, fields_[i].text);
        fields_[j].null = fields_[i].null;
      } else {
        if (kept != i) std::swap(fields_[kept], fields_[i]);
        ++kept;
      }
    }
    used_ = kept;
    last_used_ = kept;
    layout_id_ = next_layout_id++;
  }
  values_.resize(used_);
  for (size_t i = 0; i < used_; ++i) values_[i] = fields_[i].null ? nullptr : fields_[i].text.c_str();
}

}  // namespace qz::access::postgres
