#include "call_scene.h"

#include <algorithm>
#include <cmath>

namespace hv::sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kWindow = 256;

double Window(int i) {
  double a = 2 * kPi * i / (kWindow - 1);
  return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
}

double WindowEnergy() {
  double e = 0;
  for (int i = 0; i < kWindow; ++i) e += Window(i) * Window(i);
  return e;
}

int16_t Clip(double v) {
  if (v > 32767.0) return 32767;
  if (v < -32768.0) return -32768;
  return static_cast<int16_t>(std::lround(v));
}
}  // namespace

CallScene::CallScene(const SceneOptions& options) : options_(options), random_(options.seed) {
  nextStart_ = uint64_t(0.05 * options_.rate);  // the noise floor settles first
  // A click stands about 25 dB above the noise per bin.
  clickAmplitude_ = options_.noiseSigma * std::sqrt(WindowEnergy() * std::pow(10.0, 2.5));
  if (!options_.calls) nextClick_ = options_.clicks ? nextStart_ : UINT64_MAX;
}

double CallScene::Sample(const Active& a, uint64_t n) const {
  const uint64_t i = n - a.start;
  const double t = double(i) / options_.rate;
  double env = 1.0;
  if (i < a.ramp) env = 0.5 - 0.5 * std::cos(kPi * double(i) / double(a.ramp));
  else if (a.length - i < a.ramp) env = 0.5 - 0.5 * std::cos(kPi * double(a.length - i) / double(a.ramp));
  return env * std::sin(2 * kPi * (a.f0 * t + 0.5 * a.slope * t * t));
}

// Amplitude that puts the strongest bin of the frame at the call's middle
// snrDb above the mean noise power per bin.
double CallScene::Calibrate(const Active& a) const {
  const uint64_t first = a.start + a.length / 2 - kWindow / 2;
  double x[kWindow];
  for (int i = 0; i < kWindow; ++i) {
    uint64_t n = first + i;
    x[i] = (n >= a.start && n < a.start + a.length ? Sample(a, n) : 0.0) * Window(i);
  }
  double best = 0;
  for (int m = 1; m < kWindow / 2; ++m) {
    double re = 0, im = 0;
    for (int i = 0; i < kWindow; ++i) {
      re += x[i] * std::cos(2 * kPi * m * i / kWindow);
      im -= x[i] * std::sin(2 * kPi * m * i / kWindow);
    }
    best = std::max(best, re * re + im * im);
  }
  const double target = std::pow(10.0, options_.snrDb / 10.0) * options_.noiseSigma * options_.noiseSigma * WindowEnergy();
  return std::sqrt(target / best);
}

void CallScene::ScheduleNext() {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double rate = options_.rate;
  double ms, f0, f1;
  char kind = 'F';
  const double pick = u(random_);
  if (pick < 0.35) {  // steep FM
    ms = 2.0 + 2.0 * u(random_);
    f0 = 80000 + 12000 * u(random_);
    f1 = 30000 + 12000 * u(random_);
  } else if (pick < 0.7) {  // shallow FM
    ms = 5.0 + 3.0 * u(random_);
    f0 = 60000 + 10000 * u(random_);
    f1 = 42000 + 8000 * u(random_);
  } else {  // constant frequency
    ms = 15.0 + 30.0 * u(random_);
    f0 = f1 = 78000 + 8000 * u(random_);
    kind = 'C';
  }
  Active a;
  a.start = nextStart_;
  a.length = uint64_t(ms * rate / 1000.0);
  a.ramp = std::min<uint64_t>(uint64_t(0.2e-3 * rate), a.length / 4);
  a.f0 = f0;
  a.slope = (f1 - f0) / (double(a.length) / rate);
  a.amplitude = 1.0;
  a.amplitude = Calibrate(a);
  active_.push_back(a);

  TrueCall call;
  call.startS = double(a.start) / rate;
  call.endS = double(a.start + a.length) / rate;
  // The frequencies where the envelope is at half its amplitude: the call's
  // audible ends.
  const double halfRamp = double(a.ramp) / 2 / rate;
  const double seconds = double(a.length) / rate;
  call.fStartHz = f0 + a.slope * halfRamp;
  call.fEndHz = f0 + a.slope * (seconds - halfRamp);
  call.kind = kind;
  truth_.push_back(call);
  if (onCall) onCall(call);

  // One call in five is followed closely by a call of a second bat.
  const double pauseMs = u(random_) < 0.2 ? 3.0 : 40.0 + 80.0 * u(random_);
  const uint64_t pause = uint64_t(pauseMs * rate / 1000.0);
  nextStart_ = a.start + a.length + pause;
  if (options_.clicks && pauseMs > 20) nextClick_ = a.start + a.length + pause / 2;
}

size_t CallScene::Fill(int16_t* out, size_t count) {
  for (size_t k = 0; k < count; ++k, ++n_) {
    if (options_.calls && n_ == nextStart_) ScheduleNext();
    double v = normal_(random_) * options_.noiseSigma;
    if (n_ == nextClick_) {
      v += clickAmplitude_;
      nextClick_ = options_.calls ? UINT64_MAX : n_ + uint64_t(0.05 * options_.rate);
    }
    for (size_t i = 0; i < active_.size();) {
      const Active& a = active_[i];
      if (n_ >= a.start + a.length) {
        active_.erase(active_.begin() + long(i));
        continue;
      }
      if (n_ >= a.start) v += a.amplitude * Sample(a, n_);
      ++i;
    }
    out[k] = Clip(v);
  }
  return count;
}

void WriteTruthHeader(std::FILE* f) { std::fputs("start_s,end_s,fmax_khz,fmin_khz,fchar_khz,kind\n", f); }

void WriteTruthRow(std::FILE* f, const TrueCall& c) {
  std::fprintf(f, "%.6f,%.6f,%.3f,%.3f,%.3f,%s\n", c.startS, c.endS, c.FMaxHz() / 1000, c.FMinHz() / 1000,
               c.fEndHz / 1000, c.kind == 'C' ? "CF" : "FM");
}

}  // namespace hv::sim
