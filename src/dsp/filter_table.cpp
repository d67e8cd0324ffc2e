#include "dsp/filter_table.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace hv {

namespace {
// Pi to the precision the filter tables were designed with (not M_PI): the
// coefficients must come out the same everywhere.
constexpr double kPi = 3.14159265;
constexpr double kTwoPi = 6.2831853;
}  // namespace

// ---- real table ----

template <typename T>
FilterTableT<T>::FilterTableT(double cutoff, double gain) {
  cutoff_ = cutoff;
  gain_ = gain;
  phases_ = 2;
  taps_ = 63;
  EnsureArray();
  Design();
}

template <typename T>
FilterTableT<T>::~FilterTableT() {
  delete[] coefficients_;
}

template <typename T>
void FilterTableT<T>::EnsureArray() {
  uint32_t need = phases_ * taps_;
  if (capacity_ >= need) return;
  delete[] coefficients_;
  capacity_ = need;
  coefficients_ = new T[need]();
}

template <typename T>
void FilterTableT<T>::Design() {
  if (cutoff_ < kMinimumCutoff) cutoff_ = kMinimumCutoff;
  const double P = phases_, Tn = taps_;
  for (uint32_t i = 0; i < phases_; ++i) {
    for (uint32_t j = 0; j < taps_; ++j) {
      double x = (j - (Tn - 1.0) / 2.0 - (i / P - 0.5)) * kPi;
      double h;
      if (std::fabs(x) > 1e-10) {
        // Hamming window over the interleaved prototype (denominator P x T).
        double w = 0.54 - 0.46 * std::cos((i + j * P) * kTwoPi / (P * Tn));
        h = std::sin(x * cutoff_) * gain_ / x * w;
      } else {
        h = cutoff_ * gain_;
      }
      coefficients_[i * taps_ + j] = static_cast<T>(h);
    }
  }
}

template <typename T>
void FilterTableT<T>::SetCutoff(double cutoff) {
  cutoff_ = cutoff;
  Design();
}

template <typename T>
void FilterTableT<T>::SetShape(uint32_t phases, uint32_t taps) {
  phases_ = phases;
  taps_ = taps;
  EnsureArray();
  Design();
}

template class FilterTableT<float>;

// ---- complex band-pass table ----

BPFilterTable::BPFilterTable(double cutoff, double gain, double center) {
  cutoff_ = cutoff;
  phases_ = 255;
  taps_ = 127;
  gain_ = gain;
  center_ = center;
  EnsureArray();
  Design();
}

BPFilterTable::~BPFilterTable() { delete[] coefficients_; }

void BPFilterTable::EnsureArray() {
  uint32_t need = phases_ * taps_;
  if (capacity_ >= need) return;
  delete[] coefficients_;
  capacity_ = need;
  coefficients_ = new ComplexF[need]();
}

void BPFilterTable::Design() {
  if (cutoff_ < kMinimumCutoff) cutoff_ = kMinimumCutoff;
  const double N = phases_, T = taps_;
  const double span = N * T - 1.0;  // exact-Blackman window over all N x T points
  for (uint32_t i = 0; i < phases_; ++i) {
    const double rowOffset = (T - 1.0) / 2.0 + (i / N - 0.5);
    ComplexF* row = coefficients_ + static_cast<uint64_t>(i) * taps_;
    for (uint32_t j = 0; j < taps_; ++j) {
      double x = (j - rowOffset) * kPi;
      double h;
      if (std::fabs(x) > 1e-10) {
        double theta = (i + j * N) / span * kTwoPi;
        double w = 0.42659 - 0.49656 * std::cos(theta) + 0.07685 * std::cos(2.0 * theta);
        h = gain_ * std::sin(cutoff_ * x) / x * w;
      } else {
        h = cutoff_ * gain_;
      }
      double hf = static_cast<float>(h);
      double s, c;
      ::sincos(center_ * x, &s, &c);
      row[j].re = static_cast<float>(hf * c);
      row[j].im = static_cast<float>(-hf * s);
    }
  }
  ++designCount_;
}

void BPFilterTable::SetCutoff(double cutoff) {
  cutoff_ = cutoff;
  Design();
}

void BPFilterTable::SetCenter(double center) {
  center_ = center;
  Design();
}

void BPFilterTable::SetBand(double cutoff, double center) {
  const double designed = cutoff < kMinimumCutoff ? kMinimumCutoff : cutoff;
  if (designed == cutoff_ && center == center_) return;
  cutoff_ = cutoff;
  center_ = center;
  Design();
}

void BPFilterTable::SetShape(uint32_t phases, uint32_t taps) {
  phases_ = phases;
  taps_ = taps;
  EnsureArray();
  Design();
}

}  // namespace hv
