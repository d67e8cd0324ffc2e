// GUANO metadata in our recordings: read back with a strict reader of its own,
// checked against the attribute record and the real length; the bytes before
// it stay as they were. (Crash-cut files and other recorders' files are read in
// tests/recording/wave_file_test.cpp and tests/playback/guano_test.cpp.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "formats/guano.h"
#include "formats/guano_chunk.h"
#include "formats/guano_writer.h"
#include "formats/playback_file.h"
#include "formats/playback_file_info.h"
#include "formats/wavpack_file.h"
#include "guano/guano_files.h"
#include "recording/recording_files.h"
#include "recording/snapshot_calls.h"

namespace {

using hv::FormatWithAttribute;
using hv::ReadAllSamples;
using hv::RecordingFile;

// Strict GUANO: the version line first, then every line "key: value" with a
// non-empty key, no key twice, "\n" line ends, the text ending in one.
std::map<std::string, std::string> StrictGuano(const std::string& text) {
  std::map<std::string, std::string> fields;
  EXPECT_EQ(text.rfind("GUANO|Version: 1.0\n", 0), 0u) << text;
  EXPECT_FALSE(text.empty());
  if (text.empty()) return fields;
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t colon = line.find(": ");
    EXPECT_NE(colon, std::string::npos) << "line without \": \": " << line;
    if (colon == std::string::npos) continue;
    EXPECT_GT(colon, 0u) << line;
    std::string key = line.substr(0, colon);
    EXPECT_EQ(fields.count(key), 0u) << "twice: " << key;
    for (unsigned char c : line) EXPECT_GE(c, 0x20) << line;
    fields[key] = line.substr(colon + 2);
  }
  for (const char* key : {"GUANO|Version", "Timestamp", "TE", "Samplerate", "Length", "Make", "Model",
                          "Firmware Version", "Halvane|Attribute"})
    EXPECT_EQ(fields.count(key), 1u) << "missing " << key;
  return fields;
}

// Checks the fields against the test record of guano_files.h and `frames`.
void ExpectMatchesRecord(const std::map<std::string, std::string>& g, const FormatWithAttribute& record,
                         size_t frames) {
  for (auto [key, value] : {std::pair{"TE", "10"}, {"Samplerate", "250000"}, {"Make", "Halvane"},
                            {"Model", "Receiver 7"}, {"Loc Position", "52.123456 -1.654321"}, {"Loc Elevation", "87.5"},
                            {"Note", "Pond west, 2nd visit"}, {"Firmware Version", HALVANE_VERSION}})
    EXPECT_EQ(g.count(key) ? g.at(key) : "(none)", value) << key;
  EXPECT_NEAR(std::atof(g.at("Length").c_str()), double(frames) / 250000.0, 1e-6);
  std::string attribute = record.AttributeText();
  while (!attribute.empty() && attribute.back() == ' ') attribute.pop_back();
  EXPECT_EQ(g.at("Halvane|Attribute"), attribute);
  // Local time two hours ahead of the UTC start, and the same instant parsed back.
  EXPECT_EQ(g.at("Timestamp"), "2026-09-03T20:36:15.250+02:00");
  hv::StreamTime t;
  bool hasOffset = false;
  ASSERT_TRUE(hv::ParseIsoTimestamp(g.at("Timestamp"), &t, &hasOffset));
  EXPECT_TRUE(hasOffset);
  EXPECT_EQ(t.utcSeconds, 1788460575);
  EXPECT_EQ(t.biasMinutes, -120);
}

std::string WriteWave(const std::string& path, const FormatWithAttribute& record, const std::vector<uint8_t>& samples,
                      bool guano) {
  EXPECT_TRUE(hv::WriteRecording<hv::WaveFile>(path, record, samples, guano));
  return path;
}

