// Station changes: an idle thread's wait ends on the change itself (a switch,
// the run flag, a quit request), also when the change came just before the
// wait began; nothing but a real change wakes it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "core/conduit.h"
#include "core/lifecycle.h"
#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {
namespace {

using Clock = std::chrono::steady_clock;
// Every wait below is bounded at 5 s; a wake-up that works ends it far sooner.
constexpr auto kPrompt = std::chrono::milliseconds(2500);
constexpr double kBound = 5.0;

// Runs `change` on another thread after a short pause and returns how long
// `wait` took.
template <typename Wait, typename Change>
Clock::duration Timed(Wait wait, Change change) {
  auto start = Clock::now();
  std::thread t([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    change();
  });
  wait();
  t.join();
  return Clock::now() - start;
}

struct RunFlagUp {
  RunFlagUp() { g_run = true; }
  ~RunFlagUp() { g_run = true; }
};

TEST(StationChange, EachSwitchAndTheRunFlagEndAnIdleWaitByThemselves) {
  RunFlagUp up;
  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"Record on", [] { g_recordOn = true; }},
      {"Record off", [] { g_recordOn.store(false, std::memory_order_relaxed); }},
      {"power saver", [] { g_powerSave.exchange(true); }},
      {"playback mode", [] { g_playbackActive = true; }},
      {"explicit notice", [] { NotifyStationChange(); }},
      {"run flag", [] { g_run.store(false, std::memory_order_relaxed); }},
  };
  g_recordOn = false;
  g_powerSave = false;
  g_playbackActive = false;
  for (const Case& c : cases) {
    const uint64_t seen = StationChangeCount();
    bool changed = false;
    auto took = Timed([&] { changed = WaitForStationChange(seen, kBound); }, c.change);
    EXPECT_TRUE(changed) << c.name;
    EXPECT_LT(took, kPrompt) << c.name;
  }
  g_run = true;
  g_powerSave = false;
  g_playbackActive = false;
}

TEST(StationChange, StoringTheSameValueIsNoChange) {
  RunFlagUp up;
  g_recordOn = false;
  const uint64_t before = StationChangeCount();
  g_recordOn = false;
  g_recordOn.store(false);
  EXPECT_FALSE(g_recordOn.exchange(false));
  EXPECT_EQ(StationChangeCount(), before);
  g_recordOn = true;
  EXPECT_EQ(StationChangeCount(), before + 1);
  g_recordOn = false;
  // Nothing changes: the wait runs to its bound and says so.
  EXPECT_FALSE(WaitForStationChange(StationChangeCount(), 0.05));
}

TEST(StationChange, AChangeMadeBeforeTheWaitIsNotSleptThrough) {
  RunFlagUp up;
  // The thread looked at its switches (count read), then the switch changed,
  // then it went to sleep: the wait must end at once.
  const uint64_t seen = StationChangeCount();
  g_recordOn = !g_recordOn.load();
  auto start = Clock::now();
  EXPECT_TRUE(WaitForStationChange(seen, kBound));
  EXPECT_LT(Clock::now() - start, kPrompt);
  g_recordOn = false;
}

TEST(StationChange, ConduitReadersWakeForAChangeAndForAWakeMadeWhileBusy) {
  RunFlagUp up;
  WaveFormat f = MakeWaveFormat(1000, 1, 2, 16);
  Conduit c;
  ASSERT_EQ(c.Create(4096, &f), kStatusOk);
  // An idle reader waiting for data wakes for a switch change.
  EXPECT_LT(Timed([&] { c.WaitReadable(5000, 1024); }, [] { g_recordOn = !g_recordOn.load(); }), kPrompt);
  // Woken while busy (between two waits): the next wait returns at once, once.
  c.Wake();
  auto start = Clock::now();
  c.WaitReadable(5000, 1024);
  EXPECT_LT(Clock::now() - start, kPrompt);
  start = Clock::now();
  c.WaitReadable(100, 1024);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(90));
  // The run flag's fall ends the wait too.
  EXPECT_LT(Timed([&] { c.WaitReadable(5000, 1024); }, [] { g_run = false; }), kPrompt);
  g_recordOn = false;
}

TEST(StationChange, SleepWhileRunningEndsWhenTheRunFlagFallsAndOnlyThen) {
  RunFlagUp up;
  // Other changes do not cut a pause short.
  auto start = Clock::now();
  std::thread t([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    NotifyStationChange();
  });
  EXPECT_TRUE(SleepWhileRunning(0.2));
  t.join();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
  bool finished = true;
  EXPECT_LT(Timed([&] { finished = SleepWhileRunning(kBound); }, [] { g_run = false; }), kPrompt);
  EXPECT_FALSE(finished);
}

TEST(StationChange, TheSoundEventWakesWhenTheRunFlagFalls) {
  RunFlagUp up;
  g_soundEvent.Reset();
  bool fired = false;
  EXPECT_LT(Timed([&] { fired = g_soundEvent.Wait(5000); }, [] { g_run = false; }), kPrompt);
  EXPECT_TRUE(fired);
  g_run = true;
  // A switch change is no sound notification.
  g_recordOn = !g_recordOn.load();
  EXPECT_FALSE(g_soundEvent.Wait(20));
  g_recordOn = false;
}

std::atomic<int> s_woken{0};
void CountWake() { s_woken.fetch_add(1); }
void QuitOnSignal(int) { RequestQuit(); }

TEST(StationChange, AQuitRequestWakesTheLoopAlsoFromASignalHandler) {
  AddQuitWaker(CountWake);
  for (bool fromSignal : {false, true}) {
    ClearQuitRequest();
    const int before = s_woken.load();
    if (fromSignal) {
      struct sigaction sa {}, old {};
      sa.sa_handler = QuitOnSignal;
      sigemptyset(&sa.sa_mask);
      sigaction(SIGUSR1, &sa, &old);
      raise(SIGUSR1);
      sigaction(SIGUSR1, &old, nullptr);
    } else {
      RequestQuit();
    }
    auto deadline = Clock::now() + kPrompt;
    while (s_woken.load() == before && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(s_woken.load(), before) << (fromSignal ? "signal" : "call");
    EXPECT_TRUE(QuitRequested());
  }
  ClearQuitRequest();
}

}  // namespace
}  // namespace hv
