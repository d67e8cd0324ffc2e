#include <gtest/gtest.h>

#include "audio/wav_sink.h"
#include "wav_file.h"

namespace hv {
namespace {

// A file closed with an odd count is padded and sized; a later writer of the
// same run continues it (over the pad) instead of starting afresh.
TEST(WavSink, FinishesTheHeaderAndContinuesAFile) {
  TempFolder dir;
  std::string path = dir / "sink.wav";
  WaveFormat format = MakeWaveFormat(44100, 1, 2, 16);
  const uint8_t a[] = {1, 2, 3}, b[] = {4, 5};
  {
    WavSink sink;
    ASSERT_TRUE(sink.Open(path, format));
    ASSERT_TRUE(sink.Append(a, 3));
    ASSERT_TRUE(sink.Close());
  }
  std::vector<uint8_t> first = ReadAllBytes(path);
  ASSERT_EQ(first.size(), 44u + 4);
  EXPECT_EQ(Le32At(first, 4), 36u + 4);
  EXPECT_EQ(Le32At(first, 40), 3u);
  EXPECT_EQ(Le32At(first, 24), 44100u);
  {
    WavSink sink;
    ASSERT_TRUE(sink.OpenToAppend(path, format));
    ASSERT_TRUE(sink.Append(b, 2));
  }  // closed by the destructor
  std::vector<uint8_t> both = ReadAllBytes(path);
  ASSERT_EQ(both.size(), 44u + 6);
  EXPECT_EQ(Le32At(both, 40), 5u);
  EXPECT_EQ(std::vector<uint8_t>(both.begin() + 44, both.begin() + 49), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  // Another format is not continued.
  WavSink other;
  ASSERT_TRUE(other.OpenToAppend(path, MakeWaveFormat(48000, 1, 2, 16)));
  other.Close();
  EXPECT_EQ(ReadAllBytes(path).size(), 44u);
}

}  // namespace
}  // namespace hv
