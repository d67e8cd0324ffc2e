// Conduit1 changes hands between the acquisition thread (fed by a simulated
// receiver) and the playback thread, and back, over play/stop cycles.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "devices/ezusb_driver.h"
#include "playback/playback_state.h"
#include "replay_harness.h"
#include "testing/ezusb_sim_driver.h"

namespace hv::test {
namespace {

constexpr uint32_t kFileRate = 50000;  // the receiver streams at 250000

// True once the stream in force is `fromFile`'s (or the receiver's) and more
// than `bytes` of it arrived.
bool StreamArrived(ReplayRig& rig, bool fromFile, uint64_t bytes = 8192) {
  return WaitFor([&] {
    auto a = rig.Announcements();
    return !a.empty() && (a.back().rate == kFileRate) == fromFile && a.back().bytes > bytes;
  }, 5);
}

// Each cycle: the receiver streams, the playback mode goes on and the file
// plays, the mode goes off and the receiver streams again. Every write and
// announcement made while the other thread held the writer's turn would be
// counted by the conduit; none is, and each side's stream arrives in turn.
TEST(Conduit1HandOver, ReceiverAndReplayNeverWriteAtOnceOverPlayStopCycles) {
  auto driver = std::make_unique<SimEzusbDriver>();
  // A slow receiver: its thread spends most of its time waiting for a block
  // while it holds the turn, so a replay that did not wait for the turn would
  // write beside it.
  driver->paceMicros.store(60000);
  SimEzusbDevice receiver;
  receiver.strings = {"MRW", "HQ302RevA"};
  receiver.source = [](uint8_t* b, int n) { std::memset(b, 0x55, n); };
  driver->Add(receiver);
  SetEzusbDriver(std::move(driver));
  g_powerSave.store(false);
  g_deviceName.Set("Ezusb-0");
  std::string path = WriteWav("handover_cycles.wav", {.rate = kFileRate, .data = CountingSamples(400000)});

  ReplayRig rig(4.0);  // turns the playback mode on and runs the playback thread and a reader
  PlaybackModeOff();
  ASSERT_TRUE(WaitFor([] { return !g_playbackActive.load(); }, 1));
  ThreadRecord* acquisition = StartThread(AcquisitionThread, kPriorityNormal, "acq-handover");

  for (int cycle = 0; cycle < 6; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(StreamArrived(rig, false, 2048)) << "the receiver's stream did not come back";
    PlaybackModeOn();
    rig.Play(path);
    ASSERT_TRUE(StreamArrived(rig, true)) << "the replay did not get conduit1";
    PlaybackModeOff();
    ASSERT_TRUE(WaitFor([] { return !g_playbackActive.load(); }, 1));
    ASSERT_EQ(conduit1.WriterCollisions(), 0u);
  }
  ASSERT_TRUE(StreamArrived(rig, false, 2048));
  EXPECT_EQ(conduit1.WriterCollisions(), 0u);

  g_run.store(false);
  ReleaseThread(acquisition);
  SetEzusbDriver(nullptr);
}

}  // namespace
}  // namespace hv::test
