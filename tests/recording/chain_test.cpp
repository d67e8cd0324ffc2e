// Recordings made through the station's own threads (acquisition on the
// simulated EZ-USB driver, conditioning, playback, stream recording): each file
// carries the format, channels and device of the stream it holds, sample-exact,
// when Record is on before the receiver is found and when the stream changes
// during a Continuous recording.
#include <chrono>
#include <thread>

#include "core/le_bytes.h"
#include "core/worker_routines.h"
#include "counter_sequence.h"
#include "devices/conduit_drain.h"
#include "formats/wavpack_file.h"
#include "playback/playback_state.h"
#include "recording/record_control.h"
#include "recording/recorder_fixture.h"
#include "testing/ezusb_sim_driver.h"

namespace hv {
namespace {

using namespace std::chrono_literals;

class RecordingChain : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    g_settings.MenuPrefilter.store(0);  // natural response: the stream reaches the file unchanged
    g_settings.AudioOn.store(false);
    g_traceShown.store(false);
    g_powerSave.store(false);
    g_productText.Set("");
    ResetChain();
  }
  // Fresh conduits, a fresh simulated driver with no receiver, the run flag up.
  void ResetChain() {
    struct Setup { Conduit* c; uint32_t rate; uint16_t block, bits; uint32_t capacity; };
    const Setup setups[] = {{&conduit1, 250000, 2, 16, 5000000}, {&conduit2, 44100, 4, 32, 176400},
                            {&conduit3, 44100, 2, 16, 88200},    {&conduit4, 250000, 4, 32, 1000000},
                            {&conduit5, 250000, 4, 32, 1000000}};
    for (int i = 0; i < 5; ++i) {
      g_conduitFormat[i] = MakeWaveFormat(setups[i].rate, 1, setups[i].block, setups[i].bits);
      setups[i].c->Create(setups[i].capacity, &g_conduitFormat[i]);
    }
    auto driver = std::make_unique<SimEzusbDriver>();
    ez_ = driver.get();
    SetEzusbDriver(std::move(driver));
    g_deviceName.Set("Ezusb-0");
    g_run.store(true);
  }
  void TearDown() override {
    StopThreads();
    SetEzusbDriver(nullptr);
    RecorderTest::TearDown();
  }
  void StopThreads() {
    g_run.store(false);
    for (Conduit* c : {&conduit1, &conduit3, &conduit5}) c->Wake();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }
  void StartThreads(bool playback = false) {
    threads_.emplace_back([] { AcquisitionThread(nullptr); });
    threads_.emplace_back([] { ConditioningThread(nullptr); });
    threads_.emplace_back([] { StreamRecordingThread(nullptr); });
    if (playback) threads_.emplace_back([] { PlaybackThread(nullptr); });
    // The spectrum thread's part: conduit5 drained.
    threads_.emplace_back([] {
      static uint8_t sink[1 << 16];
      while (IsRunning()) {
        uint32_t got = 0;
        if (conduit5.Read(4096, sink, &got) == kStatusNotInitialized) conduit5.TakeFormat();
        else if (got == 0) conduit5.WaitReadable(20, 4096);
      }
    });
  }
  // A receiver sending the counter sequence from its first sample, at its
  // stream's rate on the real clock (as fast as a receiver, not faster).
  void AddReceiver(const char* product, uint32_t rate, uint16_t channels) {
    ez_->Add({.strings = {"MRW", product},
              .source = [this](uint8_t* b, int n) { counter_.Fill(b, n); },
              .bytesPerSecond = rate * 2 * channels});
  }
  static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  static bool RecorderIn(int state) { return g_streamRecorderState.load() == state; }
  void StopRecording() {
    g_recordOn.store(false);
    EXPECT_TRUE(WaitUntil([] { return RecorderIn(kStreamIdle); }, 5000ms));
  }
  // Where a file's samples stand in the counter sequence; -1 when they are not one unbroken run.
  static int64_t CounterStart(const std::vector<uint16_t>& s) {
    uint64_t at = 0;
    if (s.size() < 3 || !sim::CounterFind(reinterpret_cast<const int16_t*>(s.data()), s.size(), &at)) return -1;
    return int64_t(at);
  }

  SimEzusbDriver* ez_ = nullptr;
  test::CounterBytes counter_;
  std::vector<std::thread> threads_;
};

struct Receiver {
  const char* product;
  uint32_t rate;
  uint16_t channels;
  int foundAfterMs;  // the receiver appears this long after Record went on
};

