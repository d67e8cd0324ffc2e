#include "core/time_of_day.h"

namespace hv {

bool ParseTimeOfDay(const std::string& text, int* secondsOfDay) {
  long groups[3] = {0, 0, 0};
  int group = 0;
  int digits = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      // Leading zeros are allowed; any value past 99 is already out of range.
      if (groups[group] < 1000) groups[group] = groups[group] * 10 + (c - '0');
      ++digits;
    } else if (c == ':') {
      if (digits == 0 || group == 2) return false;
      ++group;
      digits = 0;
    } else {
      return false;
    }
  }
  if (group != 2 || digits == 0) return false;
  if (groups[0] > 23 || groups[1] > 59 || groups[2] > 59) return false;
  if (secondsOfDay) *secondsOfDay = static_cast<int>(groups[0] * 3600 + groups[1] * 60 + groups[2]);
  return true;
}

bool InsideDailyWindow(int start, int stop, int s) {
  if (start == stop) return false;
  if (start < stop) return start <= s && s < stop;
  return s >= start || s < stop;
}

}  // namespace hv
