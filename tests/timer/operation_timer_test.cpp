// The operation timer driven by a simulated clock: each Sleep advances the
// time, so whole nights pass in microseconds.
#include "timer/operation_timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hv {
namespace {

class FakeClock : public TimerClock {
 public:
  explicit FakeClock(int secondOfDay) : now_(secondOfDay) {}
  TimeOfDay Now() override {
    int s = now_ % 86400;
    return TimeOfDay{s / 3600, s / 60 % 60, s % 60};
  }
  void Sleep(double seconds) override { now_ += static_cast<int>(seconds); }
  int now_;
};

// Stands in for the station: the Record switch, the power-save flag with the
// PowerSaverEnable rule, and the texts the timer shows.
class FakeStation : public TimerActions {
 public:
  TimerProgram programs[2];
  bool powerSaverEnable = false;  // tests of power saving switch it on
  bool recordOn = false, playbackOn = false, powerSave = false;
  std::string clock, status = "IDLE", basePath, comment;
  std::vector<std::string> statuses;  // every status shown

  TimerProgram Program(int n) override { return programs[n - 1]; }
  bool PowerSaverEnabled() override { return powerSaverEnable; }
  bool ReceiverInUse() override { return recordOn || playbackOn; }
  void ShowClock(const std::string& t) override { clock = t; }
  void ShowStatus(const std::string& t) override { statuses.push_back(status = t); }
  void SetRecordingBasePath(const std::string& p) override { basePath = p; }
  void SetRecordComment(const std::string& c) override { comment = c; }
  void StartRecording() override { recordOn = true; }
  void StopRecording() override { recordOn = false; }
  bool SetPowerSave(bool on) override { return powerSave = powerSaverEnable && on; }
};

TimerProgram MakeProgram(const char* start, const char* stop, const char* path = "/rec/p.wav") {
  return TimerProgram{true, start, stop, path, "night"};
}

constexpr int H = 3600;

class OperationTimerTest : public ::testing::Test {
 protected:
  // Steps until the clock reaches `until` (seconds since the start of day 0).
  void RunUntil(int until) {
    while (clock.now_ < until) timer.Step();
  }
  FakeStation station;
  FakeClock clock{0};
  OperationTimer timer{clock, station};
};

TEST_F(OperationTimerTest, ProgramAcrossMidnightRunsUntilItsStopTime) {
  station.programs[0] = MakeProgram("22:00:00", "02:00:00");
  clock.now_ = 23 * H + 1800;
  timer.Step();
  EXPECT_EQ(station.clock, "23:30:00");
  EXPECT_EQ(timer.ActiveProgram(), 1);
  EXPECT_EQ(station.status, "ACTIVE - Program 1");
  EXPECT_TRUE(station.recordOn);
  EXPECT_EQ(station.basePath, "/rec/p.wav");
  EXPECT_EQ(station.comment, "night");

  clock.now_ = 24 * H + 2 * H - 1;  // 01:59:59 the next day
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 1);
  EXPECT_TRUE(station.recordOn);
  timer.Step();  // 02:00:00
  EXPECT_EQ(timer.ActiveProgram(), 0);
  EXPECT_FALSE(station.recordOn);
  EXPECT_EQ(station.status, "IDLE");
}

TEST_F(OperationTimerTest, StartEqualToStopNeverRunsAndStopsARunningProgram) {
  station.programs[0] = MakeProgram("10:00:00", "10:00:00");
  clock.now_ = 10 * H;
  RunUntil(11 * H);
  EXPECT_EQ(timer.ActiveProgram(), 0);
  EXPECT_FALSE(station.recordOn);

  station.programs[0] = MakeProgram("10:00:00", "12:00:00");
  timer.Step();
  ASSERT_EQ(timer.ActiveProgram(), 1);
  station.programs[0].stopText = "10:00:00";
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 0);
  EXPECT_FALSE(station.recordOn);
}

TEST_F(OperationTimerTest, InvalidTimesNeverStartAndNeverStopAProgram) {
  station.programs[0] = MakeProgram("10:00", "12:00:00");
  clock.now_ = 11 * H;
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 0);

  station.programs[0].startText = "10:00:00";
  timer.Step();
  ASSERT_EQ(timer.ActiveProgram(), 1);
  station.programs[0].stopText = "24:00:00";  // being edited
  clock.now_ = 13 * H;                         // outside the old window
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 1);
  station.programs[0].enabled = false;  // switching it off always stops it
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 0);
}

