#include "display/column_analyser.h"

#include <memory>

#include "dsp/power_fft.h"

namespace hv {

PowerSpectrumFunction MakeColumnAnalyser() {
  auto analyser = std::make_shared<SpectrumSFFT>();
  return [analyser](const float* samples, int count, float* power, int capacity) {
    return analyser->PowerSpectrum(samples, count, power, capacity);
  };
}

}  // namespace hv
