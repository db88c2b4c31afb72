// How the driver reports what goes wrong: the server's own message,
// SQLSTATE and status, and the SQLSTATEs of a link that is lost or cannot be
// made.
#pragma once

#include <string>

#include "access/driver/CommitToken.h"  // kCommitOutcomeUnknown

namespace qz::access::postgres {

// SQLSTATE class 08: the link to the server.
inline constexpr char kConnectionFailure[] = "08006";
inline constexpr char kConnectionNotOpened[] = "08001";
// A write refused by a server that takes none.
inline constexpr char kReadOnlyTransaction[] = "25006";

// A libpq message without the line ends and blanks it closes with.
std::string TrimmedLines(const char* text);

}  // namespace qz::access::postgres
