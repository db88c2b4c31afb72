#include "platform/DebugOutput.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/TextEncoding.h"

namespace qz::platform {
namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

DebugSink& CurrentSink() {
  static DebugSink sink;
  return sink;
}

// Standard error takes UTF-8; the line end is ours, not part of the text.
void WriteToStandardError(const std::wstring& text) {
  std::string line = WideToUtf8(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void WriteDebugOutput(const std::wstring& text) {
  DebugSink sink;
  {
    std::lock_guard<std::mutex> lock(SinkMutex());
    sink = CurrentSink();
  }
  if (sink)
    sink(text);
  else
    WriteToStandardError(text);
}

void SetDebugOutputSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  CurrentSink() = std::move(sink);
}

}  // namespace qz::platform
