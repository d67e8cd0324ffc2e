#include "recording/wave_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "core/le_bytes.h"
#include "recording/temp_folder.h"

namespace hv {
namespace {

FormatWithAttribute MonoRecord(uint32_t rate, const std::string& attribute) {
  FormatWithAttribute r;
  r.format = MakeWaveFormat(rate, 1, 2, 16);
  r.SetAttribute(attribute);
  return r;
}

std::vector<uint8_t> Ramp(size_t samples) {
  std::vector<uint8_t> b(samples * 2);
  for (size_t i = 0; i < samples; ++i) PutLe16(&b[2 * i], uint16_t(int16_t(i * 7 - 3000)));
  return b;
}

std::vector<uint8_t> ReadEverything(WaveFile& f) {
  std::vector<uint8_t> all;
  uint8_t buf[1024];
  uint32_t got = 0;
  while (f.Read(buf, &got) == kFileOk && got > 0) {
    EXPECT_LE(got, 1024u);
    all.insert(all.end(), buf, buf + got);
  }
  return all;
}

TEST(WaveFile, LayoutWithAttributeOf300Bytes) {
  TempFolder dir;
  std::string text(300, 'x');
  std::memcpy(text.data(), "MMMMMMMMM", 9);
  FormatWithAttribute rec = MonoRecord(25000, text);
  std::vector<uint8_t> samples = Ramp(1000);
  WaveFile f;
  ASSERT_EQ(f.Open((dir / "a.wav").c_str(), &rec, 2), kFileOk);
  uint32_t taken = 0;
  ASSERT_EQ(f.Write(uint32_t(samples.size()), samples.data(), &taken), kFileOk);
  EXPECT_EQ(taken, samples.size());
  ASSERT_EQ(f.Close(), kFileOk);

  std::vector<uint8_t> b = ReadAllBytes(dir / "a.wav");
  ASSERT_EQ(b.size(), 358u + samples.size());
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(Le32At(b, 4), b.size() - 8);
  EXPECT_EQ(Le32At(b, 16), 318u);
  EXPECT_EQ(GetLe16(&b[36]), 300);
  EXPECT_EQ(std::string(b.begin() + 338, b.begin() + 342), "fact");
  EXPECT_EQ(Le32At(b, 346), 0u);  // cleared by the clean close
  EXPECT_EQ(std::string(b.begin() + 350, b.begin() + 354), "data");
  EXPECT_EQ(Le32At(b, 354), samples.size());
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), b.begin() + 358));

  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "a.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.format.sampleRate, 25000u);
  EXPECT_EQ(back.AttributeText(), text);
  EXPECT_EQ(ReadEverything(r), samples);
}

TEST(WaveFile, NoAttributeOddDataAndStatusValues) {
  TempFolder dir;
  FormatWithAttribute rec = MonoRecord(44100, "");
  WaveFile f;
  uint32_t taken = 7;
  uint8_t b3[3] = {1, 2, 3};
  EXPECT_EQ(f.Write(3, b3, &taken), kFileNotInitialized);
  EXPECT_EQ(taken, 0u);
  EXPECT_EQ(f.Close(), kFileNotInitialized);
  EXPECT_EQ(f.Open(nullptr, &rec, 2), kFileBadArgument);
  EXPECT_EQ(f.Open((dir / "x.wav").c_str(), nullptr, 2), kFileBadArgument);
  EXPECT_EQ(f.Open((dir / "missing/x.wav").c_str(), &rec, 2), kFileFail);

  ASSERT_EQ(f.Open((dir / "b.wav").c_str(), &rec, 2), kFileOk);
  ASSERT_EQ(f.Write(3, b3, &taken), kFileOk);
  ASSERT_EQ(f.Close(), kFileOk);
  std::vector<uint8_t> b = ReadAllBytes(dir / "b.wav");
  ASSERT_EQ(b.size(), 56u + 3 + 1);  // fmt of 16, samples from 56, one pad byte
  EXPECT_EQ(Le32At(b, 16), 16u);
  EXPECT_EQ(Le32At(b, 52), 3u);
  EXPECT_EQ(b.back(), 0);
  EXPECT_EQ(Le32At(b, 4), b.size() - 8);

  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "b.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.format.extraSize, 0);
  EXPECT_EQ(ReadEverything(r), std::vector<uint8_t>(b3, b3 + 3));
}

