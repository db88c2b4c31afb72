// SMPTE timecode HH:MM:SS:FF for frame counts. The items' trim points and
// lengths and a task's duration are stored as frame counts; people read and
// type them as timecode at the rate of their material.
//
// The separator before the frames says how the labels count: ':' is
// non-drop, every frame number of every second is used; ';' (or '.') is
// drop-frame, which exists only at 29.97 and 59.94: frame numbers 00 and 01
// (00 to 03 at 59.94) are skipped at the start of every minute except each
// tenth, so that the labels keep pace with the clock. Non-drop timecode at a
// fractional rate counts at the nominal rate (24, 30, 60) and so runs slow
// against the clock. Typed timecode labels one day, 00:00:00:00 to
// 23:59:59 and the last frame; a count beyond a day still shows, as 24,
// 25... hours, and is typed as a frame count.
#pragma once

#include <cstdint>
#include <string>

namespace gezhuan {

struct FrameRate {
  int framesPerSecond = 25;  // the nominal rate: 24, 25, 30, 50 or 60
  bool fractional = false;   // 23.976, 29.97 or 59.94: the nominal rate slowed by 1000/1001
  bool dropFrame = false;    // timecode is written drop-frame (only at 29.97 and 59.94)
};

// Reads "23.976", "24", "25", "29.97", "30", "50" or "59.94". 29.97 and
// 59.94 write drop-frame timecode, as NTSC material is usually labelled;
// "29.97ndf" and "59.94ndf" write non-drop, "29.97df" and "59.94df" say
// drop-frame explicitly. False for any other text.
bool ParseFrameRate(const std::string& text, FrameRate* rate);

// The rate as ParseFrameRate reads it: "25", "29.97", "29.97ndf"...
std::string FrameRateName(const FrameRate& rate);

// The timecode of the frame count, drop-frame or not as the rate writes it.
std::string FormatTimecode(uint32_t frames, const FrameRate& rate);

// Reads a timecode "HH:MM:SS:FF" (non-drop) or "HH:MM:SS;FF" / "HH:MM:SS.FF"
// (drop-frame) or a plain frame count. Either form is read at 29.97 and
// 59.94, whichever form the rate writes. Refuses labels that do not exist at
// the rate (frame 25 at 25 fps, second 60, hour 24, a dropped frame number,
// drop-frame at a rate without it) and counts beyond 32 bits; on failure
// returns false and says why.
bool ParseTimecode(const std::string& text, const FrameRate& rate, uint32_t* frames, std::string* why);

}  // namespace gezhuan
