// Standard output that notices when it cannot be written. A listing or an
// export sent to a full disk, a closed pipe's file or a vanished share must
// not exit 0: an empty backup that looks fine is worse than none.
//
// InstallCheckedStandardOutput points std::cout at a buffer of its own that
// writes to file descriptor 1 and keeps the first error it meets; every
// `std::cout <<` of the commands goes through it unchanged.
#pragma once

#include <string>

namespace gezhuan {

void InstallCheckedStandardOutput();

// Fails (exit 1) with "write error: <reason>" once a write has failed; long
// loops call it so that they stop early instead of writing into the void.
void CheckStandardOutput();

// Flushes and closes standard output. "" when everything written reached
// it, else "write error: <reason>".
std::string FinishStandardOutput();

}  // namespace gezhuan
