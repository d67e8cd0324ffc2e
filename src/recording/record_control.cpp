#include "recording/record_control.h"

#include <chrono>

#include "core/lifecycle.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "recording/record_paths.h"
#include "settings/settings.h"

namespace hv {

std::atomic<int> g_autoSnapState{kSnapIdle};
std::atomic<int> g_streamRecorderState{kStreamIdle};

namespace {
std::atomic<RecordStopAction> s_stopAction{nullptr};
std::atomic<RecordStartAction> s_startAction{nullptr};
std::atomic<OutputFileAction> s_outputFileAction{nullptr};
std::atomic<bool> s_registered{false};
std::atomic<double> s_waitSeconds{5.0};
}  // namespace

void SetRecordStopAction(RecordStopAction action) { s_stopAction.store(action, std::memory_order_relaxed); }

void PerformRecordStop() {
  RecordStopAction action = s_stopAction.load(std::memory_order_relaxed);
  if (action) action();
  g_recordOn.store(false, std::memory_order_relaxed);
}

void SetRecordStartAction(RecordStartAction action) { s_startAction.store(action, std::memory_order_relaxed); }

void PerformRecordStart() {
  RecordStartAction action = s_startAction.load(std::memory_order_relaxed);
  if (action) action();
  g_recordOn.store(true, std::memory_order_relaxed);
}

void SetOutputFileAction(OutputFileAction action) { s_outputFileAction.store(action, std::memory_order_relaxed); }

void PerformSetOutputFile(const std::string& path, const std::string& folder) {
  OutputFileAction action = s_outputFileAction.load(std::memory_order_relaxed);
  if (action) {
    action(path, folder);
    return;
  }
  g_recordBasePath.Set(path);
  if (!folder.empty()) g_history.OutputDirectory.Set(folder);
}

bool RecordersAtRest() {
  int snap = g_autoSnapState.load(std::memory_order_relaxed);
  int stream = g_streamRecorderState.load(std::memory_order_relaxed);
  return (snap == kSnapIdle || snap == kSnapFailed) && (stream == kStreamIdle || stream == kStreamFailed);
}

void PrepareRecordingShutdown() {
  if (!g_recordOn.load(std::memory_order_relaxed) && RecordersAtRest()) return;
  PerformRecordStop();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(s_waitSeconds.load());
  while (!RecordersAtRest() && std::chrono::steady_clock::now() < deadline) SleepSeconds(0.01);
  if (!RecordersAtRest()) DiagPrint("Recording still open at exit; it keeps its temporary name\n");
}

void RegisterRecordingShutdown(double seconds) {
  s_waitSeconds.store(seconds);
  if (!s_registered.exchange(true)) AddShutdownPreparation(PrepareRecordingShutdown);
}

}  // namespace hv