TEST(WaveFile, CrashCutFileIsReadToItsEnd) {
  TempFolder dir;
  std::vector<uint8_t> samples = Ramp(5000);
  // A child writes part of a recording and dies without closing it.
  pid_t child = fork();
  if (child == 0) {
    FormatWithAttribute rec = MonoRecord(25000, "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=x,CMT=<>MMMMMMMMM ");
    WaveFile f;
    uint32_t taken;
    f.Open((dir / "cut.tmp_wav").c_str(), &rec, 2);
    f.Write(uint32_t(samples.size()), samples.data(), &taken);
    f.Write(1, samples.data(), &taken);  // half a frame at the end
    std::fflush(nullptr);
    _exit(0);  // no close
  }
  int status = 0;
  waitpid(child, &status, 0);
  // The buffered bytes went out at exit (flushed by the library), headers still zero.
  std::vector<uint8_t> b = ReadAllBytes(dir / "cut.tmp_wav");
  ASSERT_GT(b.size(), 100u);
  EXPECT_EQ(Le32At(b, 4), 0u);

  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "cut.tmp_wav").c_str(), &back, 1), kFileOk);
  EXPECT_TRUE(r.ReadToEndOfFile());
  EXPECT_EQ(ReadEverything(r), samples);  // whole frames only
}

TEST(WaveFile, RealRecordingsFromOtherRecordersOpen) {
  struct Case {
    const char* name;
    uint32_t rate;
    uint32_t bytes;
  } cases[] = {{"audiomoth-250k-guano.wav", 250000, 3362624}, {"audiomoth-250k-nocalls.wav", 250000, 52544},
               {"batlogger-312k-guano.wav", 312500, 2521088}, {"myomys-500k.wav", 500000, 500000},
               {"selection-192k-list-id3.wav", 192000, 768000}};
  const std::string folder = HALVANE_TESTDATA_DIR "/";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no shared recordings at " << folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormatWithAttribute back;
    WaveFile r;
    ASSERT_EQ(r.Open((folder + c.name).c_str(), &back, 1), kFileOk);
    EXPECT_EQ(back.format.sampleRate, c.rate);
    EXPECT_EQ(back.format.channels, 1);
    EXPECT_EQ(back.format.extraSize, 0);
    EXPECT_FALSE(r.ReadToEndOfFile());
    EXPECT_EQ(ReadEverything(r).size(), c.bytes);
  }
}

// A "BSn0" form followed by a WAVE form at 25000 Hz.
std::vector<uint8_t> Bsn0File(uint16_t eTimes1000, const std::string& text) {
  std::vector<uint8_t> bsn(4 + 60 + text.size(), 0);
  std::memcpy(&bsn[0], "BSn0", 4);
  std::memcpy(&bsn[4 + 14], text.data(), text.size());
  if (text.size() < 38) PutLe16(&bsn[4 + 52], eTimes1000);
  uint32_t size = uint32_t(bsn.size());
  std::vector<uint8_t> out(8 + size + (size & 1));
  std::memcpy(out.data(), "RIFF", 4);
  PutLe32(out.data() + 4, size);
  std::memcpy(out.data() + 8, bsn.data(), size);
  uint8_t wave[12 + 24 + 8 + 4] = {};
  std::memcpy(wave, "RIFF", 4);
  PutLe32(wave + 4, sizeof wave - 8);
  std::memcpy(wave + 8, "WAVE", 4);
  std::memcpy(wave + 12, "fmt ", 4);
  PutLe32(wave + 16, 16);
  PutLe16(wave + 20, 1);
  PutLe16(wave + 22, 1);
  PutLe32(wave + 24, 25000);
  PutLe32(wave + 28, 50000);
  PutLe16(wave + 32, 2);
  PutLe16(wave + 34, 16);
  std::memcpy(wave + 36, "data", 4);
  PutLe32(wave + 40, 4);
  size_t at = out.size();
  out.resize(at + sizeof wave);
  std::memcpy(out.data() + at, wave, sizeof wave);
  return out;
}

