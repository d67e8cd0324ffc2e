#include "recording/stream_recorder.h"

#include <cstring>
#include <fstream>
#include <thread>

#include "core/file_ops.h"
#include "core/le_bytes.h"
#include "recording/record_control.h"
#include "recording/recorder_fixture.h"
#include "recording/tdelay.h"
#include "support/process.h"

namespace hv {
namespace {

TEST(TDelay, ProcessDelaysByTheLineLength) {
  TDelay d;
  uint8_t bytes[512];
  std::memset(bytes, 7, sizeof bytes);
  EXPECT_TRUE(d.Process(bytes, 511));  // no storage: untouched, valid
  EXPECT_EQ(bytes[0], 7);
  d.SetFormat(MakeWaveFormat(1000, 1, 2, 16));
  ASSERT_TRUE(d.SetDelay(0.5f));  // 500 frames, 1000 bytes
  EXPECT_EQ(d.Length(), 1000u);
  EXPECT_FALSE(d.Process(bytes, 511));  // not whole blocks
  EXPECT_EQ(bytes[0], 7);
  EXPECT_FALSE(d.DelayChanged(0.5f));
  EXPECT_TRUE(d.FormatChanged(MakeWaveFormat(2000, 1, 2, 16)));

  // A counter through the line comes out 1000 bytes later.
  uint32_t g = 0;
  std::vector<bool> valid;
  for (int round = 0; round < 6; ++round) {
    uint8_t chunk[400];
    for (int i = 0; i < 400; ++i) chunk[i] = uint8_t(g + i);
    bool ok = d.Process(chunk, sizeof chunk);
    valid.push_back(ok);
    if (ok) {
      for (int i = 0; i < 400; ++i) ASSERT_EQ(chunk[i], uint8_t(g + i - 1000));
    }
    g += 400;
  }
  // Filled during the third call: the first call that fills it says false, the next true.
  EXPECT_EQ(valid, (std::vector<bool>{false, false, false, true, true, true}));
}

class StreamRecorderTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    format_ = MakeWaveFormat(44100, 1, 2, 16);  // the recording conduit's creation format
    conduit_.Create(88200, &format_);
  }
  // The writer's announcement of the stream it writes from now on.
  void Announce(uint32_t rate, uint16_t channels = 1) {
    ASSERT_TRUE(conduit_.TryAnnounceFormat(MakeWaveFormat(rate, channels, uint16_t(2 * channels), 16)));
    block_ = 2 * channels;
  }
  // Writes counter samples as space allows and runs the recorder until it
  // waits for data; `rounds` times.
  void Pump(StreamRecorder& r, int rounds) {
    for (int i = 0; i < rounds; ++i) {
      int64_t space = 0;
      conduit_.Space(&space);
      uint32_t n = uint32_t(std::min<int64_t>(space, 8192));
      n -= n % block_;
      std::vector<uint8_t> b(n);
      for (uint32_t k = 0; k < n; k += 2, ++next_) b[k] = uint8_t(next_), b[k + 1] = uint8_t(next_ >> 8);
      uint32_t accepted = 0;
      conduit_.Write(n, b.data(), &accepted);
      ASSERT_EQ(accepted, n);
      Settle(r);
    }
  }
  // Runs the recorder until it has read what it can.
  static void Settle(StreamRecorder& r) {
    for (int idle = 0; idle < 2;) idle = r.Pass() ? 0 : idle + 1;
  }
  // The samples of a finished recording (WAV or WavPack) with its record.
  static std::vector<uint16_t> Samples(const std::string& path, FormatWithAttribute* rec) {
    std::vector<uint8_t> bytes;
    if (!ReadRecording<WaveFile>(path, rec, &bytes)) EXPECT_TRUE(ReadRecording<WavPackFile>(path, rec, &bytes)) << path;
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(uint16_t(bytes[i] | bytes[i + 1] << 8));
    return out;
  }
  WaveFormat format_;
  Conduit conduit_;
  uint16_t next_ = 0;
  uint32_t block_ = 2;
};

