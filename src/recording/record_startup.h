// Recording set-up at station start: the base path from the command line,
// the window controls the recorders use, and the orderly-exit step.
#pragma once

#include <string>

namespace hv {

// Main thread, at the very start: creates the missing folders of a non-empty
// `basePath` and checks that recordings can be made there. False with `why`
// (one line) when they cannot.
bool PrepareRecordFolder(const std::string& basePath, std::string* why);
// Main thread, before the worker threads start. A non-empty `basePath` (made
// absolute) becomes the recording base path and its folder the output folder.
void PrepareRecording(const std::string& basePath);
// Main thread, after the worker threads started: Record on when a base path was given.
void StartRecordingFromCommandLine(const std::string& basePath);

}  // namespace hv
