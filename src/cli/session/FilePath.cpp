#include "cli/session/FilePath.h"

#include <type_traits>

#include "cli/terminal/Text.h"

namespace gezhuan {

namespace fs = std::filesystem;

namespace {
// Windows keeps file names as UTF-16, and so does std::filesystem there.
constexpr bool kWidePaths = std::is_same_v<fs::path::value_type, wchar_t>;
}  // namespace

fs::path PathFromText(const std::wstring& text) {
  if constexpr (kWidePaths) return fs::path(text);
  return fs::u8path(ToUtf8(text));
}

fs::path PathFromUtf8(const std::string& utf8) { return PathFromText(FromUtf8(utf8)); }

std::wstring TextOfPath(const fs::path& path) {
  if constexpr (kWidePaths) return path.wstring();
  return FromUtf8(path.u8string());
}

std::string Utf8OfPath(const fs::path& path) { return ToUtf8(TextOfPath(path)); }

}  // namespace gezhuan
