#include "platform/DebugOutput.h"

#include <mutex>
#include <utility>

#include "platform/DebuggerOutput.h"

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
    WriteToDebugger(text);
}

void SetDebugOutputSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  CurrentSink() = std::move(sink);
}

}  // namespace qz::platform
