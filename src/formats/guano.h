// GUANO metadata, as many bat recorders write it into a "guan" RIFF chunk:
// UTF-8 text of lines "Key: value" (LF or CR LF), the first line
// "GUANO|Version: 1.0"; keys may carry a namespace ("OAD|Battery Voltage"),
// white space around keys and values is not significant, the chunk may be
// padded with NULs. The station takes what it uses from it when a file has no
// attribute record of its own:
//   TE            time-expansion factor (integer, 1 when absent)
//   Timestamp     ISO 8601 start time, "2024-09-03T20:26:15+01:00"; the offset
//                 may be absent, "Z", "+01", "+0100" or "+01:00"; the seconds may
//                 carry any number of fractional digits
//   Make, Model   the recorder, shown as its device name
//   Loc Position  "latitude longitude" in decimal degrees
//   Note          free comment
#pragma once

#include <cstdint>
#include <string>

#include "core/station_state.h"

namespace hv {

struct GuanoInfo {
  bool hasExpansion = false;
  uint32_t expansion = 1;  // 1..1000 when present
  bool hasTime = false;
  bool timeHasOffset = false;  // without an offset the clock time is taken as UTC, bias 0
  StreamTime time;             // start time; biasMinutes = -offset
  std::string make, model, position, note;

  // "Make Model" (either alone when the other is missing), "" when neither.
  std::string DeviceName() const;
};

// Parses GUANO text. False when the text does not start with the GUANO
// version line; fields that do not parse are left at their defaults.
bool ParseGuano(const std::string& text, GuanoInfo* info);

// Lenient ISO 8601 date and time ("YYYY-MM-DDThh:mm[:ss[.f...]][zone]"; a space
// may stand for the "T"). On success `time` holds the UTC instant and its bias.
bool ParseIsoTimestamp(const std::string& text, StreamTime* time, bool* hasOffset);

}  // namespace hv