TEST_F(StreamRecorderTest, ContinuousRecordingIsFinishedWithItsAttribute) {
  g_settings.MenuPrefilter.store(true);
  StreamRecorder r(&conduit_);
  Announce(250000);
  Pump(r, 3);
  g_recordOn.store(true);
  Pump(r, 40);
  EXPECT_EQ(r.State(), kStreamRecording);
  EXPECT_EQ(StatusLine(), "Status : RECORDING");
  EXPECT_EQ(FileLine(), "site.wav");
  EXPECT_EQ(Files(".tmp_wav").size(), 1u);
  g_recordOn.store(false);
  Pump(r, 2);
  EXPECT_EQ(r.State(), kStreamIdle);
  EXPECT_EQ(StatusLine(), "Status : Stopped...");
  EXPECT_TRUE(Files(".tmp_wav").empty());
  ASSERT_EQ(Files(".wav").size(), 1u);

  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  EXPECT_GT(s.size(), 100000u);
  EXPECT_TRUE(Unbroken(s));
  EXPECT_EQ(std::tuple(rec.format.sampleRate, rec.format.avgBytesPerSec), std::tuple(25000u, 50000u));
  AttributeParts a = ParseAttribute(rec.AttributeText());
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(std::tuple(a.r, a.e, a.k), std::tuple(25000, 10, 250));
  EXPECT_EQ(std::tuple(Field(a.body, "DEV"), Field(a.body, "DC"), Field(a.body, "CMT"), Field(a.body, "GPS")),
            std::tuple("HX302", "On", "a,b", std::nullopt));
}

// A Buffered Snap holds exactly the duration before its mark (placed when the recorder saw Record on,
// at most one pump of 4096 samples later) and turns Record off, also across a format change.
TEST_F(StreamRecorderTest, BufferedSnapHoldsExactlyTheDurationBeforeItsMark) {
  g_settings.MenuRecordMode.store(kModeBufferedSnap);
  struct Case { uint32_t ms; int fill; bool change; };
  for (const Case c : {Case{2500, 200, false}, Case{500, 40, true}}) {
    SCOPED_TRACE(c.ms);
    conduit_.Create(88200, &format_);
    next_ = 0;
    g_settings.SnapDurationMS.store(int(c.ms));
    StreamRecorder r(&conduit_);
    Announce(250000);
    Pump(r, c.fill);  // more than the duration fills the delay line
    const uint16_t atRecord = next_;
    g_recordOn.store(true);
    if (c.change) Pump(r, 3), Announce(500000);
    for (int i = 0; i < (c.change ? 3 : 400) && g_recordOn.load(); ++i) Pump(r, 1);
    EXPECT_FALSE(g_recordOn.load());  // turned off by itself
    Pump(r, 2);
    EXPECT_EQ(StatusLine(), "Status : Stopped...");
    ASSERT_EQ(Files(".wav").size(), 1u);
    FormatWithAttribute rec;
    std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
    EXPECT_EQ(s.size() * 2, c.ms * 500);
    EXPECT_TRUE(Unbroken(s));
    EXPECT_LE(uint16_t(s.back() + 1 - atRecord), 4096u);
    EXPECT_EQ(rec.format.sampleRate, 25000u);
    std::filesystem::remove(Files(".wav")[0]);
  }
}

TEST_F(StreamRecorderTest, AudioModeHasNoAttribute) {
  g_settings.MenuRecordMode.store(kModeAudio);
  StreamRecorder r(&conduit_);
  Announce(44100);  // the tuned audio the conditioning thread writes in this mode
  g_recordOn.store(true);
  Pump(r, 5);
  g_recordOn.store(false);
  Pump(r, 2);
  ASSERT_EQ(Files(".wav").size(), 1u);
  std::vector<uint8_t> bytes = ReadAllBytes(Files(".wav")[0]);
  EXPECT_EQ(Le32At(bytes, 16), 16u);
  EXPECT_EQ(Le32At(bytes, 24), 44100u);
}

