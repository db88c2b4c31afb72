// Date-times for the row mappings, made through SQZDateTime so that every
// table refuses impossible parts the same way.
#include "conversions/Conversions.h"

namespace qz::conversions {

// The date-time of the parts; invalid unless they name a real moment.
SQZDateTime DateTimeFromParts(int year, int month, int day, int hour, int minute, int second) {
  return SQZDateTime(year, month, day, hour, minute, second);
}

// The local wall-clock time, whole seconds.
SQZDateTime CurrentDateTime() { return SQZDateTime::Now(); }

}  // namespace qz::conversions
