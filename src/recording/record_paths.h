// Recording file names, the rename to the final name, and the daily log.
//
// Names: the stem is the recording base path without its extension (walking
// back from the end, a "." met before a "/" cuts the path there; a "." in a
// parent folder never does). Behind it "_DYYYYMMDDThhmmssmSSS" of the start
// time (local time when TimeStandard is 1), then ".tmp_<ext>" while writing
// and ".<ext>" when finished, <ext> being the file kind's extension (".wav",
// ".wv"; formats/recording_kinds.h).
// Daily log: the stem (extension replaced) + "_DYYYYMMDD_log.txt", appended
// with lines "LOG[YYYY:MM:DD::hh:mm:ss] - message detail".
#pragma once

#include <ctime>
#include <string>

#include "core/station_state.h"
#include "formats/recording_kinds.h"

namespace hv {

// The recording base path (the output file path chosen by the user, or set by
// --record or an operation timer program). The output folder is
// g_history.OutputDirectory.
extern SharedText g_recordBasePath;

struct RecordingNames {
  std::string temporary;  // "<stem>_D....tmp_wav"
  std::string final;      // "<stem>_D....wav"
  std::string display;    // the file name without folder and extension
};

// The stem of a base path (extension dropped, see above).
std::string RecordingStem(const std::string& basePath);
// The calendar time that names and log lines use: local time (UTC minus the
// bias) when `timeStandard` is 1, else UTC.
std::tm NameTime(const StreamTime& start, int timeStandard);
RecordingNames MakeRecordingNames(const std::string& basePath, const StreamTime& start, const RecordingKind& kind,
                                  int timeStandard);
// The same for a WavPack (`wavpack`) or WAV recording.
RecordingNames MakeRecordingNames(const std::string& basePath, const StreamTime& start, bool wavpack,
                                  int timeStandard);

// Waits 0.1 s (unless `settle` is false), then renames `temporary` to `final`
// under the file lock, never replacing an existing file. Prints
// "ERROR renamimg file\n" on failure; `error` (when given) receives the
// system's error number then.
bool RenameRecording(const std::string& temporary, const std::string& final, bool settle = true,
                     int* error = nullptr);

// The daily log's path for a base path and a day ("" when the base path is empty).
std::string DailyLogPath(const std::string& basePath, const std::tm& day);
// Appends one line to the daily log of that time's day under the log lock.
// Any thread may call it (the Auto Snap recorder and the upload thread do).
void AppendDailyLog(const char* message, const std::tm& time, const char* detail);

}  // namespace hv
