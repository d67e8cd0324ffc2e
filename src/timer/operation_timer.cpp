#include "timer/operation_timer.h"

#include <cstdio>
#include <ctime>

#include "core/time_of_day.h"

namespace hv {

namespace {
constexpr size_t kCommentCapacity = 255;
}

TimeOfDay TimeOfDayOf(long long utcSeconds, int biasMinutes, bool local) {
  std::time_t t = static_cast<std::time_t>(local ? utcSeconds - 60LL * biasMinutes : utcSeconds);
  std::tm parts{};
  TimeOfDay out;
  if (!gmtime_r(&t, &parts)) {
    // Out of the calendar's range: the UTC seconds of the day.
    long long s = ((utcSeconds % 86400) + 86400) % 86400;
    out.hour = static_cast<int>(s / 3600), out.minute = static_cast<int>(s / 60 % 60), out.second = static_cast<int>(s % 60);
    return out;
  }
  out.hour = parts.tm_hour, out.minute = parts.tm_min, out.second = parts.tm_sec;
  return out;
}

bool OperationTimer::ProgramDue(const TimerProgram& p, int s, bool* valid) const {
  int start = 0, stop = 0;
  *valid = ParseTimeOfDay(p.startText, &start) && ParseTimeOfDay(p.stopText, &stop);
  return *valid && InsideDailyWindow(start, stop, s);
}

void OperationTimer::Activate(int number, const TimerProgram& p) {
  active_ = number;
  actions_.ShowStatus(number == 1 ? "ACTIVE - Program 1" : "ACTIVE - Program 2");
  actions_.SetRecordingBasePath(p.basePath);
  actions_.SetRecordComment(p.comment.substr(0, kCommentCapacity));
  actions_.StartRecording();
}

void OperationTimer::Step() {
  TimeOfDay t = clock_.Now();
  char clockText[16];
  std::snprintf(clockText, sizeof clockText, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  actions_.ShowClock(clockText);
  const int s = t.hour * 3600 + t.minute * 60 + t.second;

  if (active_ != 0) {
    // An active program ends when it is switched off or its window closes;
    // invalid field texts never stop it.
    TimerProgram p = actions_.Program(active_);
    bool valid = false;
    bool due = ProgramDue(p, s, &valid);
    if (!p.enabled || (valid && !due)) {
      actions_.StopRecording();
      actions_.ShowStatus("IDLE");
      active_ = 0;
    }
  } else {
    bool activated = false;
    for (int number = 1; number <= 2 && !activated; ++number) {
      TimerProgram p = actions_.Program(number);
      bool valid = false;
      if (p.enabled && ProgramDue(p, s, &valid)) {
        Activate(number, p);
        activated = true;
      }
    }
    StepPowerSaver(activated);
  }
  clock_.Sleep(1);
}

void OperationTimer::StepPowerSaver(bool justActivated) {
  if (powerSave_ && justActivated) {
    powerSave_ = actions_.SetPowerSave(false);
    clock_.Sleep(1);
    return;
  }
  if (active_ != 0) return;
  const bool anyEnabled = actions_.Program(1).enabled || actions_.Program(2).enabled;
  if (powerSave_) {
    // Leave power save when it is no longer wanted, and also when the user
    // started a recording or a playback by hand: both need the receiver.
    if (!actions_.PowerSaverEnabled() || !anyEnabled || actions_.ReceiverInUse()) {
      powerSave_ = actions_.SetPowerSave(false);
      if (!powerSave_) actions_.ShowStatus("IDLE");
      clock_.Sleep(1);
    }
    return;
  }
  if (!anyEnabled || actions_.ReceiverInUse()) return;
  clock_.Sleep(2);
  // A recording or playback may have been started during the pause.
  if (actions_.ReceiverInUse()) return;
  powerSave_ = actions_.SetPowerSave(true);
  if (powerSave_) actions_.ShowStatus("Power Saver Mode");
}

}  // namespace hv
