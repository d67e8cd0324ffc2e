// The file size limit for real: a Continuous recording fed more than 4 GiB of
// stream, as WAV and as WavPack, goes on in a second file at the limit, and
// every sample fed is in exactly one of the finished files, in order. Writes
// about 4.3 GB to the temporary folder (removed afterwards).
#include <fstream>

#include "core/le_bytes.h"
#include "formats/wavpack_file.h"
#include "recording/recorder_fixture.h"
#include "recording/stream_recorder.h"

namespace hv {
namespace {

class FileLimitSoak : public RecorderTest {
 protected:
  // Feeds `bytes` of the 16-bit counter (0, 1, ... 65535, 0, ...) through
  // the recorder, with Record on from the first sample, then turns Record off.
  void Record(uint64_t bytes) {
    WaveFormat created = MakeWaveFormat(44100, 1, 2, 16);
    Conduit conduit;
    conduit.Create(1 << 22, &created);
    std::vector<uint8_t> pattern(2 * 65536);
    for (uint32_t i = 0; i < 65536; ++i) pattern[2 * i] = uint8_t(i), pattern[2 * i + 1] = uint8_t(i >> 8);
    StreamRecorder r(&conduit);
    ASSERT_TRUE(conduit.TryAnnounceFormat(MakeWaveFormat(500000, 1, 2, 16)));
    g_recordOn.store(true);
    Settle(r);
    uint64_t fed = 0;
    while (fed < bytes) {
      const uint32_t at = uint32_t(fed % pattern.size());
      uint32_t n = uint32_t(std::min<uint64_t>(pattern.size() - at, bytes - fed)), accepted = 0;
      conduit.Write(n, &pattern[at], &accepted);
      fed += accepted;
      while (conduit.Available() >= StreamRecorder::kChunkBytes) r.Pass();
      ASSERT_NE(r.State(), kStreamFailed);
    }
    g_recordOn.store(false);
    Settle(r);
    ASSERT_EQ(r.State(), kStreamIdle);
  }
  static void Settle(StreamRecorder& r) {
    for (int idle = 0; idle < 2;) idle = r.Pass() ? 0 : idle + 1;
  }
  // Checks that `bytes` continue the counter from `*next`; false at the first break.
  static bool Continues(const uint8_t* bytes, size_t count, uint16_t* next) {
    for (size_t i = 0; i + 1 < count; i += 2, ++*next)
      if (uint16_t(bytes[i] | bytes[i + 1] << 8) != *next) return false;
    return true;
  }
};

TEST_F(FileLimitSoak, WavRecordingGoesOnInANewFileAtFourGiB) {
  const uint64_t fed = kMaxRecordingDataBytes + (1 << 20);
  Record(fed);
  std::vector<std::string> files = Files(".wav");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(Files(".tmp_wav").empty());
  uint64_t total = 0;
  uint16_t next = 0;
  for (const std::string& path : files) {
    WaveFile f;
    FormatWithAttribute rec;
    ASSERT_EQ(f.Open(path.c_str(), &rec, RecordingFile::kRead), kFileOk);
    EXPECT_LE(f.DataSize(), kMaxRecordingDataBytes);
    EXPECT_EQ(rec.format.sampleRate, 50000u);
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(f.DataOffset()));
    std::vector<uint8_t> block(1 << 24);
    for (uint64_t left = f.DataSize(); left > 0;) {
      const size_t n = size_t(std::min<uint64_t>(left, block.size()));
      ASSERT_TRUE(in.read(reinterpret_cast<char*>(block.data()), std::streamsize(n)));
      ASSERT_TRUE(Continues(block.data(), n, &next)) << path << " at " << total;
      left -= n;
      total += n;
    }
    uint8_t riff[8];
    std::ifstream head(path, std::ios::binary);
    ASSERT_TRUE(head.read(reinterpret_cast<char*>(riff), 8));
    EXPECT_EQ(std::filesystem::file_size(path) - 8, uint64_t(GetLe32(riff + 4)));
    std::filesystem::remove(path);
  }
  EXPECT_EQ(total, fed) << "every sample fed, once";
}

TEST_F(FileLimitSoak, WavPackRecordingGoesOnInANewFileAtFourGiB) {
  g_settings.OutputFileFormat.store(1);
  const uint64_t fed = kMaxRecordingDataBytes + (1 << 20);
  Record(fed);
  std::vector<std::string> files = Files(".wv");
  ASSERT_EQ(files.size(), 2u);
  uint64_t total = 0;
  uint16_t next = 0;
  for (const std::string& path : files) {
    WavPackFile f;
    FormatWithAttribute rec;
    ASSERT_EQ(f.Open(path.c_str(), &rec, RecordingFile::kRead), kFileOk);
    EXPECT_LE(uint64_t(f.FrameCount()) * 2, kMaxRecordingDataBytes);
    uint8_t buffer[1024];
    uint32_t got = 0;
    uint64_t inFile = 0;
    while (f.Read(buffer, &got) == kFileOk && got > 0) {
      ASSERT_TRUE(Continues(buffer, got, &next)) << path << " at " << total;
      inFile += got;
    }
    EXPECT_EQ(inFile, uint64_t(f.FrameCount()) * 2);
    total += inFile;
    f.Close();
    std::filesystem::remove(path);
  }
  EXPECT_EQ(total, fed) << "every sample fed, once";
}

}  // namespace
}  // namespace hv