// Record on before the receiver is known: the file opens with the first samples, in their announced format.
TEST_F(StreamRecorderTest, RecordingWaitsForTheStreamAndCarriesItsFormat) {
  struct Case { uint32_t rate; uint16_t channels; const char* device; };
  for (const Case c : {Case{500000, 1, "HX306"}, Case{250000, 4, "HQ302"}, Case{44100, 2, "Unit 7"}}) {
    SCOPED_TRACE(c.device);
    for (const std::string& f : Files(".wav")) std::filesystem::remove(f);
    conduit_.Create(88200, &format_);
    next_ = 0;
    block_ = 2;
    g_productText.Set("");
    StreamRecorder r(&conduit_);
    g_recordOn.store(true);
    for (int i = 0; i < 5; ++i) r.Pass();
    EXPECT_EQ(r.State(), kStreamOpening);
    EXPECT_TRUE(Files("wav").empty());

    g_productText.Set(c.device);  // identified before its stream starts
    Announce(c.rate, c.channels);
    Pump(r, 30);
    g_recordOn.store(false);
    Settle(r);
    ASSERT_EQ(Files(".wav").size(), 1u);
    FormatWithAttribute rec;
    std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), 0u) << "from the first sample";
    EXPECT_TRUE(Unbroken(s));
    EXPECT_EQ(s.size() % c.channels, 0u);
    const uint32_t header = c.rate / 10;
    EXPECT_EQ(std::tuple(rec.format.channels, rec.format.sampleRate, rec.format.blockAlign, rec.format.avgBytesPerSec),
              std::tuple(c.channels, header, uint16_t(2 * c.channels), header * 2 * c.channels));
    AttributeParts a = ParseAttribute(rec.AttributeText());
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(std::tuple(a.r, a.e, a.k), std::tuple(int64_t(header), 10, int64_t(c.rate / 1000)));
    EXPECT_EQ(Field(a.body, "DEV"), c.device);
    EXPECT_TRUE(GuanoHas(Files(".wav")[0], {"Samplerate: " + std::to_string(c.rate) + "\n",
                                            std::string("Model: ") + c.device + "\n"}));
  }
}

// A format change in Continuous mode ends the file before the change and goes on in a new one, each
// with its own format and device.
TEST_F(StreamRecorderTest, FormatChangeFinishesTheFileAndGoesOnInANewOne) {
  for (int wavPack : {0, 1}) {
    SCOPED_TRACE(wavPack);
    const std::string ext = wavPack ? ".wv" : ".wav";
    g_settings.OutputFileFormat.store(wavPack);
    conduit_.Create(88200, &format_);
    next_ = 0;
    g_productText.Set("HX302");
    StreamRecorder r(&conduit_);
    Announce(250000);
    g_recordOn.store(true);
    Settle(r);  // the mark at the start of the stream
    Pump(r, 10);
    const uint16_t change = next_;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the next file's name is a later one
    g_productText.Set("HX306");
    Announce(500000);
    Pump(r, 10);
    EXPECT_EQ(r.State(), kStreamRecording);
    const uint16_t atOff = next_;
    g_recordOn.store(false);
    Settle(r);
    std::vector<std::string> files = Files(ext);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(Files(".tmp_" + ext.substr(1)).empty());
    FormatWithAttribute first, second;
    std::vector<uint16_t> a = Samples(files[0], &first), b = Samples(files[1], &second);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(a.front(), 0u);
    EXPECT_EQ(a.back(), uint16_t(change - 1));
    EXPECT_EQ(b.front(), change);
    EXPECT_GE(uint16_t(b.back() + 1 - change), uint16_t(atOff - change));
    std::vector<uint16_t> all = a;
    all.insert(all.end(), b.begin(), b.end());
    EXPECT_TRUE(Unbroken(all));
    EXPECT_EQ(std::tuple(first.format.sampleRate, second.format.sampleRate), std::tuple(25000u, 50000u));
    AttributeParts pa = ParseAttribute(first.AttributeText()), pb = ParseAttribute(second.AttributeText());
    EXPECT_EQ(std::tuple(pa.k, Field(pa.body, "DEV")), std::tuple(int64_t(250), "HX302"));
    EXPECT_EQ(std::tuple(pb.k, Field(pb.body, "DEV")), std::tuple(int64_t(500), "HX306"));
    for (const std::string& f : files) std::filesystem::remove(f);
  }
}

