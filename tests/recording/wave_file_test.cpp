#include "formats/wave_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/le_bytes.h"
#include "formats/attribute_record.h"
#include "formats/guano_chunk.h"
#include "recording/recording_files.h"

namespace hv {
namespace {

// An attribute longer than 255 bytes keeps its whole length and reads back (the layout: the table below).
TEST(WaveFile, AttributeOf300BytesReadsBack) {
  TempFolder dir;
  std::string text(300, 'x');
  std::memcpy(text.data(), "MMMMMMMMM", 9);
  FormatWithAttribute rec = MakeRecord(25000, text);
  std::vector<uint8_t> samples = NoiseSamples(1000);
  ASSERT_TRUE(WriteRecording<WaveFile>(dir / "a.wav", rec, samples));
  std::vector<uint8_t> b = ReadAllBytes(dir / "a.wav");
  ASSERT_EQ(b.size(), 358u + samples.size());
  EXPECT_EQ(std::tuple(Le32At(b, 16), GetLe16(&b[36]), Le32At(b, 354)), std::tuple(318u, 300, samples.size()));
  FormatWithAttribute back;
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadRecording<WaveFile>(dir / "a.wav", &back, &read));
  EXPECT_EQ(std::tuple(back.format.sampleRate, back.AttributeText()), std::tuple(25000u, text));
  EXPECT_EQ(read, samples);
}

// At the real size limit (a hole before it) the last frame fits, one more byte is refused, and a full
// file with the longest attribute closes with sizes fitting 32 bits and GUANO after the samples.
TEST(WaveFile, FileTakesSamplesUpToItsLimitAndClosesWithinFourGiB) {
  TempFolder dir;
  AttributeInputs in;
  in.headerRate = 25000;
  in.realRateKHz = 250;
  in.device = std::string(127, 'd');
  in.comment = std::string(255, 'c');
  in.withGps = true;
  in.latitude = in.longitude = in.altitude = std::string(31, '1');
  FormatWithAttribute rec = MakeRecord(25000);
  rec.SetAttribute(ComposeAttribute(in));
  ASSERT_GE(rec.format.extraSize, 510);
  WaveFile f;
  f.SetGuanoMetadata(true);
  ASSERT_EQ(f.Open((dir / "full.wav").c_str(), &rec, RecordingFile::kWrite), kFileOk);
  const std::vector<uint8_t> last = {0x34, 0x12, 0x78, 0x56};
  uint32_t taken = 0;
  ASSERT_EQ(f.SkipZeroBytes(kMaxRecordingDataBytes - 4), kFileOk);
  EXPECT_EQ(f.SkipZeroBytes(5), kFileFail);
  EXPECT_EQ(f.Write(4, last.data(), &taken), kFileOk);
  EXPECT_EQ(taken, 4u);
  EXPECT_EQ(f.DataBytes(), kMaxRecordingDataBytes);
  EXPECT_EQ(f.Write(2, last.data(), &taken), kFileFail);
  EXPECT_EQ(taken, 0u);
  ASSERT_EQ(f.Close(), kFileOk);

  const uint64_t length = std::filesystem::file_size(dir / "full.wav");
  std::ifstream file(dir / "full.wav", std::ios::binary);
  std::vector<uint8_t> h(58 + 512);
  file.read(reinterpret_cast<char*>(h.data()), std::streamsize(h.size()));
  const uint32_t fmt = Le32At(h, 16);
  EXPECT_LE(length - 8, 0xFFFFFFFFull);
  EXPECT_EQ(Le32At(h, 4), length - 8);
  EXPECT_EQ(Le32At(h, 36 + fmt), kMaxRecordingDataBytes);
  std::vector<uint8_t> tail(4 + 8);
  file.seekg(std::streamoff(40 + fmt + kMaxRecordingDataBytes - 4));
  file.read(reinterpret_cast<char*>(tail.data()), std::streamsize(tail.size()));
  ASSERT_TRUE(file.good());
  EXPECT_TRUE(std::equal(last.begin(), last.end(), tail.begin()));
  EXPECT_EQ(std::string(tail.begin() + 4, tail.begin() + 8), "guan");
  const uint32_t guano = Le32At(tail, 8);
  EXPECT_EQ(40 + fmt + kMaxRecordingDataBytes + 8 + guano + (guano & 1), length);
  EXPECT_LT(guano, 3000u);
}

// Every header field (RIFF, fmt, attribute, fact, data, GUANO) against values worked out from the
// stream's rate, channel count and time expansion E.
TEST(WaveFile, EveryHeaderFieldDescribesTheStream) {
  struct Case {
    uint32_t headerRate;
    uint16_t channels;
    uint32_t expansion;  // 0: no attribute record and no GUANO chunk
    uint32_t frames;
  };
  const Case cases[] = {
      {500000, 1, 1, 5001}, {500000, 2, 1, 3000}, {500000, 4, 1, 1001}, {25000, 1, 10, 777},
      {50000, 4, 10, 640},  {384000, 2, 1, 99},   {250000, 1, 1, 2048}, {44100, 2, 0, 441},
      {250000, 4, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.headerRate << " Hz, " << c.channels << " ch, E " << c.expansion);
    TempFolder dir;
    const uint64_t realRate = uint64_t(c.headerRate) * (c.expansion ? c.expansion : 1);
    std::string text;
    if (c.expansion) {
      char head[160];
      std::snprintf(head, sizeof head, "MMMMMMMMM(#%u#)<&%u&>[!%llu!]DEV=Test %uch,DC=Off,CMT=<site %u>", c.headerRate,
                    c.expansion, (unsigned long long)(realRate / 1000), c.channels, c.frames);
      text = std::string(head) + "MMMMMMMMM ";
    }
    const size_t n = text.size() & ~size_t(1);  // stored length: even, the last space may go
    FormatWithAttribute rec = MakeRecord(c.headerRate, text, c.channels, uint16_t(2 * c.channels), 16);
    const std::vector<uint8_t> samples = NoiseSamples(size_t(c.frames) * c.channels, c.frames);
    ASSERT_TRUE(WriteRecording<WaveFile>(dir / "h.wav", rec, samples, c.expansion != 0, 4096));
    const std::vector<uint8_t> b = ReadAllBytes(dir / "h.wav");

    const uint32_t fmtSize = c.expansion ? uint32_t(18 + n) : 16u;
    ASSERT_GE(b.size(), 44u + fmtSize);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(Le32At(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32At(b, 16), fmtSize);
    EXPECT_EQ(GetLe16(&b[20]), 1) << "format tag";
    EXPECT_EQ(GetLe16(&b[22]), c.channels) << "channels";
    EXPECT_EQ(Le32At(b, 24), c.headerRate) << "sample rate";
    EXPECT_EQ(Le32At(b, 28), c.headerRate * 2u * c.channels) << "byte rate";
    EXPECT_EQ(GetLe16(&b[32]), 2 * c.channels) << "block align";
    EXPECT_EQ(GetLe16(&b[34]), 16) << "bits per sample";
    if (c.expansion) {
      EXPECT_EQ(GetLe16(&b[36]), n) << "attribute length";
      EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 38 + long(n)), text.substr(0, n));
    }
    const size_t fact = 20 + fmtSize, data = fact + 12, at = data + 8;
    EXPECT_EQ(std::string(b.begin() + long(fact), b.begin() + long(fact) + 4), "fact");
    EXPECT_EQ(Le32At(b, fact + 4), 4u);
    EXPECT_EQ(Le32At(b, fact + 8), 0u);
    EXPECT_EQ(std::string(b.begin() + long(data), b.begin() + long(data) + 4), "data");
    EXPECT_EQ(Le32At(b, data + 4), samples.size());
    ASSERT_GE(b.size(), at + samples.size());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), b.begin() + long(at)));

    size_t end = at + samples.size();  // sample bytes are whole 16-bit frames: never a pad byte here
    if (!c.expansion) {
      EXPECT_EQ(b.size(), end) << "nothing after the data";
      continue;
    }
    ASSERT_GE(b.size(), end + 8);
    EXPECT_EQ(std::string(b.begin() + long(end), b.begin() + long(end) + 4), "guan");
    const uint32_t length = Le32At(b, end + 4);
    EXPECT_EQ(b.size(), end + 8 + length + (length & 1)) << "guan chunk runs to the end, padded to even";
    if (length & 1) EXPECT_EQ(b.back(), 0);
    const size_t shown = std::min<size_t>(length, b.size() - end - 8);
    const std::string guano(b.begin() + long(end) + 8, b.begin() + long(end + 8 + shown));
    EXPECT_EQ(guano.substr(0, 19), "GUANO|Version: 1.0\n");
    char expect[96];
    std::snprintf(expect, sizeof expect, "\nTE: %u\nSamplerate: %llu\nLength: %.6f\n", c.expansion,
                  (unsigned long long)realRate, double(c.frames) / double(realRate));
    EXPECT_NE(guano.find(expect), std::string::npos) << guano;
  }
}

