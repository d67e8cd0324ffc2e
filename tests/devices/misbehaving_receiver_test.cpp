// The whole station against network receivers that misbehave, each a small
// scripted server on its own loopback address (127.0.4.1 .. 127.0.4.3): one
// that hangs up at once, one that stalls, one that floods. Each run checks what
// the station says and how much, what it costs, and that a well-behaved
// receiver is recorded normally afterwards.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "counter_sequence.h"
#include "recording/recording_files.h"
#include "station_child.h"
#include "support/files.h"
#include "support/simulator.h"

namespace hv {
namespace {

using namespace std::chrono_literals;

// CPU seconds (user + system) the process has used so far.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // state .. cmajflt
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class MisbehavingReceiver : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"cfg", "inst", "out"}) std::filesystem::create_directories(dir / folder);
    setenv("HALVANE_INSTANCE_DIR", (dir / "inst").c_str(), 1);
  }
  std::unique_ptr<Child> StartReceiver(const std::string& address, const std::string& mode,
                                       const std::string& seconds = "1.5") {
    // The station must hear this script, not something left listening there.
    EXPECT_FALSE(testutil::SomethingListensOn(address)) << "something already listens on " << address;
    auto r = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/python3", HALVANE_TEST_DIR "/misbehaving_receiver.py", address, mode, seconds},
        dir / ("receiver-" + mode));
    EXPECT_TRUE(r->WaitFor("listening", 5000)) << "the scripted receiver did not start on " << address;
    return r;
  }
  std::unique_ptr<Child> StartStation(const std::string& address, int seconds) {
    return std::make_unique<Child>(
        std::vector<std::string>{HALVANE_BIN, "--headless", "--config", dir / "cfg", "--device", "IP" + address,
                                 "--audio", "null", "--mode", "continuous", "--record", dir / "out/site.wav",
                                 "--run-for", std::to_string(seconds)},
        dir / "station.out", dir / "station.err");
  }
  // After the misbehaving receiver: the simulator on the same address, whose
  // counter signal must be recorded as one unbroken stretch of at least `least`
  // samples once the station has ended.
  void ExpectRecordedFromTheSimulator(Child& station, size_t least) {
    ASSERT_EQ(station.Exit(40), 0);
    std::vector<std::string> files = FilesEndingWith(dir / "out", ".wav");
    ASSERT_FALSE(files.empty()) << testutil::ReadText(station.out);
    size_t longest = 0;
    for (const std::string& f : files) {
      FormatWithAttribute record;
      std::vector<uint16_t> s = WaveSamples(f, &record);
      // The station records from the simulator only: the scripted receivers send zeros.
      size_t start = 0;
      while (start < s.size() && s[start] == 0) ++start;
      uint64_t at = 0;
      if (s.size() - start >= 3 &&
          sim::CounterFind(reinterpret_cast<const int16_t*>(s.data() + start), s.size() - start, &at))
        longest = std::max(longest, s.size() - start);
    }
    EXPECT_GE(longest, least) << testutil::ReadText(station.out);
  }
  std::unique_ptr<Child> StartSim(const std::string& address) {
    std::string error;
    pid_t pid = testutil::StartSimulator(HALVANE_SIM_BIN, address, {"--signal", "counter"}, dir / "sim.out", &error);
    EXPECT_GT(pid, 0) << error;
    return std::make_unique<Child>(pid, dir / "sim.out");
  }

  TempFolder dir;
};

