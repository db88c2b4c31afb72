// File paths from the text a person typed, and text from paths. On Windows
// a path is UTF-16 and is built from wide text as it is: a path made from a
// narrow string is read in the ANSI code page, which holds only a few of the
// world's scripts, so a Chinese folder name would turn into other letters or
// question marks. Elsewhere a path is the UTF-8 bytes of the text.
#pragma once

#include <filesystem>
#include <string>

namespace gezhuan {

std::filesystem::path PathFromText(const std::wstring& text);
std::filesystem::path PathFromUtf8(const std::string& utf8);

std::wstring TextOfPath(const std::filesystem::path& path);
std::string Utf8OfPath(const std::filesystem::path& path);

}  // namespace gezhuan
