#pragma once
// Moments of the line history as people type and read them: ISO 8601 with the offset from UTC.

#include <cstdint>
#include <string>
#include <string_view>

// 2026-12-09T14:00:00+08:00, 2026-12-09T06:00:00Z; seconds may be left out or carry a fraction,
// the offset may be written +0800, and a blank may stand for the T. False for anything else: a
// time without its offset would mean a different moment on another machine.
bool ParseIsoTime(std::string_view text, int64_t& utcMs);

// The local time of utcMs with milliseconds and the offset in force then: 2026-12-09T14:03:27.120+08:00.
std::string IsoLocalTimeMs(int64_t utcMs);
