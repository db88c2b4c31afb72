// setenv and unsetenv for the Windows test builds, whose C library has
// _putenv_s instead; included ahead of every test source there, so that the
// tests that set the environment read the same on both platforms.
#pragma once

#include <stdlib.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