TEST(GuanoWave, ChunkFollowsUnchangedDataAndParsesStrictly) {
  TempFolder dir;
  const FormatWithAttribute record = GuanoTestRecord();
  for (size_t frames : {size_t(0), size_t(12345), size_t(25000)}) {
    SCOPED_TRACE(frames);
    const auto samples = hv::NoiseSamples(frames);
    const auto bare = ReadAllBytes(WriteWave(dir / "bare.wav", record, samples, false));
    const auto with = ReadAllBytes(WriteWave(dir / "guano.wav", record, samples, true));
    // Everything up to the end of the data chunk is the same, apart from the RIFF size.
    ASSERT_GT(with.size(), bare.size());
    EXPECT_TRUE(std::equal(bare.begin() + 8, bare.end(), with.begin() + 8));
    EXPECT_EQ(Le32At(with, 4), with.size() - 8);
    EXPECT_EQ(with.size() % 2, 0u);
    ASSERT_EQ(std::string(with.begin() + bare.size(), with.begin() + bare.size() + 4), "guan");
    const uint32_t length = Le32At(with, bare.size() + 4);
    EXPECT_EQ(bare.size() + 8 + length + (length & 1), with.size());

    std::string text;
    ASSERT_TRUE(hv::ReadGuanoText(dir / "guano.wav", &text));
    EXPECT_EQ(text.size(), length);
    ExpectMatchesRecord(StrictGuano(text), record, frames);

    // Our reader delivers exactly the samples and the record.
    hv::WaveFile reader;
    FormatWithAttribute back;
    ASSERT_EQ(reader.Open((dir / "guano.wav").c_str(), &back, RecordingFile::kRead), hv::kFileOk);
    EXPECT_EQ(back.AttributeText(), record.AttributeText());
    EXPECT_EQ(ReadAllSamples(reader), samples);
  }
}

TEST(GuanoWave, PlaybackReadsOurChunk) {
  TempFolder dir;
  const auto samples = hv::NoiseSamples(5000);
  // Without an attribute record the playback reader takes its facts from our GUANO.
  FormatWithAttribute record = GuanoTestRecord();
  std::string text = hv::ComposeGuanoText(record, 5000);
  hv::GuanoInfo info;
  ASSERT_TRUE(hv::ParseGuano(text, &info));
  EXPECT_EQ(std::tuple(info.expansion, info.DeviceName(), info.note, info.position, info.time.utcSeconds),
            std::tuple(10u, "Halvane Receiver 7", "Pond west, 2nd visit", "52.123456 -1.654321", 1788460575));

  FormatWithAttribute plain = record;
  plain.SetAttribute("");
  const std::string path = WriteWave(dir / "plain.wav", plain, samples, true);
  hv::PlaybackFile file;
  ASSERT_TRUE(file.Open(path));
  hv::PlaybackFileInfo playback;
  hv::ReadPlaybackFileInfo(file, path, &playback);
  EXPECT_TRUE(playback.hasGuano);
  EXPECT_EQ(playback.realRate, 25000u);  // no attribute: TE 1, the header rate
}

// (Without GUANO the tag holds none: tests/recording/wavpack_file_test.cpp.)
TEST(GuanoWavPack, TagCarriesGuanoBesideAttribute) {
  TempFolder dir;
  const FormatWithAttribute record = GuanoTestRecord();
  const auto samples = hv::NoiseSamples(30001);
  ASSERT_TRUE(hv::WriteRecording<hv::WavPackFile>(dir / "with.wv", record, samples, true));
  hv::WavPackFile reader;
  FormatWithAttribute back;
  ASSERT_EQ(reader.Open((dir / "with.wv").c_str(), &back, RecordingFile::kRead), hv::kFileOk);
  EXPECT_EQ(back.AttributeText(), record.AttributeText());
  EXPECT_EQ(reader.FrameCount(), 30001);
  EXPECT_EQ(ReadAllSamples(reader), samples);
  ExpectMatchesRecord(StrictGuano(reader.GuanoText()), record, 30001);
}