TEST(WaveFile, NoAttributeOddDataAndStatusValues) {
  TempFolder dir;
  FormatWithAttribute rec = MakeRecord(44100, "");
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
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadRecording<WaveFile>(dir / "b.wav", &back, &read));
  EXPECT_EQ(back.format.extraSize, 0);
  EXPECT_EQ(read, std::vector<uint8_t>(b3, b3 + 3));
}

TEST(WaveFile, CrashCutFileIsReadToItsEnd) {
  TempFolder dir;
  std::vector<uint8_t> samples = NoiseSamples(5000), written = samples;
  written.push_back(samples[0]);  // half a frame at the end
  WriteCrashCutWave(dir / "cut.tmp_wav", MakeRecord(25000, "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=x,CMT=<>MMMMMMMMM "),
                    written);
  // The buffered bytes went out at exit (flushed by the library), headers still zero.
  std::vector<uint8_t> b = ReadAllBytes(dir / "cut.tmp_wav");
  ASSERT_GT(b.size(), 100u);
  EXPECT_EQ(Le32At(b, 4), 0u);

  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "cut.tmp_wav").c_str(), &back, 1), kFileOk);
  EXPECT_TRUE(r.ReadToEndOfFile());
  EXPECT_EQ(ReadAllSamples(r), samples);  // whole frames only
  // GUANO metadata is written at the close: none is found in a file cut before it.
  std::string guano;
  EXPECT_FALSE(ReadGuanoText(dir / "cut.tmp_wav", &guano));
}

