// Calendar arithmetic for the replayed stream time: a recording's start time
// (year .. millisecond, UTC) turned into the station's stream time, advanced by
// the replayed duration across minute, day, month and year ends by the real
// calendar (leap years included), and turned back into fields for display and
// for the GUANO timestamp.
#pragma once

#include <cstdint>

#include "core/station_state.h"
#include "formats/sono_attribute.h"  // CalendarTime

namespace hv {

// CalendarTime holds UTC fields, month 1..12, day 1..31 (day of week unused).

// True when every field lies in its range (the day within its month, years 1970..9999).
bool IsValidCalendarTime(const CalendarTime& c);
// The stream time for a valid calendar time (false, and `out` untouched, otherwise).
bool CalendarToStreamTime(const CalendarTime& c, int biasMinutes, StreamTime* out);
CalendarTime StreamTimeToCalendar(const StreamTime& t);
// `start` advanced by `milliseconds` (which may exceed a day, a month or a year).
StreamTime AdvanceStreamTime(const StreamTime& start, int64_t milliseconds);

}  // namespace hv