TEST(WaveFile, OlderBsn0HeaderGivesAComposedAttribute) {
  TempFolder dir;
  WriteAllBytes(dir / "bsn.wav", Bsn0File(10000, "DEV=old"));
  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "bsn.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.AttributeText(), "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=oldMMMMMMMMM ");
  // E outside 1..16: 10 at rates up to 48000.
  WriteAllBytes(dir / "bsn2.wav", Bsn0File(50000, "x"));
  ASSERT_EQ(r.Open((dir / "bsn2.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.AttributeText().substr(0, 24), "MMMMMMMMM(#25000#)<&10&>");
  // A 500-character text is shortened so the record fits its room.
  WriteAllBytes(dir / "bsn3.wav", Bsn0File(0, std::string(500, 'y')));
  ASSERT_EQ(r.Open((dir / "bsn3.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.format.extraSize, 512);
  EXPECT_EQ(back.AttributeText().substr(503), "MMMMMMMMM");
}

TEST(WaveFile, MalformedFilesFailCleanly) {
  TempFolder dir;
  FormatWithAttribute rec = MonoRecord(25000, "MMMMMMMMM<&10&>DEV=xMMMMMMMMM ");
  WaveFile w;
  uint32_t taken;
  std::vector<uint8_t> samples = Ramp(100);
  ASSERT_EQ(w.Open((dir / "good.wav").c_str(), &rec, 2), kFileOk);
  w.Write(uint32_t(samples.size()), samples.data(), &taken);
  ASSERT_EQ(w.Close(), kFileOk);
  const std::vector<uint8_t> good = ReadAllBytes(dir / "good.wav");
  const size_t fmtAt = 12, nAt = 36, dataSizeAt = 36 + Le32At(good, 16);

  auto opens = [&](const std::vector<uint8_t>& bytes) {
    WriteAllBytes(dir / "bad.wav", bytes);
    FormatWithAttribute back;
    WaveFile r;
    return r.Open((dir / "bad.wav").c_str(), &back, 1) == kFileOk;
  };
  ASSERT_TRUE(opens(good));
  for (size_t cut : {0, 4, 11, 20, 40, 60}) EXPECT_FALSE(opens({good.begin(), good.begin() + cut})) << cut;
  std::vector<uint8_t> b = good;
  b[0] = 'X';
  EXPECT_FALSE(opens(b));  // not RIFF
  b = good;
  PutLe32(&b[fmtAt + 4], 14);
  EXPECT_FALSE(opens(b));  // fmt shorter than 16
  b = good;
  PutLe16(&b[nAt], 600);
  EXPECT_FALSE(opens(b));  // N over 512
  b = good;
  PutLe32(&b[dataSizeAt], 1000000);
  EXPECT_FALSE(opens(b));  // data past the end of the file
  b = good;
  std::memcpy(&b[dataSizeAt - 4], "dat_", 4);
  EXPECT_FALSE(opens(b));  // no data chunk
  b = good;
  PutLe16(&b[20], 3);  // float tag without an attribute
  PutLe32(&b[fmtAt + 4], 16);
  EXPECT_FALSE(opens(b));
}

// The size limit of the process makes the disk "full" after `limit` bytes.
TEST(WaveFile, WriteFailureOnAFullDiskIsReported) {
  TempFolder dir;
  std::vector<uint8_t> samples = Ramp(200000);
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    FormatWithAttribute rec = MonoRecord(25000, "");
    WaveFile f;
    uint32_t taken;
    if (f.Open((dir / "full.tmp_wav").c_str(), &rec, 2) != kFileOk) _exit(1);
    uint32_t status = kFileOk;
    for (size_t at = 0; at < samples.size() && status == kFileOk; at += 1024)
      status = f.Write(1024, &samples[at], &taken);
    if (status != kFileFail) _exit(2);
    _exit(f.Close() == kFileFail ? 0 : 3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "full.tmp_wav"));
}

}  // namespace
}  // namespace hv
