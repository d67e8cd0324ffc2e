// Other programs read our WAV files with the guan chunk after the data: sox
// reports the sample count and rate, Python's wave module reads every frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "guano/guano_files.h"
#include "recording/recording_files.h"

namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

TEST(GuanoPeers, SoxAndPythonWaveReadOurFiles) {
  TempFolder dir;
  for (size_t frames : {size_t(1), size_t(25001)}) {
    SCOPED_TRACE(frames);
    const std::string path = dir / "peer.wav";
    const auto record = GuanoTestRecord(frames == 1 ? "odd" : "even length comment");
    ASSERT_TRUE(hv::WriteRecording<hv::WaveFile>(path, record, ToneBytes(frames), true));

    EXPECT_EQ(Output("sox --i -s '" + path + "' 2>&1"), std::to_string(frames) + "\n");
    EXPECT_EQ(Output("sox --i -r '" + path + "' 2>&1"), "25000\n");
    const std::string python =
        "python3 -c \"import sys, wave; w = wave.open(sys.argv[1]); d = w.readframes(w.getnframes()); "
        "print(w.getnframes(), w.getframerate(), len(d))\" '" + path + "' 2>&1";
    EXPECT_EQ(Output(python), std::to_string(frames) + " 25000 " + std::to_string(2 * frames) + "\n");
  }
}

}  // namespace
