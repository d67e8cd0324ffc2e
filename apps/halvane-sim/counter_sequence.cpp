#include "counter_sequence.h"

namespace hv::sim {

namespace {

constexpr uint32_t kSeed = 0x5EED1234u;
constexpr uint32_t kMul1 = 0x85EBCA6Bu;
constexpr uint32_t kMul2 = 0xC2B2AE35u;
constexpr uint64_t kPeriod = uint64_t(1) << 33;

constexpr uint32_t InverseOdd(uint32_t a) {
  uint32_t x = a;  // Newton's iteration doubles the correct low bits each step
  for (int i = 0; i < 5; ++i) x *= 2u - a * x;
  return x;
}

uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= kMul1;
  x ^= x >> 13;
  x *= kMul2;
  x ^= x >> 16;
  return x;
}

uint32_t Unmix(uint32_t x) {
  x ^= x >> 16;
  x *= InverseOdd(kMul2);
  x ^= (x >> 13) ^ (x >> 26);
  x *= InverseOdd(kMul1);
  x ^= x >> 16;
  return x;
}

static_assert(InverseOdd(kMul1) * kMul1 == 1u && InverseOdd(kMul2) * kMul2 == 1u, "inverses");

}  // namespace

int16_t CounterSample(uint64_t k) {
  k %= kPeriod;
  uint32_t v = Mix(static_cast<uint32_t>(k >> 1) + kSeed);
  return static_cast<int16_t>(k & 1 ? v >> 16 : v & 0xFFFF);
}

void CounterFill(uint64_t first, int16_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = CounterSample(first + i);
}

bool CounterFind(const int16_t* run, size_t count, uint64_t* position) {
  if (!run || count < 3) return false;
  for (size_t offset = 0; offset < 2; ++offset) {
    uint32_t v = static_cast<uint16_t>(run[offset]) | (uint32_t(static_cast<uint16_t>(run[offset + 1])) << 16);
    uint64_t m = Unmix(v) - kSeed;
    uint64_t even = (m << 1) % kPeriod;
    uint64_t start = (even + kPeriod - offset) % kPeriod;
    bool match = true;
    for (size_t i = 0; i < count && match; ++i) match = CounterSample(start + i) == run[i];
    if (match) {
      if (position) *position = start;
      return true;
    }
  }
  return false;
}

}  // namespace hv::sim
