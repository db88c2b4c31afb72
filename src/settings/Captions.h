// Display captions of the settings: what the common definitions library's
// QZTranslate does in the suite, for the six keys this library asks for.
#pragma once

#include <cstdint>
#include <string>

namespace qz::settings {

// The caption of key: English, or Chinese when the user's locale is (see
// PrefersChineseCaptions). A key without a caption comes back as itself.
// The two further arguments are the suite's (a resource module and a
// lookup flag) and change nothing here.
std::wstring QZTranslate(const std::wstring& key, uint32_t module, int flags);

}  // namespace qz::settings