// A snapshot's call fields, added at closing, keep both files' GUANO strict.
TEST(GuanoCalls, CallFieldsParseStrictlyInWavAndWavPack) {
  TempFolder dir;
  const FormatWithAttribute record = GuanoTestRecord();
  const auto samples = hv::NoiseSamples(25000);
  hv::SnapshotCallCount count;
  for (float khz : {52.0f, 45.26f, 47.0f, 80.0f}) {
    hv::CallMeasure c;
    c.fPeakHz = khz * 1000;
    count.calls.push_back(c);
  }
  count.medianPeakKHz = 52.0f;
  struct Case {
    std::string extra, calls, peak;
  };
  for (const Case& c : {Case{count.GuanoLines(), "4", "52.0"}, Case{hv::SnapshotCallCount().GuanoLines(), "0", ""},
                        Case{hv::GuanoField("Halvane|Calls", "3\nTE: 99"), "3 TE: 99", ""}}) {
    SCOPED_TRACE(c.extra);
    for (int wavPack : {0, 1}) {
      const std::string path = dir / (wavPack ? "calls.wv" : "calls.wav");
      std::filesystem::remove(path);
      std::unique_ptr<RecordingFile> f(wavPack ? static_cast<RecordingFile*>(new hv::WavPackFile) : new hv::WaveFile);
      FormatWithAttribute r = record;
      f->SetGuanoMetadata(true);
      f->SetGuanoExtra(c.extra);
      ASSERT_EQ(f->Open(path.c_str(), &r, RecordingFile::kWrite), hv::kFileOk);
      uint32_t taken = 0;
      ASSERT_EQ(f->Write(uint32_t(samples.size()), samples.data(), &taken), hv::kFileOk);
      ASSERT_EQ(f->Close(), hv::kFileOk);
      std::string text;
      if (wavPack) {
        hv::WavPackFile reader;
        FormatWithAttribute back;
        ASSERT_EQ(reader.Open(path.c_str(), &back, RecordingFile::kRead), hv::kFileOk);
        text = reader.GuanoText();
      } else {
        ASSERT_TRUE(hv::ReadGuanoText(path, &text));
      }
      auto g = StrictGuano(text);
      ExpectMatchesRecord(g, record, 25000);
      EXPECT_EQ(g.count("Halvane|Calls") ? g.at("Halvane|Calls") : "(none)", c.calls);
      EXPECT_EQ(g.count("Halvane|Call Peak") ? g.at("Halvane|Call Peak") : "", c.peak);
    }
  }
}

TEST(GuanoText, ValuesStayOnTheirLineAndOddRecordsStillCompose) {
  // A comment with line breaks cannot start a new key.
  FormatWithAttribute record = GuanoTestRecord("first\nTE: 99\r\nlast");
  auto g = StrictGuano(hv::ComposeGuanoText(record, 100));
  EXPECT_EQ(g.at("TE"), "10");
  EXPECT_EQ(g.at("Note"), "first TE: 99  last");
  // Brackets inside a comment stay; the placeholder for no comment gives no Note.
  EXPECT_EQ(StrictGuano(hv::ComposeGuanoText(GuanoTestRecord("<loud> pass"), 1)).at("Note"), "<loud> pass");
  EXPECT_EQ(StrictGuano(hv::ComposeGuanoText(GuanoTestRecord("<no comment>"), 1)).count("Note"), 0u);
  // No attribute at all: the header rate, TE 1, no time, no model.
  std::string text = hv::ComposeGuanoText(hv::MakeRecord(384000), 384000);
  EXPECT_NE(text.find("TE: 1\nSamplerate: 384000\nLength: 1.000000\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Timestamp"), std::string::npos);
  // A record that does not parse: kept verbatim in the vendor key, the header rate used.
  text = hv::ComposeGuanoText(hv::MakeRecord(48000, "not a record"), 48000);
  EXPECT_NE(text.find("Samplerate: 48000\n"), std::string::npos);
  EXPECT_NE(text.find("Halvane|Attribute: not a record\n"), std::string::npos);
}

}  // namespace
