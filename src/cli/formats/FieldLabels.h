// The words `task show` and `item show` use for a record's fields: what
// the field is to the people who run the conversions ("From tape",
// "Begins"), in the order they read a task, rather than its column name
// (strOrgTapeTypeName), which --raw shows.
#pragma once

#include "cli/formats/Output.h"

namespace gezhuan {

// The fields of raw (column name, value) lines, relabelled and reordered.
// A column without a label keeps its name, at the end.
FieldLines LabelTaskFields(const FieldLines& raw);
FieldLines LabelItemFields(const FieldLines& raw);

}  // namespace gezhuan
