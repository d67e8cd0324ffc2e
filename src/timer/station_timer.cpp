#include "timer/station_timer.h"

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "model/station_model.h"
#include "recording/record_control.h"
#include "settings/settings.h"
#include "timer/power_save.h"

namespace hv {

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
  // The texts as the user entered them in the Operation Timer window (a time
  // not yet valid, a comment placeholder); the stored settings until the
  // window has entered them.
  if (ModelNumber(ModelItem::kTimerProgramsEntered)) {
    p.startText = ModelText(first ? ModelItem::kTimerStart1 : ModelItem::kTimerStart2);
    p.stopText = ModelText(first ? ModelItem::kTimerStop1 : ModelItem::kTimerStop2);
    p.comment = ModelText(first ? ModelItem::kTimerComment1 : ModelItem::kTimerComment2);
  } else {
    p.startText = (first ? g_settings.Pgm1StartTime : g_settings.Pgm2StartTime).Get();
    p.stopText = (first ? g_settings.Pgm1StopTime : g_settings.Pgm2StopTime).Get();
    p.comment = (first ? g_history.Pgm1Comment : g_history.Pgm2Comment).Get();
  }
  p.basePath = (first ? g_history.Pgm1FileName : g_history.Pgm2FileName).Get();
  return p;
}

bool StationTimerActions::PowerSaverEnabled() {
  return g_settings.PowerSaverEnable.load(std::memory_order_relaxed);
}

bool StationTimerActions::ReceiverInUse() {
  return g_recordOn.load(std::memory_order_relaxed) || g_playbackActive.load(std::memory_order_relaxed);
}

void StationTimerActions::ShowClock(const std::string& text) { SetModelText(ModelItem::kTimerClock, text); }

void StationTimerActions::ShowStatus(const std::string& text) { SetModelText(ModelItem::kTimerStatus, text); }

void StationTimerActions::SetRecordingBasePath(const std::string& path) { PerformSetOutputFile(path, FolderPart(path)); }

void StationTimerActions::SetRecordComment(const std::string& comment) {
  SetModelText(ModelItem::kRecordComment, comment);
}

// As the main window's Record and Stop buttons.
void StationTimerActions::StartRecording() { PerformRecordStart(); }
void StationTimerActions::StopRecording() { PerformRecordStop(); }
bool StationTimerActions::SetPowerSave(bool on) { return hv::SetPowerSave(on); }

}  // namespace hv
