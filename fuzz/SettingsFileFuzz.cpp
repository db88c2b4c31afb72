// libFuzzer target for the settings file reader: any bytes are either a
// store it trusts or one it refuses with a line that exists, and a trusted
// file written out again reads back as the same settings.
#include <QZNVGeZhuanHost.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/IniFormat.h"
#include "settings/SettingsStore.h"

namespace {

size_t LineCount(const std::string& text) {
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

bool Same(const qz::settings::ini::Document& a, const qz::settings::ini::Document& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].headed != b[i].headed || a[i].entries.size() != b[i].entries.size())
      return false;
    for (size_t k = 0; k < a[i].entries.size(); ++k)
      if (a[i].entries[k].key != b[i].entries[k].key || a[i].entries[k].value != b[i].entries[k].value) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace ini = qz::settings::ini;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const QZNVGeZhuanSettingsStoreState state = qz::settings::CheckStoreText(text);
  if (state.nState != 0 && state.nState != 2) std::abort();
  if (state.nState == 2 &&
      (state.strReason.empty() || state.nLine < 0 || static_cast<size_t>(state.nLine) > LineCount(text)))
    std::abort();

  ini::Document document;
  ini::Problem problem;
  const bool parsed = ini::Parse(text, &document, &problem);
  if (!parsed && state.nState != 2) std::abort();
  if (!parsed) return 0;

  // Every entry stands on a line of the file below its section's header, and the document as
  // the store writes it reads back the same.
  for (const ini::Section& section : document)
    for (const ini::Entry& entry : section.entries)
      if (entry.line < 1 || static_cast<size_t>(entry.line) > LineCount(text) || entry.line < section.line)
        std::abort();
  ini::Document again;
  if (!ini::Parse(ini::Render(document), &again) || !Same(document, again)) std::abort();
  return 0;
}
