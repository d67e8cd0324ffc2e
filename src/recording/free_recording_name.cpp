#include "recording/free_recording_name.h"

#include <sys/stat.h>

#include "formats/format_record.h"

namespace hv {

namespace {

int64_t StartMs(const StreamTime& t) { return int64_t(t.utcSeconds) * 1000 + t.milliseconds; }

StreamTime AtMs(StreamTime t, int64_t ms) {
  // Floor division: the milliseconds stay within 0..999 for any instant.
  int64_t seconds = ms / 1000, rest = ms % 1000;
  if (rest < 0) rest += 1000, --seconds;
  t.utcSeconds = std::time_t(seconds);
  t.milliseconds = int(rest);
  return t;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

bool RecordingStemTaken(const std::string& basePath, const StreamTime& start, int timeStandard) {
  for (const RecordingKind& kind : RecordingKinds()) {
    const RecordingNames n = MakeRecordingNames(basePath, start, kind, timeStandard);
    if (Exists(n.temporary) || Exists(n.final)) return true;
  }
  return false;
}

FreeNameResult OpenUnderFreeName(const std::string& basePath, const StreamTime& start, const RecordingKind& kind,
                                 int timeStandard, NameMemory* memory, const OpenUnderName& open) {
  int64_t ms = StartMs(start);
  if (memory && memory->lastStartMs != NameMemory::kNone && ms <= memory->lastStartMs &&
      memory->lastStartMs - ms < kNameMemoryWindowMs)
    ms = memory->lastStartMs + 1;
  FreeNameResult r;
  r.status = kFileExists;
  for (int tried = 0; tried < kFreeNameSearchLimit; ++tried, ++ms) {
    r.start = AtMs(start, ms);
    r.names = MakeRecordingNames(basePath, r.start, kind, timeStandard);
    if (RecordingStemTaken(basePath, r.start, timeStandard)) continue;
    // The exclusive open settles a race with another writer of the same name.
    r.status = open(r.start, r.names);
    if (r.status != kFileExists) break;
  }
  if (r.status == kFileOk && memory) memory->lastStartMs = ms;
  return r;
}

}  // namespace hv
