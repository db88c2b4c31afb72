#include "cli/session/ToolConfig.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "cli/session/DataFolder.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

const char* const kRates = "23.976, 24, 25, 29.97, 30, 50 or 59.94 (29.97ndf, 59.94ndf: non-drop)";

[[noreturn]] void Refuse(const std::filesystem::path& path, int line, const std::string& why) {
  UsageError(path.string() + " line " + std::to_string(line) + ": " + why);
}

}  // namespace

std::filesystem::path ToolConfigPath() { return UserConfigFolder() / "qz" / "gezhuan.conf"; }

ToolConfig ReadToolConfig(const std::filesystem::path& path) {
  ToolConfig config;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) return config;
    Fail("cannot read " + path.string() + ": " + std::strerror(errno));
  }
  int number = 0;
  for (std::string text; std::getline(in, text);) {
    ++number;
    const std::string line = TrimAscii(text);
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) Refuse(path, number, "expected key = value, found \"" + line + "\"");
    const std::string key = TrimAscii(line.substr(0, equals)), value = TrimAscii(line.substr(equals + 1));
    if (key != "fps") Refuse(path, number, "unknown key \"" + key + "\" (the keys are: fps)");
    if (config.fpsLine != 0) Refuse(path, number, "fps is set on line " + std::to_string(config.fpsLine) + " already");
    FrameRate rate;
    if (!ParseFrameRate(value, &rate)) Refuse(path, number, "fps: \"" + value + "\" is no rate; give " + kRates);
    config.fps = value;
    config.fpsLine = number;
  }
  return config;
}

void ChooseFrameRate(GlobalOptions* options) {
  std::string fps = options->fps, source = "--fps";
  if (fps.empty()) {
    const char* variable = std::getenv(kFpsVariable);
    if (variable != nullptr && *variable != '\0') {
      fps = variable;
      source = kFpsVariable;
      if (!ParseFrameRate(fps, &options->rate))
        UsageError(std::string(kFpsVariable) + ": \"" + fps + "\" is no rate; give " + kRates);
    }
  }
  if (fps.empty()) {
    const std::filesystem::path path = ToolConfigPath();
    const ToolConfig config = ReadToolConfig(path);
    fps = config.fps;
    source = path.string() + " line " + std::to_string(config.fpsLine);
  }
  if (fps.empty()) {
    fps = "25";
    source = "the default";
  }
  ParseFrameRate(fps, &options->rate);
  options->rateSource = source;
}

std::string RateInUse(const GlobalOptions& options) {
  const FrameRate& rate = options.rate;
  std::string name = FrameRateName(rate);
  const size_t suffix = name.find_first_not_of("0123456789.");
  if (suffix != std::string::npos) name.erase(suffix);
  std::string kind;
  if (rate.framesPerSecond == 30 || rate.framesPerSecond == 60)
    if (rate.fractional) kind = rate.dropFrame ? " drop-frame" : " non-drop";
  return name + " fps" + kind + ", from " + options.rateSource;
}

}  // namespace gezhuan