// Accepts and hangs up at once. The station reconnects after growing pauses
// (at once, then 1, 2, 4 s ...), says once that the receiver keeps dropping
// and that it is lost, costs almost nothing, and when a working receiver
// appears it records from it and says the dropping has ended.
TEST_F(MisbehavingReceiver, HangingUpAtOnceBacksOffAndIsSaidOnce) {
  auto receiver = StartReceiver("127.0.4.1", "hangup");
  auto station = StartStation("127.0.4.1", 22);
  std::this_thread::sleep_for(8500ms);  // opens at about 0, 0, 1, 3 and 7 s
  double cpu = CpuSeconds(station->pid);
  size_t connections = receiver->Count("connection ");
  receiver.reset();
  EXPECT_GE(connections, 4u);
  EXPECT_LE(connections, 6u);
  EXPECT_LT(cpu, 2.0) << "CPU seconds in 8.5 s";
  EXPECT_EQ(station->Count("receiver found: HX302RevN"), 1u);
  EXPECT_EQ(station->Count("no receiver"), 1u);
  EXPECT_EQ(station->Count("receiver lost (the receiver closed the connection, before any samples)"), 1u);
  EXPECT_EQ(station->Count("keeps dropping the connection"), 1u);
  EXPECT_LT(testutil::ReadText(station->out).size(), 4000u) << testutil::ReadText(station->out);

  // The next open comes about 15 s in: the simulator is found, and recorded.
  auto sim = StartSim("127.0.4.1");
  ASSERT_TRUE(station->WaitFor("receiver found: HX302RevN", 10000, 1)) << testutil::ReadText(station->out);
  EXPECT_TRUE(station->WaitFor("receiver delivers again after 5 dropped connections", 3000))
      << testutil::ReadText(station->out);
  ExpectRecordedFromTheSimulator(*station, 4 * 250000);
}

// Sends for a second and a half, then nothing, and later connections get
// nothing at all: the loss is reported (the not-found notice) 2 s into the
// silence, the reconnects are said once, and they come at growing pauses.
TEST_F(MisbehavingReceiver, StallIsReportedAsLossAndTheReconnectsAreSaid) {
  auto receiver = StartReceiver("127.0.4.2", "stall", "1.5");
  auto station = StartStation("127.0.4.2", 20);
  ASSERT_TRUE(station->WaitFor("receiver found: HX302RevN", 3000));
  ASSERT_TRUE(station->WaitFor("no receiver", 5000)) << testutil::ReadText(station->out);
  EXPECT_EQ(station->Count("receiver lost (no data for 2 s): reconnecting"), 1u) << testutil::ReadText(station->out);
  // Silent connections: 2 s each, then pauses of 0, 1, 2 s.
  ASSERT_TRUE(station->WaitFor("keeps dropping the connection (no data for 2 s)", 4000))
      << testutil::ReadText(station->out);
  std::this_thread::sleep_for(5s);
  size_t connections = receiver->Count("connection ");
  EXPECT_GE(connections, 3u);
  EXPECT_LE(connections, 5u);
  receiver.reset();
  EXPECT_EQ(station->Count("no receiver"), 1u);
  EXPECT_EQ(station->Count("keeps dropping"), 1u);
  EXPECT_EQ(station->Count("receiver found"), 1u);

  auto sim = StartSim("127.0.4.2");
  ASSERT_TRUE(station->WaitFor("receiver found: HX302RevN", 12000, 1)) << testutil::ReadText(station->out);
  ExpectRecordedFromTheSimulator(*station, 2 * 250000);
}

// Floods faster than the chain can take: the overrun is reported once, its end
// once with the bytes lost, and standard error stays small.
TEST_F(MisbehavingReceiver, FloodIsReportedOncePerStreakWithTheBytesLost) {
  auto receiver = StartReceiver("127.0.4.3", "flood", "4");
  auto station = StartStation("127.0.4.3", 8);
  ASSERT_EQ(station->Exit(30), 0);
  std::string err = testutil::ReadText(station->err);
  size_t streaks = 0;
  for (size_t at = err.find("Conduit1 overrun: "); at != std::string::npos; at = err.find("Conduit1 overrun: ", at + 1))
    ++streaks;
  EXPECT_GE(streaks, 1u) << "the flood was not taken for an overrun";
  EXPECT_LE(streaks, 3u) << err.substr(0, 2000);
  size_t ended = err.find("Conduit1 overrun ended: ");
  ASSERT_NE(ended, std::string::npos) << err.substr(0, 2000);
  EXPECT_GT(std::atoll(err.c_str() + ended + 24), 0) << err.substr(ended, 200);
  EXPECT_LT(err.size(), 4000u) << err.substr(0, 2000);
}

}  // namespace
}  // namespace hv
