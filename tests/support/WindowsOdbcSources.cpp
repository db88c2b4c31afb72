#include <gtest/gtest.h>
#include <windows.h>

#include "platform/TextEncoding.h"
#include "support/OdbcSources.h"

namespace qz::testing {

// Wine names a Windows path's host file through a kernel32 export of its own;
// on Windows itself the export is missing and the path stays as it is.
std::string DriverPath(const std::string& path) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  const auto unixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixFileName) return path;
  char* name = unixFileName(platform::Utf8ToWide(path).c_str());
  if (!name) return path;
  std::string hostPath(name);
  HeapFree(GetProcessHeap(), 0, name);
  return hostPath;
}

// In the temporary folder, which every test program of one Wine prefix (or
// one Windows user) shares; QZ_ODBC_DIR is a host path there.
SourceLock::SourceLock(const std::string& name) {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof folder, folder);
  const std::string path = std::string(folder) + "qz-" + name + ".lock";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  OVERLAPPED whole{};
  if (file == INVALID_HANDLE_VALUE || !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole))
    ADD_FAILURE() << "cannot lock " << path;
  handle_ = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(file);
}

SourceLock::~SourceLock() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing releases the lock
}

}  // namespace qz::testing
