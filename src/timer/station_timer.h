// The operation timer's ties to the running station: the clock (stream time,
// in UTC or local time by TimeStandard) and the actions on the station model,
// settings and the Record switch.
#pragma once

#include "timer/operation_timer.h"

namespace hv {

class StationTimerClock : public TimerClock {
 public:
  TimeOfDay Now() override;
  void Sleep(double seconds) override;
};

class StationTimerActions : public TimerActions {
 public:
  TimerProgram Program(int number) override;
  bool PowerSaverEnabled() override;
  bool ReceiverInUse() override;
  void ShowClock(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void SetRecordingBasePath(const std::string& path) override;
  void SetRecordComment(const std::string& comment) override;
  void StartRecording() override;
  void StopRecording() override;
  bool SetPowerSave(bool on) override;
};

}  // namespace hv
