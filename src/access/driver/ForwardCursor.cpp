#include "access/driver/ForwardCursor.h"

namespace qz::access {

void ForwardCursor::RaiseRowsLost() {
  CQZDBException::Raise(L"the connection was closed while the rows were being read", "08003", 0);
}

}  // namespace qz::access
