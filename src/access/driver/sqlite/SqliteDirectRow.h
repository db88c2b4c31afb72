// What a cursor binds straight into a kept statement (SqliteCursor's
// direct binding): each value as it was bound, so that the row can still
// go to the row buffer part way, and the UTF-8 of each text while it is
// bound. The connection lends them from cursor to cursor, so that a run of
// one-row writes, each through a cursor of its own, reuses their room.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qz::access::sqlite {

struct BoundValue {
  CQZDBVariant::Type type = CQZDBVariant::TYPE_NULL;
  int64_t integer = 0;
  double real = 0.0;
  SQZDateTime date_time;
  SQZTimestamp timestamp;
};

struct DirectRow {
  std::vector<BoundValue> values;
  std::vector<std::string> text;
};

}  // namespace qz::access::sqlite