// At the real size limit (a hole before it) the file is finished cleanly with its data size and the
// stream goes on in the next file without losing or repeating a sample (header fields at the limit:
// wave_file_test).
TEST_F(StreamRecorderTest, ContinuousRecordingRollsOverAtTheRealFileLimit) {
  SetModelText(ModelItem::kRecordComment, std::string(255, 'c'));  // the longest comment
  g_productText.Set(std::string(127, 'd'));
  StreamRecorder r(&conduit_);
  Announce(250000);
  g_recordOn.store(true);
  Settle(r);  // the mark at the start of the stream
  Pump(r, 2);
  auto* file = dynamic_cast<WaveFile*>(r.OpenRecording());
  ASSERT_NE(file, nullptr);
  const uint64_t before = file->DataBytes();  // whole chunks of 512 bytes
  ASSERT_EQ(before % 512, 0u);
  const uint64_t hole = kMaxRecordingDataBytes - before - 3000;  // room for five more chunks
  ASSERT_EQ(file->SkipZeroBytes(hole), kFileOk);
  Pump(r, 3);
  g_recordOn.store(false);
  Settle(r);

  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 2u);
  // The full file: closed cleanly with every byte counted, the samples around the hole.
  const uint64_t data = before + hole + 5 * 512;
  std::ifstream in(files[0], std::ios::binary);
  std::vector<uint8_t> h(58 + 512 + 12);
  in.read(reinterpret_cast<char*>(h.data()), std::streamsize(h.size()));
  const uint32_t fmt = Le32At(h, 16);
  const uint64_t dataAt = 20 + fmt + 20;
  EXPECT_EQ(Le32At(h, 20 + fmt + 8), 0u);  // fact: closed cleanly
  EXPECT_EQ(Le32At(h, 20 + fmt + 16), data);
  std::vector<uint8_t> head(before), tail(5 * 512);
  in.seekg(std::streamoff(dataAt));
  in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
  in.seekg(std::streamoff(dataAt + before + hole));
  in.read(reinterpret_cast<char*>(tail.data()), std::streamsize(tail.size()));
  ASSERT_TRUE(in.good());
  WaveFile reread;
  FormatWithAttribute rec;
  ASSERT_EQ(reread.Open(files[0].c_str(), &rec, RecordingFile::kRead), kFileOk);
  EXPECT_EQ(reread.DataSize(), data);

  std::vector<uint16_t> all;
  for (const std::vector<uint8_t>* part : {&head, &tail})
    for (size_t i = 0; i < part->size(); i += 2) all.push_back(uint16_t((*part)[i] | (*part)[i + 1] << 8));
  std::vector<uint16_t> next = WaveSamples(files[1], &rec);
  EXPECT_GT(next.size(), 1000u);
  all.insert(all.end(), next.begin(), next.end());
  EXPECT_EQ(all.front(), 0u);
  EXPECT_TRUE(Unbroken(all)) << "nothing lost or repeated at the limit";
  EXPECT_GT(rec.format.extraSize, 0);
}