TEST_F(RecordingChain, EachReceiverRecordsItsOwnFormatFromItsFirstSample) {
  for (const Receiver c : {Receiver{"HX306", 500000, 1, 0}, Receiver{"HQ302", 250000, 4, 0},
                           Receiver{"HX306", 500000, 1, 2500}}) {
    SCOPED_TRACE(std::string(c.product) + " after " + std::to_string(c.foundAfterMs) + " ms");
    ResetChain();
    counter_.next.store(0);
    g_recordOn.store(true);  // as --record or an active timer program does at start
    if (c.foundAfterMs == 0) AddReceiver(c.product, c.rate, c.channels);
    StartThreads();
    if (c.foundAfterMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.foundAfterMs));
      EXPECT_TRUE(Files("wav").empty()) << "no file before the stream";
      AddReceiver(c.product, c.rate, c.channels);
    }
    ASSERT_TRUE(WaitUntil([] { return RecorderIn(kStreamRecording); }, 5000ms));
    std::this_thread::sleep_for(1000ms);
    StopRecording();
    StopThreads();

    std::vector<std::string> files = Files(".wav");
    // A second open is a receiver the station took for lost (no block within 100 ms).
    ASSERT_EQ(files.size(), 1u) << "receiver opened " << ez_->opens.load() << " times";
    FormatWithAttribute rec;
    std::vector<uint16_t> s = WaveSamples(files[0], &rec);
    EXPECT_EQ(CounterStart(s), 0) << "every sample from the receiver's first";
    EXPECT_GT(s.size(), size_t(c.rate / 4));
    EXPECT_EQ(s.size() % c.channels, 0u);
    EXPECT_EQ(std::tuple(rec.format.channels, rec.format.sampleRate, rec.format.blockAlign),
              std::tuple(c.channels, c.rate / 10, uint16_t(2 * c.channels)));
    AttributeParts a = ParseAttribute(rec.AttributeText());
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(std::tuple(a.r, a.k, Field(a.body, "DEV")), std::tuple(int64_t(c.rate / 10), int64_t(c.rate / 1000),
                                                                      std::optional<std::string>(c.product)));
    std::filesystem::remove(files[0]);
  }
}

// A 500 kHz file played during a 250 kHz Continuous recording: the live part
// before it, the replay and the live part after it are three files, each with
// its own rate and device, and the replay's file holds the played samples exactly.
TEST_F(RecordingChain, PlayedFileDuringAContinuousRecordingGetsItsOwnFile) {
  std::vector<uint8_t> played(2 * 200000);
  for (size_t i = 0; i < played.size() / 2; ++i) PutLe16(&played[2 * i], uint16_t(i * 7));
  const std::string attribute =
      "MMMMMMMMM(#50000#)<&10&>[!500!]DEV=Unit 7,DC=Off,UTC=2024:01:31::23:59:59.250,LTB=   0,CMT=<x>MMMMMMMMM ";
  const std::string path = dir / "played.wv";
  ASSERT_TRUE(WriteRecording<WavPackFile>(path, MakeRecord(50000, attribute), played));

  AddReceiver("HX302", 250000, 1);
  g_recordOn.store(true);
  StartThreads(true);
  ASSERT_TRUE(WaitUntil([] { return RecorderIn(kStreamRecording); }, 5000ms));
  std::this_thread::sleep_for(700ms);
  PlaybackModeOn();
  g_playback.filePath.Set(path);
  g_playback.command.store(kPlaybackPlay);
  ASSERT_TRUE(WaitUntil([] { return g_playback.command.load() == kPlaybackStop; }, 5000ms));  // played to its end
  std::this_thread::sleep_for(200ms);
  PlaybackModeOff();
  std::this_thread::sleep_for(700ms);
  StopRecording();
  StopThreads();
  EXPECT_EQ(conduit1.WriterCollisions(), 0u) << "receiver and replay wrote conduit1 at once";

  // Sorted by name: the replay's file carries the played file's time (2024).
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 3u) << ::testing::PrintToString(files);
  // The name is the stream time when the recorder meets the change, which a
  // loaded machine can put some hundreds of milliseconds after 23:59:59.250.
  EXPECT_NE(files[0].find("site_D2024"), std::string::npos) << files[0];
  FormatWithAttribute r;
  std::vector<uint16_t> replayed = WaveSamples(files[0], &r);
  ASSERT_EQ(replayed.size() * 2, played.size());
  EXPECT_TRUE(std::equal(replayed.begin(), replayed.end(), reinterpret_cast<const uint16_t*>(played.data())));
  EXPECT_EQ(r.format.sampleRate, 50000u);
  AttributeParts a = ParseAttribute(r.AttributeText());
  EXPECT_EQ(std::tuple(a.k, Field(a.body, "DEV")), std::tuple(int64_t(500), std::optional<std::string>("Unit 7")));
  // The live files before and after, at 250 kHz from the receiver.
  for (int i = 1; i < 3; ++i) {
    std::vector<uint16_t> live = WaveSamples(files[i], &r);
    EXPECT_GE(CounterStart(live), 0) << files[i];
    EXPECT_GT(live.size(), 50000u);
    EXPECT_EQ(r.format.sampleRate, 25000u);
    AttributeParts b = ParseAttribute(r.AttributeText());
    EXPECT_EQ(std::tuple(b.k, Field(b.body, "DEV")), std::tuple(int64_t(250), std::optional<std::string>("HX302")));
  }
}

}  // namespace
}  // namespace hv
