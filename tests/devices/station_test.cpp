// The receivers at station level: the simulator as a real network receiver, the
// station as a process (and, for the exact-stream check, the acquisition thread
// in this process). Addresses 127.0.0.9 .. 127.0.0.12 are this file's own.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/worker_routines.h"
#include "child_process.h"
#include "conduit_drain.h"
#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

std::unique_ptr<ChildProcess> StartSim(const std::string& address, std::vector<std::string> extra = {}) {
  std::vector<std::string> argv = {HALVANE_SIM_BIN, "--bind", address};
  argv.insert(argv.end(), extra.begin(), extra.end());
  auto sim = std::make_unique<ChildProcess>(argv);
  EXPECT_GE(sim->WaitFor("listening", 3000), 0) << "the simulator did not start";
  return sim;
}

// The station as a process, in a temporary folder of its own that goes with it.
struct Station {
  Station(const std::string& device, double runFor) {
    std::string pattern = (std::filesystem::temp_directory_path() / "halvane-devices-XXXXXX").string();
    dir = mkdtemp(pattern.data()) ? pattern : "";
    std::filesystem::create_directories(dir + "/instances");
    process = std::make_unique<ChildProcess>(
        std::vector<std::string>{HALVANE_BIN, "--headless", "--config", dir + "/config", "--device", device,
                                 "--run-for", std::to_string(runFor)},
        std::vector<std::string>{"HALVANE_INSTANCE_DIR=" + dir + "/instances"});
  }
  ~Station() {
    process.reset();
    std::filesystem::remove_all(dir);
  }
  ChildProcess* operator->() const { return process.get(); }
  std::string dir;
  std::unique_ptr<ChildProcess> process;
};

TEST(ReceiverStation, Conduit1ReceivesTheExactCounterSequence) {
  auto sim = StartSim("127.0.0.10", {"--signal", "counter", "--fast", "--seconds", "10"});
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

TEST(ReceiverStation, NoReceiverIsReportedOnceAndRetriedEverySecond) {
  Station station("IP127.0.0.12", 3.5);
  int status = -1;
  ASSERT_TRUE(station->Wait(8000, &status));
  EXPECT_EQ(status, 0);
  EXPECT_LE(station->exitedAt() - station->started(), 4500ms) << "--run-for 3.5 ends the run on time";
  EXPECT_EQ(station->CountLines("no receiver"), 1u);
  size_t attempts = station->CountLines("Client: connect() - Failed to connect.");
  EXPECT_GE(attempts, 3u);
  EXPECT_LE(attempts, 5u);
}

TEST(ReceiverStation, LossIsReportedWithinASecondAndReconnectResumes) {
  auto sim = StartSim("127.0.0.11");
  Station station("IP127.0.0.11", 20);
  int found = station->WaitFor("receiver found: HX302RevN", 4000);
  ASSERT_GE(found, 0);
  EXPECT_EQ(station->CountLines("no receiver"), 0u);
  std::this_thread::sleep_for(300ms);
  sim->Kill(SIGKILL);
  auto killed = std::chrono::steady_clock::now();
  ASSERT_TRUE(sim->Wait(2000));
  int lost = station->WaitFor("no receiver", 3000, static_cast<size_t>(found));
  ASSERT_GE(lost, 0);
  auto lostAt = station->Lines()[static_cast<size_t>(lost)].when;
  EXPECT_LT(lostAt - killed, 1s);
  size_t attemptsBefore = station->CountLines("Failed to connect");
  std::this_thread::sleep_for(2500ms);
  size_t retries = station->CountLines("Failed to connect") - attemptsBefore;
  EXPECT_GE(retries, 2u);  // once a second
  EXPECT_LE(retries, 4u);
  EXPECT_EQ(station->CountLines("no receiver"), 1u);  // one line per change
  sim = StartSim("127.0.0.11");
  EXPECT_GE(station->WaitFor("receiver found: HX302RevN", 3000, static_cast<size_t>(lost)), 0);
  EXPECT_GE(sim->WaitFor("client connected", 1000), 0);
  station->Kill(SIGTERM);
  int status = -1;
  ASSERT_TRUE(station->Wait(3000, &status));
  EXPECT_EQ(status, 0);
}

TEST(ReceiverStation, SimulatorRefusesATakenAddressAndStopsOnSignal) {
  auto first = StartSim("127.0.0.9");
  ChildProcess second({HALVANE_SIM_BIN, "--bind", "127.0.0.9"});
  int status = -1;
  ASSERT_TRUE(second.Wait(3000, &status));
  EXPECT_EQ(status, 1);
  first->Kill(SIGTERM);
  ASSERT_TRUE(first->Wait(2000, &status));
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace hv
