// Finding a tape type or a tape group as a person names it: by its name or
// by its GUID text.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>

namespace CLI {
class App;
}

namespace gezhuan {

struct CommandLine;

// The tape type named text (its TAPENAME, or its TAPEGUID as GUID text).
// Fails (exit 1) when the catalogue has no such tape type.
SQZGZVTRTapeTypeInfo FindTapeType(CQZNVGeZhuanDBControl& control, const std::string& text);

// The tape group named text (its strGroupName or its guidGroupID).
SQZGZVTRTapeTypeGroupInfo FindTapeGroup(CQZNVGeZhuanDBControl& control, const std::string& text);

// For the --from and --to filters, which match the names the tasks hold:
// when text is no tape type of the catalogue in any case of A-Z, says so on
// standard error with the nearest names, since the listing will likely be
// empty for a typing slip.
void NoteUnknownTapeType(CQZNVGeZhuanDBControl& control, const std::string& text);

// `tape export` and `tape import`.
void AddTapeTransferCommands(CLI::App& tape, CommandLine& line);

}  // namespace gezhuan
