// SMPTE timecode HH:MM:SS:FF for frame counts. The items' trim points and
// lengths and a task's duration are stored as frame counts; people read and
// type them as timecode at the rate of their material.
//
// At 29.97 frames a second the timecode is drop-frame: frame numbers 00 and
// 01 are skipped at the start of every minute except each tenth, so that
// the labels keep pace with the clock. Drop-frame timecode is written with
// ';' before the frames ("00:01:00;02"). Hours are not wrapped at 24: a
// count beyond a day shows as 24, 25... hours.
#pragma once

#include <cstdint>
#include <string>

namespace gezhuan {

struct FrameRate {
  int framesPerSecond = 25;  // the nominal rate: 25 or 30
  bool dropFrame = false;    // true for 29.97
};

// Reads "25", "29.97" or "30". False for any other text.
bool ParseFrameRate(const std::string& text, FrameRate* rate);

// "25", "29.97" or "30".
std::string FrameRateName(const FrameRate& rate);

// The timecode of the frame count.
std::string FormatTimecode(uint32_t frames, const FrameRate& rate);

// Reads a timecode "HH:MM:SS:FF" (";" before FF at 29.97) or a plain frame
// count. Refuses labels that do not exist at the rate (frame 25 at 25 fps,
// second 60, a dropped frame number) and counts beyond 32 bits; on failure
// returns false and says why.
bool ParseTimecode(const std::string& text, const FrameRate& rate, uint32_t* frames, std::string* why);

}  // namespace gezhuan
