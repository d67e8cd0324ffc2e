#include "dsp/conditioner.h"

#include <cstring>

#include "dsp/response_tables.h"

namespace hv {

ResponseFilter ChooseResponseFilter(bool playback, bool flatChoice, bool fileCompensated) {
  if (!playback) return flatChoice ? ResponseFilter::kCompensation : ResponseFilter::kNone;
  if (flatChoice) return fileCompensated ? ResponseFilter::kNone : ResponseFilter::kCompensation;
  return fileCompensated ? ResponseFilter::kRestoration : ResponseFilter::kNone;
}

Conditioner::Conditioner() { std::memset(work_, 0, sizeof(work_)); }

namespace {

// out[k] = sum over m of coef[m] * x[k + m], m = 0..31, summed in float32 in
// order of m; eight outputs at a time so the loop vectorises.
void Fir32(const float* x, const float* coef, uint32_t count, float* out) {
  uint32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    float acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (uint32_t m = 0; m < Conditioner::kTaps; ++m) {
      const float c = coef[m];
      for (int i = 0; i < 8; ++i) acc[i] += c * x[k + i + m];
    }
    for (int i = 0; i < 8; ++i) out[k + i] = acc[i];
  }
  for (; k < count; ++k) {
    float acc = 0.0f;
    for (uint32_t m = 0; m < Conditioner::kTaps; ++m) acc += coef[m] * x[k + m];
    out[k] = acc;
  }
}

}  // namespace

int16_t WriteBackSample(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32767.0f) return -32767;
  if (!(v == v)) return 0;
  return static_cast<int16_t>(v);
}

uint32_t Conditioner::Process(uint8_t* input, uint32_t frames, uint32_t bytesPerFrame, ResponseFilter filter,
                              float* out) {
  if (bytesPerFrame < 2) bytesPerFrame = 2;
  const uint32_t count = frames < kBlockSamples ? frames : kBlockSamples;

  // History: the 32 conditioned samples written last, whatever the size of the
  // block that wrote them.
  std::memmove(work_, work_ + lastEnd_ - kTaps, kTaps * sizeof(float));

  float* y = work_ + kTaps;
  float dc = dc_;
  const uint8_t* p = input;
  for (uint32_t k = 0; k < count; ++k, p += bytesPerFrame) {
    int16_t x = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    dc = static_cast<float>(x * 3.0518509447574615e-05 + dc * 0.999969482421875);
    y[k] = static_cast<float>(x) - dc;
  }
  dc_ = dc;
  lastEnd_ = kTaps + count;

  if (filter == ResponseFilter::kNone) {
    std::memcpy(out, y, count * sizeof(float));
    return count;
  }
  const float* coef = filter == ResponseFilter::kCompensation ? kCompensationTable : kRestorationTable;
  Fir32(work_, coef, count, out);
  if (bytesPerFrame == 2) {
    for (uint32_t k = 0; k < count; ++k) {
      uint16_t v = static_cast<uint16_t>(WriteBackSample(out[k]));
      input[2 * k] = static_cast<uint8_t>(v & 0xFF);
      input[2 * k + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return count;
}

}  // namespace hv
