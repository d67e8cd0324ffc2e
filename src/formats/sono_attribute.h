// SonoAttribute: parsing of the attribute record that every recording carries.
//
// Grammar (literal characters in quotes):
//   "MMMMMMMMM"                         opening marker, required
//   "(#" digits "#)"                    R: the header sample rate, Hz (optional)
//   "<&" digits "&>"                    E: time-expansion factor (optional)
//   "[!" digits "!]" or "[!full!]"      K: real rate in kHz; full = R x E / 1000 (optional)
//   body                                KEY=value pairs separated by ","; a value
//                                       starting "<" runs to the next ">"
//   "MMMMMMMMM"                         closing marker, required
// Anything after the last "M" (the recorders write one space) is ignored.
// Known inconsistent records are repaired: E = 1 with R 25000 or 37500 means
// E = 10; E = 10 with R 250000 or 375000 means E = 1.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

// A calendar time as the attribute's UTC field gives it (day of week always 0).
struct CalendarTime {
  int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class SonoAttribute {
 public:
  virtual ~SonoAttribute() = default;
  // Parses `length` bytes of `text` (no NUL needed). R, E and K are left as
  // they were when their field is absent (callers preset E to 10).
  virtual bool ParseRecord(int length, const char* text, int64_t* r, int64_t* e, int64_t* k, std::string* body);
  // Finds "key=" in `body` (first match, at least one character after "=").
  virtual bool GetField(const char* key, const std::string& body, std::string* value);
  // "YYYY:MM:DD::hh:mm:ss.mmm"; the fields read before a mismatch stay filled.
  virtual bool ParseTime(const std::string& text, CalendarTime* time);
  // Leading white space, then digits up to white space or the end; 0 when empty.
  virtual bool ParseUnsigned(const std::string& text, uint32_t* value);
};

}  // namespace hv
