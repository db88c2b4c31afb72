// The sample tasks `gezhuan init --sample` adds: a handful of tasks with
// Chinese and English names and a few items each, under fixed GUIDs so that
// adding them twice is noticed.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <vector>

namespace gezhuan {

// The sample tasks, their tape types taken from tapes (the catalogue) where
// it has any.
std::vector<SQZGeZhuanTaskInfo> SampleTasks(const std::vector<SQZGZVTRTapeTypeInfo>& tapes);

}  // namespace gezhuan
