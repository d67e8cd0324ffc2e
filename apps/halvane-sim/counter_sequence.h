// The `counter` test signal: a fixed pseudo-random sequence of 16-bit samples,
// so that any recording of it can be checked sample for sample and any gap,
// repeat or byte slip found.
//
// Definition. For m = 0, 1, 2, ... let v(m) = mix(m + 0x5EED1234) over 32-bit
// unsigned arithmetic, where mix is the bijective finaliser
//     x ^= x >> 16;  x *= 0x85EBCA6B;  x ^= x >> 13;  x *= 0xC2B2AE35;  x ^= x >> 16;
// Sample 2m is the low half of v(m), sample 2m + 1 its high half, each read as a
// two's-complement int16. The sequence repeats after 2^33 samples (9.5 hours
// at 250 kHz). Because mix can be inverted, two samples at an even position
// reveal m, so a run of samples is located in constant time.
//
// The simulator starts every connection at sample 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hv::sim {

// Sample k of the sequence (k taken modulo 2^33).
int16_t CounterSample(uint64_t k);
// Samples first .. first + count - 1 into `out`.
void CounterFill(uint64_t first, int16_t* out, size_t count);
// Where `run` (at least 3 samples) sits in the sequence: true with *position set
// to the index of run[0] when every sample of the run matches there.
bool CounterFind(const int16_t* run, size_t count, uint64_t* position);

}  // namespace hv::sim
