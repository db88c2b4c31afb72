#include "cli/formats/FieldLabels.h"

#include <algorithm>
#include <iterator>

namespace gezhuan {

namespace {

struct Label {
  const char* column;
  const char* words;
};

// What the task is and where it goes first; who audits it, when it was
// prepared, and the GUIDs that link it to the rest of the suite last.
constexpr Label kTaskLabels[] = {
    {"strTaskName", "Name"},
    {"guidTaskID", "GUID"},
    {"strTaskHint", "Hint"},
    {"strOrgTapeTypeName", "From tape"},
    {"strDSTTapeTypeName", "To tape"},
    {"strORGDeviceName", "From device"},
    {"strDSTDeviceName", "To device"},
    {"odtTaskBeginDateTime", "Begins"},
    {"odtTaskEndDateTime", "Ends"},
    {"dwDuration", "Duration"},
    {"enumTaskType", "Type"},
    {"enumTaskEditStatus", "Edit status"},
    {"enumTaskRunStatus", "Run status"},
    {"strPreferUserName", "Preferred user"},
    {"strFirstAuditorName", "First auditor"},
    {"strFirstAuditInfo", "First audit remarks"},
    {"strSecondAuditorname", "Second auditor"},
    {"strSecondAuditInfo", "Second audit remarks"},
    {"odtTaskPrepareBegin", "Preparation began"},
    {"guidOrgTapeType", "From tape GUID"},
    {"guidDSTTapeType", "To tape GUID"},
    {"ORGDeviceGuid", "From device GUID"},
    {"DSTDeviceGuid", "To device GUID"},
    {"ORGVAPortGuid", "From video/audio port GUID"},
    {"DSTVAPortGuid", "To video/audio port GUID"},
    {"ORGCtrlPortGuid", "From control port GUID"},
    {"DSTCtrlPortGuid", "To control port GUID"},
    {"guidPreferUser", "Preferred user GUID"},
    {"guidFirstAuditor", "First auditor GUID"},
    {"guidSecondAuditor", "Second auditor GUID"},
};

constexpr Label kItemLabels[] = {
    {"strItemName", "Name"}, {"guidItem", "GUID"},    {"guidTask", "Task GUID"}, {"nIndex", "Position"},
    {"nItemType", "Type"},   {"dwTrimIn", "Trim in"}, {"dwTrimOut", "Trim out"}, {"dwLength", "Length"},
};

template <size_t N>
FieldLines Relabel(const FieldLines& raw, const Label (&labels)[N]) {
  FieldLines out;
  for (const Label& label : labels)
    for (const auto& line : raw)
      if (line.first == label.column) out.emplace_back(label.words, line.second);
  for (const auto& line : raw)
    if (std::none_of(std::begin(labels), std::end(labels),
                     [&](const Label& label) { return line.first == label.column; }))
      out.push_back(line);
  return out;
}

}  // namespace

FieldLines LabelTaskFields(const FieldLines& raw) { return Relabel(raw, kTaskLabels); }
FieldLines LabelItemFields(const FieldLines& raw) { return Relabel(raw, kItemLabels); }

}  // namespace gezhuan
