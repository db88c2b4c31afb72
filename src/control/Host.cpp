// The host-facing calls: debug output sink and table creation.
#include <QZNVGeZhuanHost.h>

#include "common/WithDatabase.h"
#include "control/Schema.h"
#include "platform/DebugOutput.h"

void QZNVGeZhuanSetDebugOutput(std::function<void(const std::wstring&)> sink) {
  qz::platform::SetDebugOutputSink(std::move(sink));
}

int QZNVGeZhuanCreateTables(const DBsSetNode& node, std::wstring* error) {
  return qz::common::WithDatabase(node, error, qz::control::CreateTables);
}
