// Real-input FFT.
//
// Given N real float32 samples (N even, at least 2) it produces the unnormalised
// transform X_m = sum over n of x_n * e^(-2*pi*i*m*n/N), packed in N words:
//   word m       = Re X_m  for m = 0 .. N/2
//   word N/2 + m = Im X_m  for m = 1 .. N/2 - 1
// (Im X_0 and Im X_N/2 are zero and not stored.)
//
// Method for N a power of two, N >= 32: the even and odd samples form N/2
// complex values, transformed by an in-place radix-4 (plus one radix-2 stage
// when needed) decimation-in-frequency FFT on split real/imaginary arrays with
// four-lane vector arithmetic (stages of span 8 and more eight lanes wide with
// AVX), then unscrambled and split into the real transform. Other even sizes
// use a direct transform. Tables are built at construction; Transform
// allocates nothing.
#pragma once

#include <cstdint>

namespace hv {

class RealFFT {
 public:
  explicit RealFFT(int n);
  ~RealFFT();
  RealFFT(const RealFFT&) = delete;
  RealFFT& operator=(const RealFFT&) = delete;

  int size() const { return n_; }
  // in: n samples; out: n words as above. in and out may be the same array.
  void Transform(const float* in, float* out);

  // Stages of span 8 and more run eight lanes wide where the processor has
  // AVX (the default), with the same result to the bit. Tests and benchmarks
  // turn them off to compare; returns whether they are in use now.
  static bool UseWideKernels(bool wide);
  static bool WideKernels();

 private:
  void TransformFast(const float* in, float* out);
  void TransformDirect(const float* in, float* out);

  int n_ = 0;
  int half_ = 0;         // M = n / 2 complex points
  bool fast_ = false;
  float* re_ = nullptr;  // split work arrays, M entries each (+4 spare)
  float* im_ = nullptr;
  float* zr_ = nullptr;  // unscrambled transform, M + 4 entries each
  float* zi_ = nullptr;
  int* position_ = nullptr;  // natural index -> position in the work arrays
  float* stageTwiddles_ = nullptr;
  float* postCos_ = nullptr;  // cos and sin of 2*pi*m/N, m < M
  float* postSin_ = nullptr;
  bool radix2First_ = false;
  // Direct transform tables (other sizes).
  float* cosTable_ = nullptr;
  float* sinTable_ = nullptr;
};

}  // namespace hv
