#include "formats/wavpack_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/le_bytes.h"
#include "recording/recording_files.h"

namespace hv {
namespace {

TEST(WavPackFile, RoundTripWithAttributeTag) {
  TempFolder dir;
  const std::string text = "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=x,CMT=<a,b>MMMMMMMMM ";
  std::vector<uint8_t> samples = NoiseSamples(60000, 7);
  ASSERT_TRUE(WriteRecording<WavPackFile>(dir / "a.tmp_wv", MakeRecord(25000, text), samples, false, 512));

  FormatWithAttribute back;
  WavPackFile r;
  ASSERT_EQ(r.Open((dir / "a.tmp_wv").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(std::tuple(back.format.sampleRate, back.format.channels, back.format.blockAlign), std::tuple(25000u, 1, 2));
  EXPECT_EQ(back.AttributeText(), text.substr(0, text.size() & ~size_t(1)));
  EXPECT_EQ(r.FileLength(), std::filesystem::file_size(dir / "a.tmp_wv"));
  EXPECT_EQ(r.FrameCount(), 60000);
  EXPECT_TRUE(r.GuanoText().empty());  // written without GUANO
  EXPECT_EQ(ReadAllSamples(r), samples);
}

TEST(WavPackFile, StereoWholeBlocksAndNoTagWithoutAttribute) {
  TempFolder dir;
  FormatWithAttribute rec = MakeRecord(250000, "", 2, 4);
  std::vector<uint8_t> samples = NoiseSamples(20000, 3);
  WavPackFile f;
  ASSERT_EQ(f.Open((dir / "s.wv").c_str(), &rec, 2), kFileOk);
  uint32_t taken = 0;
  ASSERT_EQ(f.Write(7, samples.data(), &taken), kFileOk);  // one frame, three bytes left over
  EXPECT_EQ(taken, 4u);
  ASSERT_EQ(f.Write(uint32_t(samples.size() - 4), samples.data() + 4, &taken), kFileOk);
  ASSERT_EQ(f.Close(), kFileOk);
  std::vector<uint8_t> bytes = ReadAllBytes(dir / "s.wv");
  EXPECT_EQ(std::search(bytes.begin(), bytes.end(), std::begin("APETAGEX"), std::end("APETAGEX") - 1), bytes.end());

  FormatWithAttribute back;
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadRecording<WavPackFile>(dir / "s.wv", &back, &read));
  EXPECT_EQ(std::tuple(back.format.channels, back.format.extraSize), std::tuple(2, 0));
  EXPECT_EQ(read, samples);
}

TEST(WavPackFile, DeepSamplesAreReadByTheirTopSixteenBits) {
  TempFolder dir;
  std::vector<uint8_t> deep(3 * 1000);
  std::vector<uint8_t> expected(2 * 1000);
  for (int i = 0; i < 1000; ++i) {
    int32_t v = (i * 9973) % 8388607 - 4194304;  // 24-bit values across the range
    deep[3 * i] = uint8_t(v), deep[3 * i + 1] = uint8_t(v >> 8), deep[3 * i + 2] = uint8_t(v >> 16);
    PutLe16(&expected[2 * i], uint16_t(int16_t(v >> 8)));
  }
  ASSERT_TRUE(WriteRecording<WavPackFile>(dir / "deep.wv", MakeRecord(96000, "", 1, 3, 24), deep, false, 999));
  FormatWithAttribute back;
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadRecording<WavPackFile>(dir / "deep.wv", &back, &read));
  EXPECT_EQ(std::tuple(back.format.bitsPerSample, back.format.blockAlign), std::tuple(16, 2));
  EXPECT_EQ(read, expected);
}

TEST(WavPackFile, StatusValuesAndBadInput) {
  TempFolder dir;
  WavPackFile f;
  FormatWithAttribute rec = MakeRecord(25000);
  uint8_t buf[1024];
  uint32_t n = 5;
  EXPECT_EQ(f.Read(buf, &n), kFileNotInitialized);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(f.Write(2, buf, &n), kFileNotInitialized);
  EXPECT_EQ(f.Close(), kFileNotInitialized);
  EXPECT_EQ(f.Open("", &rec, 2), kFileBadArgument);
  EXPECT_EQ(f.Open((dir / "no/such.wv").c_str(), &rec, 2), kFileFail);
  EXPECT_EQ(f.Open((dir / "none.wv").c_str(), &rec, 1), kFileFail);
  // A WAV file or a cut WavPack file is not read as WavPack.
  std::vector<uint8_t> wav(100, 0);
  std::memcpy(wav.data(), "RIFF", 4);
  WriteAllBytes(dir / "x.wv", wav);
  EXPECT_EQ(f.Open((dir / "x.wv").c_str(), &rec, 1), kFileFail);
  ASSERT_TRUE(WriteRecording<WavPackFile>(dir / "good.wv", rec, NoiseSamples(5000, 1), false, 1024));
  std::vector<uint8_t> good = ReadAllBytes(dir / "good.wv");
  WriteAllBytes(dir / "cut.wv", {good.begin(), good.begin() + 20});
  EXPECT_EQ(f.Open((dir / "cut.wv").c_str(), &rec, 1), kFileFail);
}

TEST(WavPackFile, BlockWriteFailureFailsTheClose) {
  TempFolder dir;
  std::vector<uint8_t> samples = NoiseSamples(400000, 11);
  const int exit = RunInChild([&] {
    FormatWithAttribute rec = MakeRecord(25000, "MMMMMMMMMDEV=xMMMMMMMMM");
    WavPackFile f;
    uint32_t taken;
    if (f.Open((dir / "full.tmp_wv").c_str(), &rec, 2) != kFileOk) return 1;
    for (size_t at = 0; at < samples.size(); at += 1024)
      f.Write(uint32_t(std::min<size_t>(1024, samples.size() - at)), &samples[at], &taken);
    if (f.Close() != kFileFail) return 3;
    return f.SystemError() == EFBIG ? 0 : 4;
  }, 100000);
  EXPECT_EQ(exit, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "full.tmp_wv"));
}

// Neither file object ever opens an existing file for writing: another
// recording that took the name is left as it was.
template <class File>
void ExpectExclusiveOpen() {
  TempFolder dir;
  FormatWithAttribute rec = MakeRecord(25000, "MMMMMMMMMDEV=xMMMMMMMMM");
  WriteAllBytes(dir / "taken", {1, 2, 3});
  File f;
  EXPECT_EQ(f.Open((dir / "taken").c_str(), &rec, RecordingFile::kWrite), kFileExists);
  EXPECT_EQ(f.SystemError(), EEXIST);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(ReadAllBytes(dir / "taken"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(f.Open((dir / "no/such").c_str(), &rec, RecordingFile::kWrite), kFileFail);
  EXPECT_EQ(f.SystemError(), ENOENT);
  // A name that was free opens, and opening it again is refused.
  ASSERT_TRUE(WriteRecording<File>(dir / "free", rec, NoiseSamples(3000)));
  const std::vector<uint8_t> written = ReadAllBytes(dir / "free");
  File again;
  EXPECT_EQ(again.Open((dir / "free").c_str(), &rec, RecordingFile::kWrite), kFileExists);
  EXPECT_EQ(again.Close(), kFileNotInitialized);
  EXPECT_EQ(ReadAllBytes(dir / "free"), written);
}

TEST(RecordingFiles, ExistingFileIsNeverOpenedForWriting) {
  ExpectExclusiveOpen<WaveFile>();
  ExpectExclusiveOpen<WavPackFile>();
}

}  // namespace
}  // namespace hv
