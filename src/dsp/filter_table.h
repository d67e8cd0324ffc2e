// Polyphase windowed-sinc coefficient tables.
//
// FilterTableT<T>: real coefficients, `phases` rows of `taps` entries, row-major.
// Row i is a low-pass prototype delayed by (taps - 1)/2 + (i/phases - 0.5)
// samples, so the rows together interpolate between input samples. The cutoff is
// the prototype's half-bandwidth as a fraction of the Nyquist frequency of the
// stream it is applied to (0 < cutoff <= 1; values below 1e-10 are raised to 1e-10).
//
// BPFilterTable: the same layout with complex entries (real part then imaginary
// part, float32 each) and a band centre: each row is the low-pass prototype
// multiplied by e^(-i*center*x), a band-pass that also shifts the band centre
// (a fraction of the input Nyquist frequency) down to 0 Hz.
//
// Every setter redesigns at once. The coefficient array grows when phases x taps
// exceeds its capacity and never shrinks. No toolkit, no globals.
#pragma once

#include <cstdint>

namespace hv {

// Cutoffs below this are raised to it before designing.
constexpr double kMinimumCutoff = 1e-10;

template <typename T>
class FilterTableT {
 public:
  // Two phases of 63 taps: row 0 interpolates half a sample, row 1 is a delay of 31.
  FilterTableT(double cutoff, double gain);
  virtual ~FilterTableT();
  FilterTableT(const FilterTableT&) = delete;
  FilterTableT& operator=(const FilterTableT&) = delete;

  // Recomputes every coefficient from phases, taps, cutoff and gain.
  virtual void Design();

  void SetCutoff(double cutoff);
  // Changes the table's shape (rows x taps), growing the array when needed, and redesigns.
  void SetShape(uint32_t phases, uint32_t taps);

  uint32_t phases() const { return phases_; }
  uint32_t taps() const { return taps_; }
  uint32_t capacity() const { return capacity_; }
  double cutoff() const { return cutoff_; }
  double gain() const { return gain_; }
  const T* coefficients() const { return coefficients_; }
  const T* Row(uint32_t i) const { return coefficients_ + static_cast<uint64_t>(i) * taps_; }

 private:
  void EnsureArray();

  uint32_t phases_ = 0;
  uint32_t taps_ = 0;
  T* coefficients_ = nullptr;
  uint32_t capacity_ = 0;
  double gain_ = 1.0;
  double cutoff_ = 1.0;
};

extern template class FilterTableT<float>;

// One complex coefficient: real part, then imaginary part.
struct ComplexF {
  float re;
  float im;
};

class BPFilterTable {
 public:
  // 255 phases of 127 taps.
  BPFilterTable(double cutoff, double gain, double center);
  virtual ~BPFilterTable();
  BPFilterTable(const BPFilterTable&) = delete;
  BPFilterTable& operator=(const BPFilterTable&) = delete;

  virtual void Design();

  void SetCutoff(double cutoff);
  // center: band centre as a fraction of the input Nyquist frequency (0..1).
  void SetCenter(double center);
  // Both at once, designed once, and not at all when the band is the one
  // already designed (a design takes some 130000 sines and cosines).
  void SetBand(double cutoff, double center);
  void SetShape(uint32_t phases, uint32_t taps);

  uint32_t phases() const { return phases_; }
  uint32_t taps() const { return taps_; }
  uint32_t capacity() const { return capacity_; }
  double cutoff() const { return cutoff_; }
  double gain() const { return gain_; }
  double center() const { return center_; }
  const ComplexF* coefficients() const { return coefficients_; }
  const ComplexF* Row(uint32_t i) const { return coefficients_ + static_cast<uint64_t>(i) * taps_; }
  // Counts designs since construction (lets owners and tests see redesigns).
  uint64_t designCount() const { return designCount_; }

 private:
  void EnsureArray();

 protected:
  uint32_t phases_ = 0;
  uint32_t taps_ = 0;
  ComplexF* coefficients_ = nullptr;
  uint32_t capacity_ = 0;
  double gain_ = 1.0;
  double cutoff_ = 1.0;
  double center_ = 0.0;
  uint64_t designCount_ = 0;
};

}  // namespace hv
