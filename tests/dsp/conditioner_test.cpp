// The conditioning stage: DC removal, response filters, write-back and history.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/conditioner.h"
#include "dsp/response_tables.h"

namespace hv {
namespace {

std::vector<uint8_t> Pack(const std::vector<int16_t>& s, int channels = 1) {
  std::vector<uint8_t> b(s.size() * 2 * channels);
  for (size_t i = 0; i < s.size(); ++i) {
    uint16_t v = static_cast<uint16_t>(s[i]);
    for (int c = 0; c < channels; ++c) {
      b[(i * channels + c) * 2] = v & 0xFF;
      b[(i * channels + c) * 2 + 1] = v >> 8;
    }
  }
  return b;
}

TEST(Conditioner, DcEstimateStartsHighAndDecays) {
  Conditioner c;
  std::vector<uint8_t> block = Pack(std::vector<int16_t>(512, 0));
  std::vector<float> out(512);
  ASSERT_EQ(c.Process(block.data(), 512, 2, ResponseFilter::kNone, out.data()), 512u);
  EXPECT_NEAR(out[0], -32767.0f, 0.01f);  // strongly negative at first
  EXPECT_LT(out[511], out[0] + 600.0f);
  for (int i = 1; i < 64; ++i) c.Process(block.data(), 512, 2, ResponseFilter::kNone, out.data());
  // After 32768 samples of silence the estimate has fallen by a factor of about e.
  EXPECT_NEAR(c.dcEstimate(), 32768.0 / std::exp(1.0), 20.0);
  EXPECT_NEAR(out[511], -c.dcEstimate(), 1e-3);
}

// The DC estimate is a float that follows every sample through a double
// multiply-add: the stream, which recordings keep, is the same to the bit
// whichever instructions compute it. The reference does the multiply and the
// add separately (this file is built for the baseline processor, which has no
// fused multiply-add to contract them into).
TEST(Conditioner, DcRemovalIsTheDoubleSumRoundedToFloatToTheBit) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> full(-32768, 32767), small(-3, 3);
  for (int channels : {1, 4}) {
    for (int kind = 0; kind < 3; ++kind) {
      const int total = 40000;
      std::vector<int16_t> s(total);
      for (int i = 0; i < total; ++i)
        s[i] = static_cast<int16_t>(kind == 0 ? full(rng) : kind == 1 ? small(rng) : (i & 1 ? 32767 : -32768));
      std::vector<uint8_t> bytes = Pack(s, channels);
      Conditioner c;
      std::vector<float> out(total);
      for (int k = 0; k < total; k += 512)
        c.Process(bytes.data() + 2 * channels * k, std::min(512, total - k), 2 * channels, ResponseFilter::kNone,
                  &out[k]);
      float dc = 32768.0f;
      int wrong = 0;
      for (int i = 0; i < total; ++i) {
        const double in = s[i] * 3.0518509447574615e-05;
        const double keep = dc * 0.999969482421875;
        dc = static_cast<float>(in + keep);
        const float want = static_cast<float>(s[i]) - dc;
        if (std::memcmp(&want, &out[i], sizeof want) != 0 && wrong++ < 3)
          ADD_FAILURE() << "sample " << i << " kind " << kind << ": " << out[i] << " vs " << want;
      }
      EXPECT_EQ(wrong, 0);
      const float estimate = c.dcEstimate();
      EXPECT_EQ(std::memcmp(&estimate, &dc, sizeof dc), 0);
    }
  }
}

TEST(Conditioner, ResponseFilterChoice) {
  using R = ResponseFilter;
  // Indexed by (playback, flat choice, file compensated) as the bits 4, 2, 1.
  const R want[8] = {R::kNone, R::kNone, R::kCompensation, R::kCompensation,
                     R::kNone, R::kRestoration, R::kCompensation, R::kNone};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ChooseResponseFilter(i & 4, i & 2, i & 1), want[i]) << i;
}

TEST(Conditioner, WriteBackTruncatesAndClampsSymmetrically) {
  const float in[] = {40000.0f, -40000.0f, -1.9f, 1.9f, NAN};
  const int16_t want[] = {32767, -32767, -1, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(WriteBackSample(in[i]), want[i]) << in[i];
  // Full-scale Nyquist input through the compensation table (gain near 3 there).
  Conditioner c;
  std::vector<int16_t> s(512);
  for (int i = 0; i < 512; ++i) s[i] = (i & 1) ? 32767 : -32768;
  std::vector<uint8_t> block = Pack(s);
  std::vector<float> out(512);
  c.Process(block.data(), 512, 2, ResponseFilter::kCompensation, out.data());
  int atLimit = 0;
  for (int i = 0; i < 512; ++i) {
    int16_t v = static_cast<int16_t>(block[2 * i] | (block[2 * i + 1] << 8));
    EXPECT_GE(v, -32767);
    EXPECT_EQ(v, WriteBackSample(out[i]));
    if (v == 32767 || v == -32767) ++atLimit;
  }
  EXPECT_GT(atLimit, 400);
}

// Continuous recordings keep the filtered 16-bit stream, so the filter's result
// is fixed to the bit: float32 sums in tap order over the whole conditioned
// stream, whatever vector width the processor offers, however the stream is cut
// into blocks and whatever the frame size; mono blocks get each sum written back,
// multichannel frames are left alone.
TEST(Conditioner, FilteredStreamIsFloatSumsInTapOrderToTheBitAcrossBlocks) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> dist(-32768, 32767);
  const int total = 4096;
  std::vector<int16_t> s(total);
  for (auto& v : s) v = static_cast<int16_t>(dist(rng));

  Conditioner plain;
  std::vector<float> y(total);
  std::vector<uint8_t> copy = Pack(s);
  for (int k = 0; k < total; k += 512) plain.Process(copy.data() + 2 * k, 512, 2, ResponseFilter::kNone, &y[k]);

  for (ResponseFilter f : {ResponseFilter::kCompensation, ResponseFilter::kRestoration}) {
    const float* coef = f == ResponseFilter::kCompensation ? kCompensationTable : kRestorationTable;
    for (int channels : {1, 4}) {  // 4 channels: blocks of 128 frames
      SCOPED_TRACE(testing::Message() << "filter " << int(f) << ", channels " << channels);
      const int frames = 512 / channels;
      std::vector<uint8_t> raw = Pack(s, channels);
      Conditioner c;
      std::vector<float> out(total);
      for (int k = 0; k < total; k += frames) c.Process(raw.data() + 2 * channels * k, frames, 2 * channels, f, &out[k]);
      for (int n = 0; n < total; ++n) {
        float acc = 0.0f;
        for (int m = 0; m < 32; ++m) {
          int idx = n - 32 + m;
          acc += coef[m] * (idx >= 0 ? y[idx] : 0.0f);
        }
        ASSERT_EQ(out[n], acc) << n;
        if (channels > 1) continue;
        uint16_t written = static_cast<uint16_t>(raw[2 * n] | (raw[2 * n + 1] << 8));
        ASSERT_EQ(static_cast<int16_t>(written), WriteBackSample(acc)) << n;
      }
      if (channels > 1) EXPECT_EQ(raw, Pack(s, channels));
    }
  }
}

}  // namespace
}  // namespace hv
