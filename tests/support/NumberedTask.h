// Tasks told apart by a number, for tests that write many and then look for
// each one in what the database holds.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cstdint>
#include <string>

namespace qz::testing {

// A task whose GUID carries number (Data1) and mark (Data2), named prefix
// followed by the number in decimal, with items 0 to items - 1 in order,
// each GUID the task's with Data3 = its index + 1.
SQZGeZhuanTaskInfo NumberedTask(uint32_t number, uint16_t mark, const std::wstring& prefix, int items);

}  // namespace qz::testing
