#include "support/OdbcSources.h"

#include <cstdlib>

#include "platform/TextEncoding.h"

namespace qz::testing {

bool FindOdbcSource(const char* prefix, OdbcSource* out) {
  const char* folder = std::getenv("QZ_ODBC_DIR");
  if (!folder || !*folder) return false;
  auto text = [prefix](const char* what) {
    const std::string name = std::string("QZ_ODBC_") + prefix + "_" + what;
    const char* value = std::getenv(name.c_str());
    return platform::Utf8ToWide(value ? value : "");
  };
  out->dsn = text("DSN");
  out->user = text("USER");
  out->password = text("PASSWORD");
  return !out->dsn.empty();
}

}  // namespace qz::testing
