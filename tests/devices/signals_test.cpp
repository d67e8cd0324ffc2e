// The simulator's signals: the counter sequence and its finder, the WAV reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "counter_sequence.h"
#include "signals.h"
#include "support/recorder_layouts.h"
#include "wav_reader.h"

namespace hv::sim {
namespace {

TEST(CounterSequence, FindLocatesRunsAtEveryParityAndRejectsDamage) {
  for (uint64_t start : {uint64_t(0), uint64_t(1), uint64_t(12345), uint64_t(2500001), (uint64_t(1) << 33) - 2}) {
    std::vector<int16_t> run(64);
    CounterFill(start, run.data(), run.size());
    uint64_t found = 0;
    ASSERT_TRUE(CounterFind(run.data(), run.size(), &found)) << start;
    EXPECT_EQ(found, start);
    run[40] ^= 1;  // one flipped bit anywhere in the run
    EXPECT_FALSE(CounterFind(run.data(), run.size(), &found)) << start;
  }
  int16_t two[2] = {CounterSample(0), CounterSample(1)};
  EXPECT_FALSE(CounterFind(two, 2, nullptr));
  // A run with one sample missing is not a run of the sequence.
  std::vector<int16_t> gap(32);
  CounterFill(1000, gap.data(), 16);
  CounterFill(1017, gap.data() + 16, 16);
  EXPECT_FALSE(CounterFind(gap.data(), gap.size(), nullptr));
  // The sequence uses the whole 16-bit range.
  int16_t lo = 0, hi = 0;
  for (uint64_t k = 0; k < 100000; ++k) lo = std::min(lo, CounterSample(k)), hi = std::max(hi, CounterSample(k));
  EXPECT_LT(lo, -32000);
  EXPECT_GT(hi, 32000);
}

TEST(Signals, NamesAndToneFrequency) {
  std::string error;
  EXPECT_EQ(MakeSignal("tone:", &error), nullptr);
  EXPECT_EQ(MakeSignal("tone:200000", &error), nullptr);
  EXPECT_EQ(MakeSignal("chirp", &error), nullptr);
  EXPECT_NE(error.find("unknown signal"), std::string::npos);
  auto tone = MakeSignal("tone:25000", &error);
  ASSERT_NE(tone, nullptr);
  std::vector<int16_t> s(1000);
  ASSERT_EQ(tone->Fill(s.data(), s.size()), s.size());
  // 25 kHz at 250 kHz: a period of 10 samples.
  for (size_t i = 0; i + 10 < s.size(); ++i) ASSERT_NEAR(s[i], s[i + 10], 2);
  auto calls = MakeSignal("calls", &error);
  std::vector<int16_t> c(25000);  // 100 ms: one call in the first 5 ms, then noise
  calls->Fill(c.data(), c.size());
  double callPower = 0, quietPower = 0;
  for (size_t i = 0; i < 1250; ++i) callPower += double(c[i]) * c[i];
  for (size_t i = 5000; i < 6250; ++i) quietPower += double(c[i]) * c[i];
  EXPECT_GT(callPower, 1000 * quietPower);
}

std::vector<uint8_t> Wav(uint16_t tag, uint16_t channels, uint16_t bits, std::vector<int16_t> samples,
                         uint32_t fmtSize = 16) {
  std::vector<uint8_t> b;
  auto u16 = [&](uint16_t v) { b.push_back(v & 0xFF), b.push_back(v >> 8); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto id = [&](const char* s) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(s[i]));
  };
  id("RIFF");
  u32(0);
  id("WAVE");
  id("fmt ");
  u32(fmtSize);
  u16(tag), u16(channels), u32(250000), u32(250000 * 2 * channels), u16(2 * channels), u16(bits);
  for (uint32_t i = 16; i < fmtSize; ++i) b.push_back('M');
  if (fmtSize & 1) b.push_back(0);
  id("data");
  u32(static_cast<uint32_t>(samples.size() * 2));
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
  return b;
}

TEST(WavReader, FirstChannelTruncationAndRefusals) {
  WavSamples out;
  std::string error;
  auto stereo = Wav(1, 2, 16, {1, -1, 2, -2, 3, -3}, 18 + 512);  // attribute room in fmt
  ASSERT_TRUE(ParseWav(stereo.data(), stereo.size(), &out, &error)) << error;
  EXPECT_EQ(out.firstChannel, (std::vector<int16_t>{1, 2, 3}));
  // Cut inside the data: the whole frames that are there.
  ASSERT_TRUE(ParseWav(stereo.data(), stereo.size() - 3, &out, &error));
  EXPECT_EQ(out.firstChannel, (std::vector<int16_t>{1, 2}));
  // Cut inside the header, wrong sample size, a data size far past the end.
  auto mono = Wav(1, 1, 16, {5, 6});
  for (size_t cut = 0; cut < 44 - 8; ++cut) EXPECT_FALSE(ParseWav(mono.data(), cut, &out, &error)) << cut;
  auto eight = Wav(1, 1, 8, {5, 6});
  EXPECT_FALSE(ParseWav(eight.data(), eight.size(), &out, &error));
  auto huge = mono;
  huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;
  ASSERT_TRUE(ParseWav(huge.data(), huge.size(), &out, &error));
  EXPECT_EQ(out.firstChannel.size(), 2u);
  auto hugeFmt = mono;
  hugeFmt[16] = hugeFmt[17] = hugeFmt[18] = hugeFmt[19] = 0xFF;
  EXPECT_FALSE(ParseWav(hugeFmt.data(), hugeFmt.size(), &out, &error));
}

// Files of other recorders (chunks before and after the data, odd sizes):
// exactly the data chunk's samples, at the header's rate.
TEST(WavReader, OtherRecordersLayouts) {
  for (const test::RecorderFile& f : test::RecorderFiles(0.01)) {
    WavSamples out;
    std::string error;
    ASSERT_TRUE(ParseWav(f.image.data(), f.image.size(), &out, &error)) << f.name << ": " << error;
    std::vector<int16_t> expected(f.data.size() / 2);
    std::memcpy(expected.data(), f.data.data(), f.data.size());
    EXPECT_EQ(std::tuple(out.sampleRate, out.channels), std::tuple(f.headerRate, 1)) << f.name;
    EXPECT_TRUE(out.firstChannel == expected) << f.name;
  }
}

}  // namespace
}  // namespace hv::sim
