// The file-kind table: reading picks the kind by content, whatever the name
// says; files no kind reads are refused; extensions map to their kind.
#include "formats/recording_kinds.h"

#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "formats/wave_file.h"
#include "formats/wavpack_file.h"
#include "recording/recording_files.h"

namespace hv {
namespace {

// Each kind's file, written under the other kind's extension, opens as the kind
// it holds, with its record and every sample.
TEST(RecordingKinds, ReadingChoosesTheKindByContent) {
  TempFolder dir;
  const std::string text = "MMMMMMMMM(#500000#)<&1&>[!250!]DEV=x,CMT=<kinds>MMMMMMMMM ";
  const std::vector<uint8_t> samples = NoiseSamples(30000, 11);
  for (const RecordingKind& written : RecordingKinds()) {
    const std::string wrongName = dir / (std::string("rec.") + (written.id == RecordingKindId::kWave ? "wv" : "wav"));
    std::filesystem::remove(wrongName);
    {
      std::unique_ptr<RecordingFile> out = written.make();
      FormatWithAttribute record = MakeRecord(500000, text, 2, 4);
      ASSERT_EQ(out->Open(wrongName.c_str(), &record, RecordingFile::kWrite), kFileOk) << written.name;
      uint32_t taken = 0;
      ASSERT_EQ(out->Write(uint32_t(samples.size()), samples.data(), &taken), kFileOk);
      ASSERT_EQ(out->Close(), kFileOk);
    }
    FormatWithAttribute back;
    const RecordingKind* kind = nullptr;
    std::unique_ptr<RecordingFile> in = OpenRecording(wrongName, &back, &kind);
    ASSERT_TRUE(in) << written.name;
    EXPECT_EQ(kind, &written);
    EXPECT_EQ(std::tuple(back.format.sampleRate, back.format.channels, back.format.blockAlign),
              std::tuple(500000u, uint16_t(2), uint16_t(4)));
    EXPECT_EQ(back.AttributeText(), text.substr(0, text.size() & ~size_t(1)));
    EXPECT_EQ(ReadAllSamples(*in), samples) << written.name;
    in->Close();
  }
}

TEST(RecordingKinds, FilesNoKindReadsAreRefused) {
  TempFolder dir;
  const std::string cases[] = {
      "",                                                // empty
      "RIF",                                             // cut inside the first id
      std::string("RIFF\x04\0\0\0WAVE", 12),             // a RIFF/WAVE header and nothing more
      std::string("wvpk\x20\0\0\0", 8),                  // a WavPack block header cut short
      "GUANO|Version: 1.0\nNote: not a recording\n",     // text
  };
  int n = 0;
  for (const std::string& bytes : cases) {
    const std::string path = dir / ("bad" + std::to_string(n++) + ".wav");
    std::ofstream(path, std::ios::binary) << bytes;
    FormatWithAttribute back;
    back.format.sampleRate = 1234;  // must not survive a refusal
    const RecordingKind* kind = &RecordingKinds()[0];
    EXPECT_EQ(OpenRecording(path, &back, &kind), nullptr) << n;
    EXPECT_EQ(kind, nullptr);
    EXPECT_EQ(back.format.sampleRate, 0u);
  }
  FormatWithAttribute back;
  EXPECT_EQ(OpenRecording(dir / "missing.wav", &back), nullptr);
}

TEST(RecordingKinds, ExtensionsMapToTheirKind) {
  const RecordingKind& wave = RecordingKindOf(RecordingKindId::kWave);
  const RecordingKind& pack = RecordingKindOf(RecordingKindId::kWavPack);
  struct Case {
    const char* extension;
    bool anyCase;
    const RecordingKind* kind;
  };
  const Case cases[] = {
      {".wav", false, &wave}, {".wv", false, &pack},     {".WAV", false, nullptr}, {".WAV", true, &wave},
      {".Wv", true, &pack},   {".wave", true, nullptr},  {".wa", true, nullptr},   {".tmp_wav", true, nullptr},
      {"wav", true, nullptr}, {"", true, nullptr},       {".", true, nullptr},     {".wvx", false, nullptr},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RecordingKindOfExtension(c.extension, c.anyCase), c.kind) << c.extension << " " << c.anyCase;
}  // Names ending in each kind's extension: record_paths_test.

// New recordings: 0 is WAV, every other value WavPack (a stored setting may
// hold any number); a recorder's file set keeps one object per kind.
TEST(RecordingKinds, OutputFormatSettingChoosesTheKindOfNewRecordings) {
  const std::pair<int, RecordingKindId> cases[] = {{0, RecordingKindId::kWave},      {1, RecordingKindId::kWavPack},
                                                   {2, RecordingKindId::kWavPack},   {-1, RecordingKindId::kWavPack},
                                                   {99, RecordingKindId::kWavPack}};
  for (const auto& [setting, id] : cases) EXPECT_EQ(RecordingKindForOutputFormat(setting).id, id) << setting;

  RecordingFileSet files;
  RecordingFile* wave = files.Of(RecordingKindOf(RecordingKindId::kWave));
  RecordingFile* pack = files.Of(RecordingKindOf(RecordingKindId::kWavPack));
  EXPECT_NE(wave, pack);
  EXPECT_EQ(files.Of(RecordingKindOf(RecordingKindId::kWave)), wave);
  EXPECT_NE(dynamic_cast<WaveFile*>(wave), nullptr);
  EXPECT_NE(dynamic_cast<WavPackFile*>(pack), nullptr);
}

}  // namespace
}  // namespace hv
