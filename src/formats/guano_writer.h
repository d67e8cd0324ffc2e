// Composing the GUANO text that recordings carry beside their attribute record.
//
// GUANO is UTF-8 text, one "Namespace|Key: value" line per field with "\n"
// line ends; the first line is "GUANO|Version: 1.0" and keys without a
// namespace belong to the standard set. WAV files hold it in a "guan" RIFF
// chunk after the data chunk, WavPack files in an APEv2 item "GUANO". The text
// is derived from the recording's attribute record and its real length:
//   GUANO|Version     1.0
//   Timestamp         local start time with its UTC offset (from UTC and LTB)
//   TE                the time expansion E
//   Samplerate        the real rate: header rate x E
//   Length            real seconds: frames / real rate
//   Make, Model       "Halvane" and the attribute's device text
//   Loc Position      "lat lon", Loc Elevation: metres (only with a GPS field)
//   Note              the comment
//   Firmware Version  the program version
//   Halvane|Attribute the whole attribute record text
//   then any further fields the recorder adds (an Auto Snap snapshot's
//   Halvane|Calls and Halvane|Call Peak kHz)
// Values never hold line breaks: a break inside a comment becomes a space.
#pragma once

#include <cstdint>
#include <string>

#include "formats/format_record.h"

namespace hv {

// The comment of an attribute record's body: the text between "CMT=<" and the
// body's last ">" (a comment may itself hold "<" and ">"), else the CMT field as
// the record's grammar reads it; "" for none and for the "<no comment>"
// placeholder that Record Setup shows for an empty comment.
std::string AttributeComment(const std::string& body);

// The GUANO text for a recording with `record` and `frames` sample frames,
// followed by `extra` (lines made by GuanoField).
std::string ComposeGuanoText(const FormatWithAttribute& record, uint64_t frames, const std::string& extra = "");

// One "key: value\n" line; control characters in the value become spaces.
std::string GuanoField(const char* key, const std::string& value);

}  // namespace hv
