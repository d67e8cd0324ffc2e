// What the station takes from a file it is about to replay: the header's
// format, the real sampling rate (header rate x time expansion), the device,
// comment, response compensation and start time from the attribute record, or,
// for files from other recorders, from their GUANO text.
#pragma once

#include <cstdint>
#include <string>

#include "core/station_state.h"
#include "core/wave_format.h"

namespace hv {

class PlaybackFile;

struct PlaybackFileInfo {
  WaveFormat format;             // as the header says
  bool hasAttribute = false;     // an attribute record is present (N > 0)
  bool attributeParsed = false;  // ... and it parses
  bool hasGuano = false;         // the file's GUANO text was used
  uint32_t expansion = 1;        // time-expansion factor E
  uint64_t realRate = 0;         // header rate x E
  std::string deviceName = "<No device found>";
  std::string comment = "<no comment>";
  bool compensated = false;      // recorded with the flat (compensated) response
  StreamTime startTime;          // the recording's start; zero when unknown
  std::string fieldText = "<no comment>";  // what the Playback window's comment field shows
  std::string setupComment;      // for the Record Setup comment field; empty: leave it as it is
};

// Fills `info` from the open `file` (named `path`, for its GUANO chunk).
void ReadPlaybackFileInfo(const PlaybackFile& file, const std::string& path, PlaybackFileInfo* info);

// The time-expansion factor of a file without an attribute record: 10 for the
// header rates of time-expanded files (48000 Hz and below), 1 for a recorder
// that wrote its real rate.
inline uint32_t DefaultExpansion(uint32_t headerRate) { return headerRate > 48000 ? 1 : 10; }

// The streams the live chain carries: 16-bit PCM, 1 to 4 channels, 2 bytes per
// sample and channel.
bool IsPlayableFormat(const WaveFormat& format);

}  // namespace hv