// Frozen clock: each recording and continuation takes the next free millisecond, leaving existing
// files alone; a final name taken meanwhile keeps the temporary name and says so.
TEST_F(StreamRecorderTest, FrozenClockNeverCostsARecording) {
  StreamTime frozen;
  frozen.utcSeconds = 1706745599;  // 2024-01-31 23:59:59.998 UTC
  frozen.milliseconds = 998;
  SetReplayedStreamTime(frozen);
  std::ofstream(dir / "site_D20240131T235959m998.wv") << "theirs";
  StreamRecorder r(&conduit_);
  Announce(250000);
  g_recordOn.store(true);
  Settle(r);
  Pump(r, 3);
  Announce(500000);  // the recording goes on in a second file
  Pump(r, 3);
  g_recordOn.store(false);
  Settle(r);
  EXPECT_EQ(StatusLine(), "Status : Stopped...");
  g_recordOn.store(true);
  Pump(r, 3);
  const std::string next = "site_D20240201T000000m001";
  std::ofstream(dir / (next + ".wav")) << "late";
  g_recordOn.store(false);
  Settle(r);
  EXPECT_EQ(r.State(), kStreamIdle);
  EXPECT_EQ(StatusLine(), "Status : Failed - could not rename it to " + next + ".wav: File exists; kept as " + next +
                              ".tmp_wav");
  std::vector<std::string> names;
  for (const std::string& f : Files("wav")) names.push_back(FileNamePart(f));
  EXPECT_EQ(names, (std::vector<std::string>{"site_D20240131T235959m999.wav", "site_D20240201T000000m000.wav",
                                             next + ".tmp_wav", next + ".wav"}));
  EXPECT_EQ(testutil::ReadText(dir / "site_D20240131T235959m998.wv"), "theirs");
  EXPECT_EQ(testutil::ReadText(dir / (next + ".wav")), "late");
  FormatWithAttribute rec;
  EXPECT_FALSE(WaveSamples(dir / (next + ".tmp_wav"), &rec).empty());
  EXPECT_EQ(Field(ParseAttribute(rec.AttributeText()).body, "UTC"), "2024:02:01::00:00:00.001");
}

TEST_F(StreamRecorderTest, OpenFailureShowsFailedUntilRecordGoesOff) {
  g_recordBasePath.Set(dir / "missing/site.wav");
  StreamRecorder r(&conduit_);
  Announce(250000);
  g_recordOn.store(true);
  Pump(r, 3);
  EXPECT_EQ(r.State(), kStreamFailed);
  EXPECT_EQ(StatusLine().rfind("Status : Failed - could not create site_D", 0), 0u) << StatusLine();
  g_recordOn.store(false);
  Pump(r, 1);
  EXPECT_EQ(r.State(), kStreamIdle);
}

// The child's size limit makes the disk "full" after 200000 bytes.
TEST_F(StreamRecorderTest, FullDiskFailsTheRecordingAndKeepsEarlierFiles) {
  std::ofstream(dir / "earlier.wav") << "an earlier recording";
  const int exit = RunInChild([&] {
    StreamRecorder r(&conduit_);
    Announce(250000);
    g_recordOn.store(true);
    for (int i = 0; i < 200 && r.State() != kStreamFailed; ++i) Pump(r, 1);
    if (r.State() != kStreamFailed || StatusLine().find("could not write it: File too large; kept as site_D") ==
                                          std::string::npos)
      return 1;
    g_recordOn.store(false);
    Pump(r, 1);
    return r.State() == kStreamIdle ? 0 : 2;
  }, 200000);
  EXPECT_EQ(exit, 0);
  EXPECT_EQ(Files(".tmp_wav").size(), 1u);
  EXPECT_EQ(Files(".wav"), std::vector<std::string>{dir / "earlier.wav"});  // none finished
  EXPECT_EQ(ReadAllBytes(dir / "earlier.wav").size(), 20u);
}

}  // namespace
}  // namespace hv
