#include <atomic>
#include <chrono>
#include <thread>

#include "core/le_bytes.h"
#include "core/lifecycle.h"
#include "core/worker_routines.h"
#include "recording/record_control.h"
#include "recording/recorder_fixture.h"
#include "recording/recording_repair.h"

namespace hv {
namespace {

using RecordingExit = RecorderTest;

// The real recorder threads on the station's conduits: an orderly exit during a
// Continuous recording stops it and leaves the file under its final name.
TEST_F(RecordingExit, OrderlyExitFinishesTheRecordingInProgress) {
  g_conduitFormat[2] = MakeWaveFormat(44100, 1, 2, 16);
  g_conduitFormat[6] = MakeWaveFormat(3906, 1, 272, 2176);
  conduit3.Create(88200, &g_conduitFormat[2]);
  conduit7.Create(272 * 400, &g_conduitFormat[6]);
  g_run.store(true);
  std::atomic<bool> feeding{true};
  std::thread writer([&] {
    uint16_t next = 0;
    std::vector<uint8_t> block(4000);
    while (feeding.load()) {
      for (size_t k = 0; k < block.size(); k += 2, ++next) PutLe16(&block[k], next);
      uint32_t accepted = 0;
      conduit3.Write(uint32_t(block.size()), block.data(), &accepted);
      next = uint16_t(next - (block.size() - accepted) / 2);
      std::this_thread::sleep_for(std::chrono::milliseconds(4));  // about 500 kB/s
    }
  });
  std::thread stream([] { StreamRecordingThread(nullptr); });
  std::thread snap([] { AutoSnapThread(nullptr); });

  RegisterRecordingShutdown(3.0);
  g_recordOn.store(true);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (g_streamRecorderState.load() != kStreamRecording && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(g_streamRecorderState.load(), kStreamRecording);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  RunShutdownPreparations();
  EXPECT_FALSE(g_recordOn.load());
  EXPECT_TRUE(RecordersAtRest());
  g_run.store(false);
  feeding.store(false);
  writer.join();
  stream.join();
  snap.join();

  EXPECT_TRUE(Files(".tmp_wav").empty());
  ASSERT_EQ(Files(".wav").size(), 1u);
  FormatWithAttribute rec;
  std::vector<uint16_t> s = WaveSamples(Files(".wav")[0], &rec);
  EXPECT_GT(s.size(), 10000u);
  EXPECT_TRUE(Unbroken(s));
}

TEST_F(RecordingExit, RepairFinishesACrashCutRecording) {
  const std::string tmp = dir / "site_D20240131T235959m123.tmp_wav";
  WriteCrashCutWave(tmp, MakeRecord(25000, "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=x,CMT=<>MMMMMMMMM "),
                    std::vector<uint8_t>(30001, 1));

  RepairResult r = RepairRecording(tmp);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.finalName, dir / "site_D20240131T235959m123.wav");
  EXPECT_EQ(r.samples, 15000u);
  EXPECT_FALSE(std::filesystem::exists(tmp));
  std::vector<uint8_t> bytes = ReadAllBytes(r.finalName);
  const size_t fmt = Le32At(bytes, 16);
  EXPECT_EQ(Le32At(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(Le32At(bytes, 28 + fmt), 0u);      // fact value cleared
  EXPECT_EQ(Le32At(bytes, 36 + fmt), 30000u);  // whole frames
  FormatWithAttribute rec;
  WaveFile f;
  ASSERT_EQ(f.Open(r.finalName.c_str(), &rec, 1), kFileOk);
  EXPECT_FALSE(f.ReadToEndOfFile());
  EXPECT_GT(rec.format.extraSize, 0);

  EXPECT_FALSE(RepairRecording(r.finalName).ok);  // not a temporary name
  EXPECT_FALSE(RepairRecording(dir / "none.tmp_wav").ok);
}

}  // namespace
}  // namespace hv
