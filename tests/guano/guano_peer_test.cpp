// Other programs read our WAV files with the guan chunk after the data: sox
// reports the sample count and rate, Python's wave module reads every frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "guano/guano_files.h"
#include "recording/recording_files.h"
#include "support/process.h"

namespace {

using hv::testutil::CommandOutput;

TEST(GuanoPeers, SoxAndPythonWaveReadOurFiles) {
  TempFolder dir;
  for (size_t frames : {size_t(1), size_t(25001)}) {
    SCOPED_TRACE(frames);
    const std::string path = dir / "peer.wav";
    const auto record = GuanoTestRecord(frames == 1 ? "odd" : "even length comment");
    ASSERT_TRUE(hv::WriteRecording<hv::WaveFile>(path, record, ToneBytes(frames), true));

    EXPECT_EQ(CommandOutput("sox --i -s '" + path + "' 2>&1"), std::to_string(frames) + "\n");
    EXPECT_EQ(CommandOutput("sox --i -r '" + path + "' 2>&1"), "25000\n");
    const std::string python =
        "python3 -c \"import sys, wave; w = wave.open(sys.argv[1]); d = w.readframes(w.getnframes()); "
        "print(w.getnframes(), w.getframerate(), len(d))\" '" + path + "' 2>&1";
    EXPECT_EQ(CommandOutput(python), std::to_string(frames) + " 25000 " + std::to_string(2 * frames) + "\n");
  }
}

}  // namespace
