// Times of day for the operation timer: the "hh:mm:ss" rule of the start and
// stop fields, seconds of the day, and the daily window test.
#pragma once

#include <string>

namespace hv {

// Parses "h:m:s" (exactly three groups of decimal digits separated by ":",
// each at least one digit; hours at most 23, minutes and seconds at most 59)
// into seconds of the day. Anything else is refused: "24:00:00", "12:60:00",
// "12:00", "1:2:3:4", " 1:2:3", "+1:2:3" all return false.
bool ParseTimeOfDay(const std::string& text, int* secondsOfDay);

// True when second `s` of the day lies in the window from `start` to `stop`:
// never when start = stop; start <= s < stop when start < stop; and across
// midnight (s >= start or s < stop) when start > stop.
bool InsideDailyWindow(int start, int stop, int s);

}  // namespace hv