TEST_F(OperationTimerTest, ProgramOneWinsAndProgramTwoFollowsWhenItEnds) {
  station.programs[0] = MakeProgram("20:00:00", "21:00:00", "/rec/one.wav");
  station.programs[1] = MakeProgram("20:30:00", "22:00:00", "/rec/two.wav");
  clock.now_ = 20 * H + 2400;
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 1);
  EXPECT_EQ(station.basePath, "/rec/one.wav");
  RunUntil(21 * H);
  timer.Step();  // 21:00:00: program 1 ends
  EXPECT_EQ(timer.ActiveProgram(), 0);
  timer.Step();  // the next pass takes program 2
  EXPECT_EQ(timer.ActiveProgram(), 2);
  EXPECT_EQ(station.status, "ACTIVE - Program 2");
  EXPECT_EQ(station.basePath, "/rec/two.wav");
  EXPECT_TRUE(station.recordOn);
}

TEST_F(OperationTimerTest, PowerSaveAboutThreeSecondsAfterTheLastProgramAndLeftWhenOneStarts) {
  station.powerSaverEnable = true;
  station.programs[0] = MakeProgram("01:00:00", "01:00:10");
  clock.now_ = 1 * H;
  timer.Step();
  ASSERT_EQ(timer.ActiveProgram(), 1);
  RunUntil(1 * H + 10);
  timer.Step();  // 01:00:10 ends the program
  ASSERT_FALSE(station.recordOn);
  const int ended = 1 * H + 10;
  while (!station.powerSave && clock.now_ < ended + 60) timer.Step();
  EXPECT_TRUE(station.powerSave);
  EXPECT_EQ(station.status, "Power Saver Mode");
  EXPECT_GE(clock.now_ - ended, 3);
  EXPECT_LE(clock.now_ - ended, 4);

  // The next night the window opens: recording starts and power save ends.
  clock.now_ = 24 * H + 1 * H;
  timer.Step();
  EXPECT_EQ(timer.ActiveProgram(), 1);
  EXPECT_FALSE(station.powerSave);
  EXPECT_TRUE(station.recordOn);
}

TEST_F(OperationTimerTest, WithThePowerSaverOffThereIsNeverPowerSaverMode) {
  station.powerSaverEnable = false;
  station.programs[0] = MakeProgram("03:00:00", "03:00:30");
  clock.now_ = 2 * H + 3590;
  RunUntil(3 * H + 600);
  for (const std::string& shown : station.statuses) EXPECT_NE(shown, "Power Saver Mode");
}

TEST_F(OperationTimerTest, PowerSaveLeftWhenThePowerSaverOrBothProgramsAreSwitchedOff) {
  station.powerSaverEnable = true;
  station.programs[0] = MakeProgram("05:00:00", "06:00:00");
  clock.now_ = 12 * H;
  RunUntil(12 * H + 10);
  ASSERT_TRUE(station.powerSave);
  station.programs[0].enabled = false;
  timer.Step();
  EXPECT_FALSE(station.powerSave);
  EXPECT_EQ(station.status, "IDLE");

  station.programs[0].enabled = true;
  RunUntil(12 * H + 20);
  ASSERT_TRUE(station.powerSave);
  station.powerSaverEnable = false;
  timer.Step();
  EXPECT_FALSE(station.powerSave);
}

TEST_F(OperationTimerTest, NeverSleepsWhileTheUserRecordsOrPlays) {
  station.powerSaverEnable = true;
  station.programs[1] = MakeProgram("05:00:00", "06:00:00");
  station.recordOn = true;  // a manual recording
  clock.now_ = 12 * H;
  RunUntil(12 * H + 30);
  EXPECT_FALSE(station.powerSave);
  EXPECT_TRUE(station.recordOn);

  station.recordOn = false;
  station.playbackOn = true;
  RunUntil(12 * H + 60);
  EXPECT_FALSE(station.powerSave);

  // Already asleep when the user starts a recording by hand: wake up.
  station.playbackOn = false;
  RunUntil(12 * H + 90);
  ASSERT_TRUE(station.powerSave);
  station.recordOn = true;
  timer.Step();
  EXPECT_FALSE(station.powerSave);
  EXPECT_EQ(station.status, "IDLE");
}

}  // namespace
}  // namespace hv
