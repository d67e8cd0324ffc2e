// The operation timer: two daily recording programs that start and stop
// recording by the clock, and the power saver that releases the receiver
// between programs. One Step() is one pass of the timer thread; the clock and
// the station actions are seams so tests can drive whole days in microseconds.
#pragma once

#include <string>

namespace hv {

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The time of day of a calendar time: UTC, or local time by the given zone
// bias (minutes to add to local time to get UTC).
TimeOfDay TimeOfDayOf(long long utcSeconds, int biasMinutes, bool local);

// Where the timer reads the time and how it pauses.
class TimerClock {
 public:
  virtual ~TimerClock() = default;
  // The time of day the programs are compared with.
  virtual TimeOfDay Now() = 0;
  // Pauses; the station's clock returns early when the run flag falls.
  virtual void Sleep(double seconds) = 0;
};

// One program's current entries.
struct TimerProgram {
  bool enabled = false;
  std::string startText, stopText;  // as shown in the start and stop fields
  std::string basePath;             // recording base path (full path)
  std::string comment;
};

// What the timer does to the rest of the station.
class TimerActions {
 public:
  virtual ~TimerActions() = default;
  virtual TimerProgram Program(int number) = 0;  // 1 or 2
  virtual bool PowerSaverEnabled() = 0;
  // A recording runs or a file is played: the receiver must stay.
  virtual bool ReceiverInUse() = 0;
  virtual void ShowClock(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void SetRecordingBasePath(const std::string& path) = 0;
  virtual void SetRecordComment(const std::string& comment) = 0;
  virtual void StartRecording() = 0;
  virtual void StopRecording() = 0;
  // Enters or leaves power save; returns the resulting power-save state.
  virtual bool SetPowerSave(bool on) = 0;
};

class OperationTimer {
 public:
  OperationTimer(TimerClock& clock, TimerActions& actions) : clock_(clock), actions_(actions) {}

  // One pass: read and show the time, stop or start a program, step the
  // power saver, then sleep one second.
  void Step();

  int ActiveProgram() const { return active_; }
  bool PowerSaveActive() const { return powerSave_; }

 private:
  // True when the program's fields are valid and `s` lies in its window;
  // `valid` tells whether both fields were valid times.
  bool ProgramDue(const TimerProgram& p, int s, bool* valid) const;
  void Activate(int number, const TimerProgram& p);
  void StepPowerSaver(bool justActivated);

  TimerClock& clock_;
  TimerActions& actions_;
  int active_ = 0;          // 0 none, 1 or 2
  bool powerSave_ = false;  // the last power-save state SetPowerSave returned
};

}  // namespace hv
