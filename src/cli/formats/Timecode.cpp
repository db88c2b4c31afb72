#include "cli/formats/Timecode.h"

#include <cstdio>
#include <vector>

namespace gezhuan {

namespace {

struct KnownRate {
  const char* name;
  int framesPerSecond;
  bool fractional;
};

// In rising order: the rate named for a frame number that does not fit is
// the first one that has it.
constexpr KnownRate kRates[] = {{"23.976", 24, true}, {"24", 24, false}, {"25", 25, false},  {"29.97", 30, true},
                                {"30", 30, false},    {"50", 50, false}, {"59.94", 60, true}};

bool HasDropFrame(const FrameRate& rate) {
  return rate.fractional && (rate.framesPerSecond == 30 || rate.framesPerSecond == 60);
}

// Drop-frame skips 2 labels a minute at 29.97 and 4 at 59.94, but none in
// every tenth minute: ten minutes hold 17982 frames at 29.97.
uint64_t DroppedPerMinute(const FrameRate& rate) { return static_cast<uint64_t>(rate.framesPerSecond) / 15; }

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

// "it would at 29.97 or 30": the slowest rates whose seconds hold the frame
// number, among those with drop-frame if the timecode is drop-frame.
std::string RatesThatFit(uint64_t frame, bool dropFrame) {
  std::string names;
  int fits = 0;
  for (const KnownRate& known : kRates) {
    const FrameRate rate{known.framesPerSecond, known.fractional, false};
    if (static_cast<uint64_t>(known.framesPerSecond) <= frame || (dropFrame && !HasDropFrame(rate))) continue;
    if (fits != 0 && fits != known.framesPerSecond) break;
    fits = known.framesPerSecond;
    names += std::string(names.empty() ? "" : " or ") + known.name;
  }
  return names.empty() ? "; no rate has it" : "; it would at " + names;
}

}  // namespace

bool ParseFrameRate(const std::string& text, FrameRate* rate) {
  for (const KnownRate& known : kRates) {
    const FrameRate candidate{known.framesPerSecond, known.fractional, false};
    const std::string name = known.name;
    if (text == name) {
      *rate = candidate;
      rate->dropFrame = HasDropFrame(candidate);
      return true;
    }
    if (HasDropFrame(candidate) && (text == name + "df" || text == name + "ndf")) {
      *rate = candidate;
      rate->dropFrame = text == name + "df";
      return true;
    }
  }
  return false;
}

std::string FrameRateName(const FrameRate& rate) {
  for (const KnownRate& known : kRates) {
    if (known.framesPerSecond != rate.framesPerSecond || known.fractional != rate.fractional) continue;
    return std::string(known.name) + (HasDropFrame(rate) && !rate.dropFrame ? "ndf" : "");
  }
  return std::to_string(rate.framesPerSecond);
}

std::string FormatTimecode(uint32_t frames, const FrameRate& rate) {
  uint64_t label = frames;  // the frame number the labels count, dropped ones included
  const bool dropFrame = rate.dropFrame && HasDropFrame(rate);
  const uint64_t fps = static_cast<uint64_t>(rate.framesPerSecond);
  if (dropFrame) {
    const uint64_t dropped = DroppedPerMinute(rate);
    const uint64_t perMinute = fps * 60 - dropped, perTenMinutes = fps * 600 - 9 * dropped;
    const uint64_t tens = frames / perTenMinutes;
    const uint64_t rest = frames % perTenMinutes;
    // The first minute of ten keeps all its labels; each later one skips some.
    const uint64_t skippedMinutes = rest < dropped ? 0 : (rest - dropped) / perMinute;
    label += 9 * dropped * tens + dropped * skippedMinutes;
  }
  const uint64_t ff = label % fps, seconds = label / fps;
  char text[48];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu%c%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60),
                dropFrame ? ';' : ':', static_cast<unsigned long long>(ff));
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
  // HH:MM:SS:FF, or HH:MM:SS;FF or HH:MM:SS.FF.
  std::vector<std::string> parts(1);
  std::vector<char> separators;
  for (char c : text) {
    if (c == ':' || c == ';' || c == '.') {
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
  const bool dropFrame = separators[2] != ':';
  if (dropFrame && !HasDropFrame(rate)) {
    *why = "\"" + text + "\" is drop-frame timecode, which exists only at --fps 29.97 and 59.94 (use ':' before " +
           "the frames for non-drop)";
    return false;
  }
  const uint64_t hh = Number(parts[0]), mm = Number(parts[1]), ss = Number(parts[2]), ff = Number(parts[3]);
  const uint64_t fps = static_cast<uint64_t>(rate.framesPerSecond);
  if (mm > 59 || ss > 59) {
    *why = "no timecode \"" + text + "\": minutes and seconds run to 59";
    return false;
  }
  // A timecode labels a frame of one day; a point further on is typed as a
  // frame count.
  if (hh > 23) {
    *why = "no timecode \"" + text + "\": hours run from 00 to 23 (give a later point as a frame count)";
    return false;
  }
  if (ff >= fps) {
    *why = "no timecode \"" + text + "\": frame " + parts[3] + " does not exist at " + FrameRateName(rate) + " fps" +
           RatesThatFit(ff, dropFrame);
    return false;
  }
  uint64_t count = (hh * 3600 + mm * 60 + ss) * fps + ff;
  if (dropFrame) {
    const uint64_t dropped = DroppedPerMinute(rate);
    if (mm % 10 != 0 && ss == 0 && ff < dropped) {
      *why = "no timecode \"" + text + "\" in drop-frame: frames 00 to " + (dropped == 2 ? "01" : "03") +
             " are skipped at the start of minute " + parts[1] + " (every minute but each tenth)";
      return false;
    }
    const uint64_t minutes = hh * 60 + mm;
    count -= dropped * (minutes - minutes / 10);
  }
  if (count > UINT32_MAX) {
    *why = "timecode \"" + text + "\" is beyond 4294967295 frames";
    return false;
  }
  *frames = static_cast<uint32_t>(count);
  return true;
}

}  // namespace gezhuan
