// Telling the user that a recording could not be finished, and why: the
// Record Setup status line (printed on standard output by a headless station)
// reads "Status : Failed - <what>: <reason>; kept as <temporary name>", the
// same text goes to the diagnostic console with the folder, and the daily log
// gets "recording failed: <what>: <reason>; kept as <temporary name>". Without
// a file left behind (an open that failed) the "kept as" part is left out.
#pragma once

#include <string>

namespace hv {

// `what` says which step failed ("could not rename it to site_D....wav"),
// `systemError` is the system's error number (0: none known), `leftAs` the
// path of the file left under its temporary name ("" when none was left).
void ReportRecordingFailed(const std::string& what, int systemError, const std::string& leftAs);

// The status line and log detail of such a report (shared with the tests).
std::string RecordingFailedText(const std::string& what, int systemError, const std::string& leftAs);

}  // namespace hv
