#include "cli/formats/Timecode.h"

#include <cstdio>
#include <vector>

namespace gezhuan {

namespace {

// At 29.97 drop-frame: a minute holds 1798 frames, except every tenth which
// keeps all 1800, so ten minutes hold 17982.
constexpr uint64_t kDroppedPerMinute = 2;
constexpr uint64_t kFramesPerDropMinute = 30 * 60 - kDroppedPerMinute;
constexpr uint64_t kFramesPerTenDropMinutes = 10 * 30 * 60 - 9 * kDroppedPerMinute;

bool AllDigits(const std::string& text) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

uint64_t Number(const std::string& digits) {
  uint64_t value = 0;
  for (char c : digits) value = value * 10 + static_cast<uint64_t>(c - '0');
  return value;
}

}  // namespace

bool ParseFrameRate(const std::string& text, FrameRate* rate) {
  if (text == "25")
    *rate = FrameRate{25, false};
  else if (text == "29.97")
    *rate = FrameRate{30, true};
  else if (text == "30")
    *rate = FrameRate{30, false};
  else
    return false;
  return true;
}

std::string FrameRateName(const FrameRate& rate) {
  if (rate.dropFrame) return "29.97";
  return std::to_string(rate.framesPerSecond);
}

std::string FormatTimecode(uint32_t frames, const FrameRate& rate) {
  uint64_t label = frames;  // the frame number the labels count, dropped ones included
  if (rate.dropFrame) {
    const uint64_t tens = frames / kFramesPerTenDropMinutes;
    const uint64_t rest = frames % kFramesPerTenDropMinutes;
    // The first minute of ten keeps its two labels; each later one skips two.
    const uint64_t skippedMinutes = rest < kDroppedPerMinute ? 0 : (rest - kDroppedPerMinute) / kFramesPerDropMinute;
    label += 9 * kDroppedPerMinute * tens + kDroppedPerMinute * skippedMinutes;
  }
  const uint64_t fps = static_cast<uint64_t>(rate.framesPerSecond);
  const uint64_t ff = label % fps, seconds = label / fps;
  char text[48];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu%c%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60),
                rate.dropFrame ? ';' : ':', static_cast<unsigned long long>(ff));
  return text;
}

bool ParseTimecode(const std::string& text, const FrameRate& rate, uint32_t* frames, std::string* why) {
  if (AllDigits(text)) {
    const uint64_t count = Number(text);
    if (count > UINT32_MAX) {
      *why = "frame count " + text + " is beyond 4294967295";
      return false;
    }
    *frames = static_cast<uint32_t>(count);
    return true;
  }
  // HH:MM:SS:FF, or HH:MM:SS;FF; the hours may have more than two digits.
  std::vector<std::string> parts(1);
  std::vector<char> separators;
  for (char c : text) {
    if (c == ':' || c == ';') {
      separators.push_back(c);
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  bool shaped = parts.size() == 4 && AllDigits(parts[0]) && parts[0].size() >= 2;
  for (size_t i = 1; shaped && i < 4; ++i) shaped = AllDigits(parts[i]) && parts[i].size() == 2;
  shaped = shaped && separators[0] == ':' && separators[1] == ':';
  if (!shaped) {
    *why = "expected a frame count or timecode HH:MM:SS:FF, found \"" + text + "\"";
    return false;
  }
  if (separators[2] == ';' && !rate.dropFrame) {
    *why = "\"" + text + "\" is drop-frame timecode, which exists only at --fps 29.97";
    return false;
  }
  const uint64_t hh = Number(parts[0]), mm = Number(parts[1]), ss = Number(parts[2]), ff = Number(parts[3]);
  const uint64_t fps = static_cast<uint64_t>(rate.framesPerSecond);
  if (mm > 59 || ss > 59 || ff >= fps) {
    *why = "no timecode \"" + text + "\" at " + FrameRateName(rate) +
           " fps (minutes and seconds run to 59, frames to " + std::to_string(fps - 1) + ")";
    return false;
  }
  uint64_t count = (hh * 3600 + mm * 60 + ss) * fps + ff;
  if (rate.dropFrame) {
    if (mm % 10 != 0 && ss == 0 && ff < kDroppedPerMinute) {
      *why =
          "no timecode \"" + text + "\" in drop-frame: frames 00 and 01 are skipped at the start of minute " + parts[1];
      return false;
    }
    const uint64_t minutes = hh * 60 + mm;
    count -= kDroppedPerMinute * (minutes - minutes / 10);
  }
  if (count > UINT32_MAX) {
    *why = "timecode \"" + text + "\" is beyond 4294967295 frames";
    return false;
  }
  *frames = static_cast<uint32_t>(count);
  return true;
}

}  // namespace gezhuan
