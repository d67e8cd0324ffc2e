// Opening a new recording under a name that no other file has.
//
// A recording is named after its start time to the millisecond, so a clock
// that stands still, is stepped back, or has not moved on since the previous
// file (a roll-over) gives a name that may already be taken. The recorder then
// takes the next free millisecond: the start time moves on by 1 ms until no
// file of that stem exists (temporary or final name, of any file kind) and the
// exclusive open of the temporary name succeeds. The start time handed to the
// open is the one the name shows, so the attribute's UTC field matches it.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "core/station_state.h"
#include "recording/record_paths.h"

namespace hv {

// What one recorder remembers between its files: the start (ms since the
// epoch) of the last name it took. A new start at or less than a minute
// before it continues right after it, so a clock that has not moved on costs
// no search and a name this recorder used (and the upload thread may already
// have sent and deleted) is not used again. A larger step back searches from
// the clock's own time.
struct NameMemory {
  static constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
  int64_t lastStartMs = kNone;
};

// Milliseconds of names tried before the open gives up.
constexpr int kFreeNameSearchLimit = 10000;
// Starts closer than this before the remembered one continue after it.
constexpr int64_t kNameMemoryWindowMs = 60000;

// Opens the file for one candidate: kFileOk, kFileExists (the name is taken:
// the next millisecond is tried) or another failure, which ends the search.
using OpenUnderName = std::function<uint32_t(const StreamTime& start, const RecordingNames& names)>;

struct FreeNameResult {
  uint32_t status = 0;    // the last open's status; kFileExists when every name tried was taken
  StreamTime start;       // the start time the name shows
  RecordingNames names;   // the names tried last (the open file's on success)
};

// True when a file of the names' stem exists under any of its names (temporary
// or final, of every file kind).
bool RecordingStemTaken(const std::string& basePath, const StreamTime& start, int timeStandard);

// Finds the first free name at or after `start` (see above) and opens it.
FreeNameResult OpenUnderFreeName(const std::string& basePath, const StreamTime& start, const RecordingKind& kind,
                                 int timeStandard, NameMemory* memory, const OpenUnderName& open);

}  // namespace hv
