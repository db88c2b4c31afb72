// The tool's own configuration file and the frame rate it settles on.
//
// The file is gezhuan.conf in the qz folder of the user's configuration
// folder (cli/session/DataFolder.h): $XDG_CONFIG_HOME/qz/gezhuan.conf, or
// ~/.config/qz/gezhuan.conf, on Windows %APPDATA%\qz\gezhuan.conf. It holds
// "key = value" lines; blank lines and lines whose first non-blank
// character is '#' are skipped. The one key so far:
//   fps = 29.97     the frame rate of timecode, as --fps takes it
// An unknown key, a line without '=', a key given twice or a bad value is
// an error naming the file and line: a setting that is silently ignored
// would leave timecode read at a rate nobody chose.
#pragma once

#include <filesystem>
#include <string>

namespace gezhuan {

struct GlobalOptions;

// The environment variable that gives the frame rate when --fps does not.
constexpr const char* kFpsVariable = "GEZHUAN_FPS";

struct ToolConfig {
  std::string fps;  // "" when the file does not set it
  int fpsLine = 0;  // the line that sets it
};

// Where the file is (it need not exist).
std::filesystem::path ToolConfigPath();

// Reads the file at path; one that does not exist is an empty
// configuration. Fails (CommandError, exit 2) at the first bad line.
ToolConfig ReadToolConfig(const std::filesystem::path& path);

// Settles options->rate and options->rateSource: --fps, else $GEZHUAN_FPS,
// else fps in the file, else 25. The file is read whenever neither --fps
// nor the variable gives the rate, on every command, so that a mistake in
// it is found before it could matter.
void ChooseFrameRate(GlobalOptions* options);

// "29.97 fps drop-frame, from GEZHUAN_FPS": the rate in use and why.
std::string RateInUse(const GlobalOptions& options);

}  // namespace gezhuan
