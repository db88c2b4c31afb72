// libFuzzer target for gezhuan's document checks (task import, item files,
// tape import): any bytes are either refused with DocumentError or read
// into records that, written out and read again, are the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/formats/JsonCodec.h"

namespace {

gezhuan::Json TasksToJson(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  gezhuan::Json out = gezhuan::Json::array();
  for (const SQZGeZhuanTaskInfo& task : tasks) out.push_back(gezhuan::TaskToJson(task));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const gezhuan::Json tasks = TasksToJson(gezhuan::TasksFromDocument(text));
    if (TasksToJson(gezhuan::TasksFromDocument(gezhuan::DocumentText(tasks))) != tasks) std::abort();
  } catch (const gezhuan::DocumentError&) {
  }
  try {
    gezhuan::ItemsFromDocument(text, GUID{});
  } catch (const gezhuan::DocumentError&) {
  }
  try {
    const gezhuan::Json catalogue = gezhuan::CatalogueToJson(gezhuan::CatalogueFromDocument(text));
    if (gezhuan::CatalogueToJson(gezhuan::CatalogueFromDocument(gezhuan::DocumentText(catalogue))) != catalogue)
      std::abort();
  } catch (const gezhuan::DocumentError&) {
  }
  return 0;
}
