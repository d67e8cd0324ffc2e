#include "recording/record_paths.h"

#include <cerrno>
#include <cstdio>

#include "core/file_ops.h"
#include "core/runtime.h"

namespace hv {

SharedText g_recordBasePath;

std::string RecordingStem(const std::string& basePath) {
  size_t at = basePath.find_last_of("./");
  if (at != std::string::npos && basePath[at] == '.') return basePath.substr(0, at);
  return basePath;
}

std::tm NameTime(const StreamTime& start, int timeStandard) {
  std::time_t t = start.utcSeconds;
  if (timeStandard == 1) t -= std::time_t(start.biasMinutes) * 60;  // UTC = local + bias
  std::tm out{};
  if (!gmtime_r(&t, &out)) {
    std::time_t utc = start.utcSeconds;
    gmtime_r(&utc, &out);
  }
  return out;
}

RecordingNames MakeRecordingNames(const std::string& basePath, const StreamTime& start, const RecordingKind& kind,
                                  int timeStandard) {
  std::tm t = NameTime(start, timeStandard);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "_D%04d%02d%02dT%02d%02d%02dm%03d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, start.milliseconds);
  const std::string stem = RecordingStem(basePath) + stamp;
  const char* ext = kind.extension;
  RecordingNames n;
  n.temporary = stem + ".tmp_" + ext;
  n.final = stem + "." + ext;
  n.display = FileNamePart(stem);
  return n;
}

RecordingNames MakeRecordingNames(const std::string& basePath, const StreamTime& start, bool wavpack,
                                  int timeStandard) {
  return MakeRecordingNames(basePath, start,
                            RecordingKindOf(wavpack ? RecordingKindId::kWavPack : RecordingKindId::kWave), timeStandard);
}

bool RenameRecording(const std::string& temporary, const std::string& final, bool settle, int* error) {
  if (settle) SleepSeconds(0.1);
  bool ok = false;
  int failure = 0;
  {
    LockGuard lock(g_fileLock);
    if (lock.held()) {
      ok = RenameNoReplace(temporary, final);
      if (!ok) failure = errno;
    }
  }
  if (!ok) DiagPrint("ERROR renamimg file\n");
  if (error) *error = ok ? 0 : failure;
  return ok;
}

std::string DailyLogPath(const std::string& basePath, const std::tm& day) {
  if (basePath.empty()) return std::string();
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, "_D%04d%02d%02d_log.txt", day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
  return RecordingStem(basePath) + suffix;
}

void AppendDailyLog(const char* message, const std::tm& time, const char* detail) {
  const std::string path = DailyLogPath(g_recordBasePath.Get(), time);
  if (path.empty()) return;
  LockGuard lock(g_logLock);
  if (!lock.held()) return;
  std::FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  std::fprintf(f, "LOG[%04d:%02d:%02d::%02d:%02d:%02d] - %s %s\n", time.tm_year + 1900, time.tm_mon + 1,
               time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, message ? message : "", detail ? detail : "");
  std::fclose(f);
}

}  // namespace hv
