#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace qz::testing {

// create_directory reports whether it made the folder, so a name another
// process took in between is simply tried again with a new one.
std::string MakeTemporaryFolder(const std::string& prefix) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device seed;
  std::mt19937_64 random(seed());
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  for (int attempt = 0; attempt < 100 && !error; ++attempt) {
    std::string name = prefix + "-";
    for (int i = 0; i < 12; ++i) name.push_back(kDigits[random() % 36]);
    const std::filesystem::path folder = base / name;
    if (std::filesystem::create_directory(folder, error)) return folder.string();
  }
  ADD_FAILURE() << "cannot create a temporary folder: " << error.message();
  return std::string();
}

}  // namespace qz::testing
