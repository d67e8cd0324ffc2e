// Our recordings read by other programs: sox, Python's wave module and wvunpack.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/le_bytes.h"
#include "formats/wavpack_file.h"
#include "guano/guano_files.h"
#include "recording/recording_files.h"
#include "support/process.h"

namespace hv {
namespace {

std::string RunCommand(const std::string& command) { return testutil::CommandOutput(command + " 2>&1"); }

const char kAttribute[] =
    "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=HX302,DC=Off,UTC=2024:01:31::23:59:59.123,LTB=  60,CMT=<peer test>MMMMMMMMM ";

// WAV files with GUANO after the data (a guan chunk of odd and of even length,
// 1 and 50001 frames): sox and Python read the rate and every frame, sox decodes
// exactly our samples.
TEST(RecordingPeers, SoxAndPythonReadOurWaveFiles) {
  TempFolder dir;
  const std::string path = dir / "a.wav", raw = dir / "a.raw";
  for (size_t frames : {size_t(1), size_t(50001)}) {
    SCOPED_TRACE(frames);
    const std::vector<uint8_t> samples = NoiseSamples(frames, 5);
    const FormatWithAttribute record = GuanoTestRecord(frames == 1 ? "odd" : "even length comment");
    ASSERT_TRUE(WriteRecording<WaveFile>(path, record, samples, true, 1024));
    EXPECT_EQ(RunCommand("sox --i -s '" + path + "'"), std::to_string(frames) + "\n");
    EXPECT_EQ(RunCommand("sox --i -r '" + path + "'"), "25000\n");
    EXPECT_EQ(RunCommand("python3 -c \"import wave,sys; w=wave.open(sys.argv[1]); d=w.readframes(w.getnframes()); "
                         "print(w.getframerate(), w.getnframes(), w.getsampwidth(), len(d))\" '" + path + "'"),
              "25000 " + std::to_string(frames) + " 2 " + std::to_string(2 * frames) + "\n");
    RunCommand("sox '" + path + "' -t raw '" + raw + "'");
    EXPECT_EQ(ReadAllBytes(raw), samples);
  }
}

TEST(RecordingPeers, WvunpackDecodesOurWavPackFilesAndShowsTheTag) {
  TempFolder dir;
  const std::vector<uint8_t> samples = NoiseSamples(120000, 5);
  ASSERT_TRUE(WriteRecording<WavPackFile>(dir / "a.wv", MakeRecord(25000, kAttribute), samples, false, 1024));
  std::string summary = RunCommand("wvunpack -ss '" + (dir / "a.wv") + "'");
  EXPECT_NE(summary.find("SONO_ATTR"), std::string::npos) << summary;
  EXPECT_NE(summary.find("25000 Hz"), std::string::npos) << summary;
  std::string tag = RunCommand("wvunpack -q -x SONO_ATTR '" + (dir / "a.wv") + "'");
  EXPECT_NE(tag.find("DEV=HX302,DC=Off"), std::string::npos) << tag;
  RunCommand("wvunpack -q -y -r '" + (dir / "a.wv") + "' -o '" + (dir / "a.raw") + "'");
  EXPECT_EQ(ReadAllBytes(dir / "a.raw"), samples);
  RunCommand("wvunpack -q -y '" + (dir / "a.wv") + "' -o '" + (dir / "b.wav") + "'");
  std::string info = RunCommand("sox --i '" + (dir / "b.wav") + "'");
  EXPECT_NE(info.find("= 120000 samples"), std::string::npos) << info;
}

}  // namespace
}  // namespace hv