// Writes a "BSn0" form followed by a WAVE form at 25000 Hz.
void WriteBsn0File(const std::string& path, uint16_t eTimes1000, const std::string& text) {
  ASSERT_TRUE(WriteRecording<WaveFile>(path, MakeRecord(25000, ""), {0, 0, 0, 0}));
  const std::vector<uint8_t> wave = ReadAllBytes(path);
  std::vector<uint8_t> out(8 + 4 + 60 + text.size(), 0);
  std::memcpy(&out[0], "RIFF", 4);
  PutLe32(&out[4], uint32_t(out.size() - 8));
  std::memcpy(&out[8], "BSn0", 4);
  std::memcpy(&out[12 + 14], text.data(), text.size());
  if (text.size() < 38) PutLe16(&out[12 + 52], eTimes1000);
  if (out.size() & 1) out.push_back(0);
  out.insert(out.end(), wave.begin(), wave.end());
  WriteAllBytes(path, out);
}

TEST(WaveFile, OlderBsn0HeaderGivesAComposedAttribute) {
  TempFolder dir;
  WriteBsn0File(dir / "bsn.wav", 10000, "DEV=old");
  FormatWithAttribute back;
  WaveFile r;
  ASSERT_EQ(r.Open((dir / "bsn.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.AttributeText(), "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=oldMMMMMMMMM ");
  // E outside 1..16: 10 at rates up to 48000.
  WriteBsn0File(dir / "bsn2.wav", 50000, "x");
  ASSERT_EQ(r.Open((dir / "bsn2.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.AttributeText().substr(0, 24), "MMMMMMMMM(#25000#)<&10&>");
  // A 500-character text is shortened so the record fits its room.
  WriteBsn0File(dir / "bsn3.wav", 0, std::string(500, 'y'));
  ASSERT_EQ(r.Open((dir / "bsn3.wav").c_str(), &back, 1), kFileOk);
  EXPECT_EQ(back.format.extraSize, 512);
  EXPECT_EQ(back.AttributeText().substr(503), "MMMMMMMMM");
}

TEST(WaveFile, MalformedFilesFailCleanly) {
  TempFolder dir;
  FormatWithAttribute rec = MakeRecord(25000, "MMMMMMMMM<&10&>DEV=xMMMMMMMMM ");
  ASSERT_TRUE(WriteRecording<WaveFile>(dir / "good.wav", rec, NoiseSamples(100)));
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
  const std::pair<const char*, std::function<void(uint8_t*)>> damages[] = {
      {"not RIFF", [](uint8_t* b) { b[0] = 'X'; }},
      {"fmt shorter than 16", [&](uint8_t* b) { PutLe32(b + fmtAt + 4, 14); }},
      {"N over 512", [&](uint8_t* b) { PutLe16(b + nAt, 600); }},
      {"data past the end of the file", [&](uint8_t* b) { PutLe32(b + dataSizeAt, 1000000); }},
      {"no data chunk", [&](uint8_t* b) { std::memcpy(b + dataSizeAt - 4, "dat_", 4); }},
      {"float tag without an attribute", [&](uint8_t* b) { PutLe16(b + 20, 3), PutLe32(b + fmtAt + 4, 16); }},
  };
  for (const auto& [what, damage] : damages) {
    std::vector<uint8_t> b = good;
    damage(b.data());
    EXPECT_FALSE(opens(b)) << what;
  }
}

// The size limit of the process makes the disk "full" after `limit` bytes.
TEST(WaveFile, WriteFailureOnAFullDiskIsReported) {
  TempFolder dir;
  std::vector<uint8_t> samples = NoiseSamples(200000);
  const int exit = RunInChild([&] {
    FormatWithAttribute rec = MakeRecord(25000, "");
    WaveFile f;
    uint32_t taken;
    if (f.Open((dir / "full.tmp_wav").c_str(), &rec, 2) != kFileOk) return 1;
    uint32_t status = kFileOk;
    for (size_t at = 0; at < samples.size() && status == kFileOk; at += 1024)
      status = f.Write(1024, &samples[at], &taken);
    if (status != kFileFail) return 2;
    if (f.Close() != kFileFail) return 3;
    return f.SystemError() == EFBIG ? 0 : 4;  // the reason a report can give
  }, 100000);
  EXPECT_EQ(exit, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "full.tmp_wav"));
}

}  // namespace
}  // namespace hv
