#include "timer/station_timer.h"

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "settings/settings.h"
#include "timer/power_save.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/operation_timer_window_controls.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {
constexpr int kRecordSetupComment = 388;
}

TimeOfDay StationTimerClock::Now() {
  // During playback this is the replayed recording's time (copied under the
  // stream-time lock), otherwise the system clock.
  StreamTime t = CurrentStreamTime();
  return TimeOfDayOf(t.utcSeconds, t.biasMinutes, g_settings.TimeStandard.load(std::memory_order_relaxed) == 1);
}

void StationTimerClock::Sleep(double seconds) { SleepWhileRunning(seconds); }

TimerProgram StationTimerActions::Program(int number) {
  TimerProgram p;
  const bool first = number == 1;
  p.enabled = (first ? g_settings.Program1Enable : g_settings.Program2Enable).load(std::memory_order_relaxed);
  if (g_operationTimerWindow) {
    p.startText = XsControlText(g_operationTimerWindow, first ? kTimerStart1 : kTimerStart2);
    p.stopText = XsControlText(g_operationTimerWindow, first ? kTimerStop1 : kTimerStop2);
  } else {
    p.startText = (first ? g_settings.Pgm1StartTime : g_settings.Pgm2StartTime).Get();
    p.stopText = (first ? g_settings.Pgm1StopTime : g_settings.Pgm2StopTime).Get();
  }
  p.basePath = (first ? g_history.Pgm1FileName : g_history.Pgm2FileName).Get();
  p.comment = g_operationTimerWindow ? XsControlText(g_operationTimerWindow, first ? kTimerComment1 : kTimerComment2)
                                     : (first ? g_history.Pgm1Comment : g_history.Pgm2Comment).Get();
  return p;
}

bool StationTimerActions::PowerSaverEnabled() {
  return g_settings.PowerSaverEnable.load(std::memory_order_relaxed);
}

bool StationTimerActions::ReceiverInUse() {
  return g_recordOn.load(std::memory_order_relaxed) || g_playbackActive.load(std::memory_order_relaxed);
}

void StationTimerActions::ShowClock(const std::string& text) {
  XsControlSetText(g_operationTimerWindow, kTimerClock, text.c_str());
}

void StationTimerActions::ShowStatus(const std::string& text) {
  XsControlSetText(g_operationTimerWindow, kTimerStatus, text.c_str());
  StatusPrint("Timer status: %s", text.c_str());
}

void StationTimerActions::SetRecordingBasePath(const std::string& path) {
  SetOutputFile(path, FolderPart(path));
}

void StationTimerActions::SetRecordComment(const std::string& comment) {
  XsControlSetText(g_recordSetupWindow, kRecordSetupComment, comment.c_str());
}

void StationTimerActions::StartRecording() { StartRecordingUi(); }
void StationTimerActions::StopRecording() { StopRecordingUi(); }
bool StationTimerActions::SetPowerSave(bool on) { return hv::SetPowerSave(on); }

}  // namespace hv
