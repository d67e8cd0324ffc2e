// The Record switch as the recorders see it: the Stop action they perform
// (a Buffered Snap that is complete turns Record off by itself), the states
// they publish, and the orderly-exit step that closes a recording in progress
// before the worker threads are told to end.
#pragma once

#include <atomic>
#include <string>

namespace hv {

// Published recorder states (relaxed): 0 is Idle in both recorders. The stream
// recorder is in Opening from its start mark until the stream's first samples
// open the file.
enum AutoSnapState : int { kSnapIdle = 0, kSnapRecording = 1, kSnapClosing = 2, kSnapFailed = 3 };
enum StreamState : int {
  kStreamIdle = 0, kStreamAwaitMark = 1, kStreamOpening = 2, kStreamRecording = 3, kStreamClosing = 4,
  kStreamFailed = 5,
};
extern std::atomic<int> g_autoSnapState;
extern std::atomic<int> g_streamRecorderState;

// The main window's Stop action (interface side plus clearing the Record
// switch). The window code installs it; until then Stop clears the switch.
using RecordStopAction = void (*)();
void SetRecordStopAction(RecordStopAction action);
void PerformRecordStop();
// The same for Record (interface side plus setting the switch) and for taking
// a new output file (the base path, its folder when not empty, the main
// window's file field and Record button). Until the window code installs them,
// Record sets the switch and a new output file sets the path and folder alone.
using RecordStartAction = void (*)();
using OutputFileAction = void (*)(const std::string& path, const std::string& folder);
void SetRecordStartAction(RecordStartAction action);
void PerformRecordStart();
void SetOutputFileAction(OutputFileAction action);
void PerformSetOutputFile(const std::string& path, const std::string& folder);

// True when neither recorder has a file open (both Idle or Failed).
bool RecordersAtRest();

// Registers (once) the orderly-exit step: Stop, then wait up to `seconds`
// until both recorders are at rest, so the file in progress is closed and
// given its final name.
void RegisterRecordingShutdown(double seconds = 5.0);
// The step itself (main thread).
void PrepareRecordingShutdown();

}  // namespace hv
