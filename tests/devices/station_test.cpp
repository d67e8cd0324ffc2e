// The receivers at station level: the simulator as a real network receiver, the
// station as a process (and, for the exact-stream check, the acquisition thread
// in this process). Addresses 127.0.0.9 .. 127.0.0.11 are this file's own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

#include "conduit_drain.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "station_child.h"
#include "support/files.h"
#include "support/process.h"
#include "support/simulator.h"

namespace hv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The simulator on `address`, listening; null (with the reason reported as a
// failure) when it cannot be the one the station hears.
std::unique_ptr<Child> StartSim(const TempFolder& dir, const std::string& address,
                                std::vector<std::string> extra = {}) {
  static int started = 0;
  const std::string out = dir / ("sim" + std::to_string(started++));
  std::string error;
  pid_t pid = testutil::StartSimulator(HALVANE_SIM_BIN, address, extra, out, &error);
  EXPECT_GT(pid, 0) << error;
  return pid > 0 ? std::make_unique<Child>(pid, out) : nullptr;
}

TEST(ReceiverStation, Conduit1ReceivesTheExactCounterSequence) {
  TempFolder dir;
  auto sim = StartSim(dir, "127.0.0.10", {"--signal", "counter", "--fast", "--seconds", "10"});
  ASSERT_TRUE(sim);
  g_run.store(true);
  g_powerSave.store(false);
  g_playbackActive.store(false);
  g_conduitFormat[0] = MakeWaveFormat(250000, 1, 2, 16);
  conduit1.Create(5000000, &g_conduitFormat[0]);
  g_deviceName.Set("IP127.0.0.10");
  ThreadRecord* thread = StartThread(AcquisitionThread, kPriorityNormal, "acq-station");
  test::Drained drained;
  const size_t kWanted = 10 * 250000;
  auto end = std::chrono::steady_clock::now() + 40s;
  while (drained.samples.size() < kWanted && std::chrono::steady_clock::now() < end) {
    conduit1.WaitReadable(20);
    test::DrainConduit(conduit1, drained);
  }
  g_run.store(false);
  ReleaseThread(thread);
  ASSERT_GE(drained.samples.size(), kWanted);
  ASSERT_FALSE(drained.formatAt.empty());
  EXPECT_EQ(drained.formatAt[0], 0u);
  EXPECT_EQ(drained.formats[0], MakeWaveFormat(250000, 1, 2, 16));
  EXPECT_EQ(g_productText.Get(), "HX302RevN");
  EXPECT_EQ(g_manufacturerText.Get(), "MRW");
  size_t mismatches = 0, first = 0;
  for (size_t i = 0; i < kWanted; ++i)
    if (drained.samples[i] != sim::CounterSample(i) && mismatches++ == 0) first = i;
  EXPECT_EQ(mismatches, 0u) << "first mismatch at sample " << first;
}

// Without a receiver, and again after losing one: one status line per change
// (the loss within a second of it) and a connection attempt every second.
// (That --run-for ends the run on time is the lifecycle script's.)
TEST(ReceiverStation, NoReceiverAndLossAreReportedOnceRetriedEverySecondAndReconnectResumes) {
  TempFolder dir;
  std::filesystem::create_directories(dir / "instances");
  setenv("HALVANE_INSTANCE_DIR", (dir / "instances").c_str(), 1);
  Child station({HALVANE_BIN, "--headless", "--config", dir / "config", "--device", "IP127.0.0.11", "--run-for", "30"},
                dir / "station.out");
  auto expectRetriesEverySecond = [&] {
    size_t before = station.Count("Failed to connect");
    std::this_thread::sleep_for(2500ms);
    size_t retries = station.Count("Failed to connect") - before;
    EXPECT_GE(retries, 2u);
    EXPECT_LE(retries, 4u);
  };
  ASSERT_TRUE(station.WaitFor("no receiver", 3000));
  expectRetriesEverySecond();
  EXPECT_EQ(station.Count("no receiver"), 1u);
  auto sim = StartSim(dir, "127.0.0.11");
  ASSERT_TRUE(sim);
  ASSERT_TRUE(station.WaitFor("receiver found: HX302RevN", 3000));
  std::this_thread::sleep_for(300ms);
  auto killed = Clock::now();
  sim.reset();  // SIGKILL
  ASSERT_TRUE(station.WaitFor("no receiver", 3000, 1));
  EXPECT_LT(Clock::now() - killed, 1s);
  expectRetriesEverySecond();
  EXPECT_EQ(station.Count("no receiver"), 2u);
  sim = StartSim(dir, "127.0.0.11");
  ASSERT_TRUE(sim);
  EXPECT_TRUE(station.WaitFor("receiver found: HX302RevN", 3000, 1));
  EXPECT_TRUE(sim->WaitFor("client connected", 1000));
  kill(station.pid, SIGTERM);
  EXPECT_EQ(station.Exit(3), 0);
}

TEST(ReceiverStation, SimulatorRefusesATakenAddressAndStopsOnSignal) {
  TempFolder dir;
  auto first = StartSim(dir, "127.0.0.9");
  ASSERT_TRUE(first);
  EXPECT_EQ(Child({HALVANE_SIM_BIN, "--bind", "127.0.0.9"}, dir / "second").Exit(3), 1);
  // A test never starts its station against a simulator it did not start.
  std::string error;
  EXPECT_EQ(testutil::StartSimulator(HALVANE_SIM_BIN, "127.0.0.9", {}, dir / "third", &error, 3), -1);
  EXPECT_NE(error.find("already listens on 127.0.0.9 port 5041"), std::string::npos) << error;
  kill(first->pid, SIGTERM);
  EXPECT_EQ(first->Exit(2), 0);
}

}  // namespace
}  // namespace hv
