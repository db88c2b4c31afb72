// Fresh GUIDs, for the records the tool makes.
#pragma once

#include <QZNVGeZhuanDBControl.h>

namespace qz::common {

// A fresh random GUID in the version-4 layout.
GUID NewRandomGuid();

}  // namespace qz::common
