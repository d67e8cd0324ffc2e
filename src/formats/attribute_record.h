// Composing the attribute record that a recorder writes into a new file:
//   "MMMMMMMMM(#R#)<&E&>[!K!]DEV=device,DC=On|Off,UTC=YYYY:MM:DD::hh:mm:ss.mmm,
//    LTB=bias,GPS=<lat:.. lon:.. alt:..>,CMT=<comment>MMMMMMMMM "
// (the GPS pair only with a position fix). The text may take 513 characters:
// the stored length is rounded down to even, which drops only the final space.
// A longer text is shortened by cutting the comment (at a character boundary).
#pragma once

#include <cstdint>
#include <string>

#include "core/station_state.h"

namespace hv {

struct AttributeInputs {
  int64_t headerRate = 0;   // R: the rate written into the file header
  int64_t expansion = 10;   // E: SnapTimeExpand
  int64_t realRateKHz = 0;  // K: the real rate in kHz, truncated
  std::string device;       // up to 127 characters
  bool compensated = false; // DC
  StreamTime start;         // UTC start time and the place's bias
  bool withGps = false;
  std::string latitude, longitude, altitude;  // up to 31 characters each
  std::string comment;                        // up to 255 characters
};

// The composed text, at most 513 characters.
std::string ComposeAttribute(const AttributeInputs& in);

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 character.
std::string CutText(const std::string& text, size_t limit);

}  // namespace hv
