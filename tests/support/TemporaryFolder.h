// A new, empty folder of the test's own in the system's temporary folder,
// on every platform (mkdtemp is POSIX only).
#pragma once

#include <string>

namespace qz::testing {

// Creates <temp>/<prefix>-<random> and returns its path, or an empty
// string (and a test failure) when no folder could be created.
std::string MakeTemporaryFolder(const std::string& prefix);

}  // namespace qz::testing
