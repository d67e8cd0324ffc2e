#include "calls/call_detector.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace hv {

namespace {
constexpr int kWindow = SpectrumSFFT::kSize;
constexpr int kHop = 64;
constexpr int kBins = kWindow / 2;
constexpr int kWarmFrames = 16;     // frames of floor before anything is detected
constexpr float kFloorMs = 60.0f;   // time constant of the noise floor
constexpr float kBusySlowdown = 20; // busy bins follow this many times slower
constexpr int kBusySpread = 2;      // bins either side of a busy bin that are busy too
constexpr int kStrongFrames = 4;  // frames of a call startDb above the floor, not broadband
constexpr float kMaxWeakMs = 2.0f;  // a call ends after this long weak on average (between holdDb and acceptDb)
constexpr int kTrackSlack = 3;   // bins either side of where a sweep is expected
constexpr size_t kSlopePoints = 4;  // track points the slope is taken over
constexpr float kTraceMs = 1.5f;    // how far back a call's faint beginning is followed
constexpr float kRestartFactor = 2.0f;  // another call must stand 3 dB above startDb to end the one followed
constexpr float kLouderDb = 20.0f;      // or this far above a track that stands above startDb
constexpr int kCentreBins = 16;   // bins either side of the strongest a frame's centre is taken over
constexpr int kNarrowBins = 4;    // peaks this wide or narrower are placed by the parabola
constexpr float kEdgeDb = 15.0f;
constexpr float kCourseBins = 1.5f;
constexpr double kInsideWindows = 0.18;  // how far inside a call, in windows, a frame shows its own frequency
constexpr int kMinCurvePoints = 4;  // frames inside a call needed to fit its curve to them alone
constexpr int kFinePasses = 2;      // rounds of placing the ends finer and fitting the curve again
// The finer look at a call's ends: a window this long, reaching this far
// from the frames' estimate outward and inward.
constexpr double kFineWindowMs = 0.4;
constexpr int kMaxFineWindow = 512;
constexpr double kFineReachMs = 1.5;
constexpr int kFinePlateauPoints = 64;
constexpr double kFineSearchKHz = 4.0;
constexpr double kFineSweepKHzPerMs = 2.0;  // calls sweeping at least this fast // bins off its curve a faint frame may lie and still extend a call    // frames this close to the call's peak give its frequencies
constexpr float kBroadbandDb = 12.0f;  // how close to a frame's strongest bin a broadband frame's bins stand
constexpr float kEndFactor = 4.0f;  // 6 dB: a window half over a call's end
// Joining pieces: a track beginning this soon after a call ended, within
// kJoinKHz of where the call's sweep leads, continues it.
constexpr double kJoinMs = 2.5;
constexpr float kJoinKHz = 4.0f;
// Within this long after a call, a track kEchoDb weaker whose frequencies lie
// inside the call's is its echo.
constexpr double kEchoMs = 6.0;
constexpr float kEchoDb = 6.0f;
constexpr float kInsideKHz = 3.0f;
constexpr float kHarmonicShare = 0.12f;  // a peak frequency within 12% of 2x or 1/2x: a harmonic

float Ratio(float db) { return std::pow(10.0f, db / 10.0f); }
}  // namespace

CallDetector::CallDetector(double realRate, const CallDetectorSettings& settings)
    : settings_(settings), rate_(realRate) {
  const double binHz = rate_ / kWindow;
  const double frameMs = kHop * 1000.0 / rate_;
  lowBin_ = std::clamp(int(std::ceil(settings_.lowHz / binHz)), 1, kBins - 2);
  highBin_ = std::clamp(int(settings_.highHz / binHz), lowBin_, kBins - 2);
  lowHz_ = float(lowBin_ * binHz);
  highHz_ = float(highBin_ * binHz);
  downBins_ = int(std::ceil(settings_.maxSweepKHzPerMs * 1000.0 * frameMs / binHz)) + 2;
  upBins_ = 3;
  maxGapFrames_ = std::max(1, int(settings_.maxGapMs / frameMs + 0.5));
  traceFrames_ = std::clamp(int(kTraceMs / frameMs + 0.5), 1, kHistory / 3);
  maxWeakFrames_ = std::max(2, int(kMaxWeakMs / frameMs + 0.5));
  minFrames_ = std::max(2, int(settings_.minDurationMs / frameMs + 0.5));
  maxFrames_ = uint64_t(settings_.maxDurationMs / frameMs);
  startRatio_ = Ratio(settings_.startDb);
  holdRatio_ = Ratio(settings_.holdDb);
  acceptRatio_ = Ratio(settings_.acceptDb);
  levelGain_ = settings_.levelOffset - float(20.0 * std::log10(double(kWindow)));
  pending_.reserve(kWindow + 4096);
  // Samples for the finer look at a call's ends: the longest call, the time
  // it takes to be closed, and a push's worth.
  size_t ring = 1;
  while (ring < size_t((settings_.maxDurationMs + 2 * kFineReachMs + 20.0) / 1000.0 * rate_) + kWindow + 4096) ring *= 2;
  ring_.assign(ring, 0.0f);
  const int fine = std::clamp(int(std::lround(kFineWindowMs / 1000.0 * rate_)), 32, kMaxFineWindow);
  fineWindow_.resize(size_t(fine));
  for (int i = 0; i < fine; ++i) fineWindow_[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / fine));
}

double CallDetector::FrameTime(uint64_t frame) const {
  // A frame stands for the middle of its window.
  return (double(frame) * kHop + kWindow / 2) / rate_;
}

void CallDetector::Push(const float* samples, size_t count) {
  size_t at = 0;
  while (at < count) {
    size_t take = std::min(count - at, size_t(kWindow + 4096) - pending_.size());
    pending_.insert(pending_.end(), samples + at, samples + at + take);
    for (size_t i = 0; i < take; ++i) ring_[(ringCount_ + i) & (ring_.size() - 1)] = samples[at + i];
    ringCount_ += take;
    at += take;
    size_t start = 0;
    while (pending_.size() - start >= size_t(kWindow)) {
      AnalyseFrame(pending_.data() + start);
      start += kHop;
    }
    pending_.erase(pending_.begin(), pending_.begin() + long(start));
  }
}

void CallDetector::Finish() {
  if (open_) CloseCall();
  if (held_ && !heldPiece_.steady) calls_.push_back(heldPiece_.call);
  held_ = false;
}

std::vector<CallMeasure> CallDetector::Take() {
  std::vector<CallMeasure> out;
  out.swap(calls_);
  return out;
}

// Peak frequency of a bin, refined by a parabola through the dB levels of it
// and its neighbours.
float CallDetector::BinHz(int bin, const float* power) const {
  const float binHz = float(rate_ / kWindow);
  if (bin <= 0 || bin >= kBins - 1) return bin * binHz;
  float a = std::log(power[bin - 1] + 1e-20f), b = std::log(power[bin] + 1e-20f),
        c = std::log(power[bin + 1] + 1e-20f);
  float d = a - 2 * b + c;
  float delta = d < 0 ? 0.5f * (a - c) / d : 0.0f;
  return (float(bin) + std::clamp(delta, -0.5f, 0.5f)) * binHz;
}

// The track's point of this frame: the bin's refined frequency and where the
// frame's energy is centred around it.
CallDetector::TrackPoint CallDetector::MakePoint(uint64_t frame, int bin, float ratio, bool broadband,
                                                const float* power_) const {
  const float binHz = float(rate_ / kWindow);
  const float half = power_[bin] / 2.0f;
  TrackPoint p;
  p.frame = frame;
  p.hz = BinHz(bin, power_);
  // Where the frame's energy sits: a steep sweep smears flat over many bins
  // and its strongest bin wanders with the noise; the centre of the power
  // above the floor, over the bins within 3 dB of the strongest, does not.
  // A narrow peak is better placed by the parabola.
  int lo = bin, hi = bin;
  while (lo - 1 >= 1 && bin - lo < kCentreBins && power_[lo - 1] >= half) --lo;
  while (hi + 1 <= kBins - 1 && hi - bin < kCentreBins && power_[hi + 1] >= half) ++hi;
  p.centreHz = p.hz;
  if (hi - lo + 1 > kNarrowBins) {
    double sum = 0, moment = 0;
    for (int m = lo; m <= hi; ++m) {
      const double w = std::max(0.0f, power_[m] - floor_[m]);
      sum += w;
      moment += w * m;
    }
    if (sum > 0) p.centreHz = float(moment / sum) * binHz;
  }
  p.power = power_[bin];
  p.excess = ratio;
  p.broadband = broadband;
  return p;
}

void CallDetector::AnalyseFrame(const float* window) {
  fft_.PowerSpectrum(window, kWindow, power_, kBins);
  const uint64_t frame = frameCount_++;
  ReleaseHeld(frame);
  if (frame < kWarmFrames) {
    UpdateFloor();
    return;
  }

  // Broadband: a share of the band holdDb above the floor and near the
  // frame's strongest bin. A click is flat; a loud steep sweep smears over
  // tens of kHz within one window but falls off away from its middle.
  float strongest = 0;
  for (int m = lowBin_; m <= highBin_; ++m) strongest = std::max(strongest, power_[m]);
  const float near = strongest / Ratio(kBroadbandDb);
  int busy = 0;
  for (int m = lowBin_; m <= highBin_; ++m) busy += power_[m] > floor_[m] * holdRatio_ && power_[m] > near;
  const bool broadband = busy >= settings_.broadbandShare * float(highBin_ - lowBin_ + 1);

  if (open_) {
    // Follow the call: its strongest bin near where its sweep leads. Without
    // a slope yet (the second frame) any sweep down to the fastest is allowed.
    int lo, hi, predicted = -1, near = 0;
    if (prevBin_ < 0) {
      lo = trackBin_ - downBins_;
      hi = trackBin_ + upBins_;
    } else {
      // The sweep's slope over the track's last frames: one frame's peak
      // wanders with the noise.
      const TrackPoint& last = track_.back();
      const TrackPoint& from = track_[track_.size() > kSlopePoints ? track_.size() - 1 - kSlopePoints : 0];
      const float binHz = float(rate_ / kWindow);
      float slope = float(trackBin_ - prevBin_);
      if (last.frame > from.frame) slope = (last.hz - from.hz) / binHz / float(last.frame - from.frame);
      slope = std::clamp(slope, -float(downBins_), float(upBins_));
      predicted = trackBin_ + int(std::lround(slope * float(gap_ + 1)));
      // Steep sweeps bend more from frame to frame: more room for them.
      const int slack = kTrackSlack + int(std::abs(slope)) / 2;
      near = 2 + int(std::abs(slope)) / 2 + gap_;
      lo = predicted - slack - gap_ * 2;
      hi = predicted + slack + gap_;
    }
    lo = std::max(lowBin_, lo);
    hi = std::min(highBin_, hi);
    int best = lo;
    float bestRatio = 0;
    for (int m = lo; m <= hi; ++m) {
      float r = power_[m] / floor_[m];
      if (r > bestRatio) bestRatio = r, best = m;
    }
    // A strong sound elsewhere while the track is weak, or one far louder
    // than a faint track: another bat's call has begun. The track followed
    // ends; its rest, if any, is taken up again as a piece of its own.
    int other = 0;
    float otherRatio = 0;
    for (int m = lowBin_; m <= highBin_; ++m) {
      if (m >= lo && m <= hi) continue;
      float r = power_[m] / floor_[m];
      if (r > otherRatio) otherRatio = r, other = m;
    }
    const bool otherCall = otherRatio > startRatio_ * kRestartFactor &&
                           (bestRatio <= startRatio_ || otherRatio > bestRatio * Ratio(kLouderDb));
    if (otherCall && !broadband) {
      cut_ = true;  // the track has not ended by itself
      CloseCall();
      StartCall(frame, other, otherRatio, broadband);
    } else if (RecentlyWeak(frame)) {
      CloseCall();  // only noise-like frames for too long: the call has ended
    } else if (bestRatio > holdRatio_ && (predicted < 0 || std::abs(best - predicted) <= near || bestRatio > startRatio_)) {
      // A faint peak away from where the call leads is noise while the call
      // dips: a gap, not a turn of the track.
      track_.push_back(MakePoint(frame, best, bestRatio, broadband, power_));
      prevBin_ = gap_ == 0 ? trackBin_ : best - (best - trackBin_) / (gap_ + 1);
      trackBin_ = best;
      gap_ = 0;
      if (!traced_ && track_.size() > kSlopePoints) TraceBack();
      if (frame - track_.front().frame > maxFrames_) {
        // A steady sound, not a call: followed to its end and dropped then,
        // so that no piece of it is taken for a call. Only the last frames
        // are kept, for the slope.
        if (!steady_) steadyStartS_ = FrameTime(track_.front().frame);
        steady_ = true;
        track_.erase(track_.begin(), track_.end() - long(std::min(track_.size(), kSlopePoints + 1)));
      }
    } else if (++gap_ > maxGapFrames_) {
      CloseCall();
    }
  } else {
    int best = lowBin_;
    float bestRatio = 0;
    for (int m = lowBin_; m <= highBin_; ++m) {
      float r = power_[m] / floor_[m];
      if (r > bestRatio) bestRatio = r, best = m;
    }
    if (bestRatio > startRatio_) StartCall(frame, best, bestRatio, broadband);
  }
  std::copy(power_, power_ + kBins, history_[frame % kHistory]);
  UpdateFloor();
}

// True when the track's last kMaxWeakMs, gaps counted as nothing, stood less
// than acceptDb above the floor on average: noise, not the call any more.
bool CallDetector::RecentlyWeak(uint64_t frame) const {
  if (frame - track_.front().frame < uint64_t(maxWeakFrames_)) return false;
  float sum = 0;
  for (auto p = track_.rbegin(); p != track_.rend() && frame - p->frame < uint64_t(maxWeakFrames_); ++p)
    sum += p->excess;
  return sum < std::sqrt(holdRatio_ * acceptRatio_) * float(maxWeakFrames_);
}

void CallDetector::StartCall(uint64_t frame, int bin, float ratio, bool broadband) {
  open_ = true;
  gap_ = 0;
  trackBin_ = bin;
  prevBin_ = -1;
  track_.clear();
  track_.push_back(MakePoint(frame, bin, ratio, broadband, power_));
  traced_ = false;
}

// Follows a call back through the frames before its first point while it
// stands holdDb above the floor near where its sweep, run backwards, leads:
// a faint call crosses startDb a little after it has begun. Done once the
// track's first frames give its slope, or when it closes sooner.
void CallDetector::TraceBack() {
  traced_ = true;
  if (track_.empty()) return;
  const TrackPoint& first = track_.front();
  const TrackPoint& later = track_[std::min(track_.size() - 1, kSlopePoints)];
  const float binHz = float(rate_ / kWindow);
  float slope = later.frame > first.frame ? (later.hz - first.hz) / binHz / float(later.frame - first.frame) : 0.0f;
  slope = std::clamp(slope, -float(downBins_), float(upBins_));
  const int slack = 2 + int(std::abs(slope)) / 2;
  std::vector<TrackPoint> before;
  float at = first.hz / binHz;
  int gap = 0;
  for (int k = 1; k <= traceFrames_; ++k) {
    if (first.frame < uint64_t(k) + kWarmFrames) break;
    const uint64_t f = first.frame - uint64_t(k);
    if (f <= lastTrackFrame_ || frameCount_ - f > uint64_t(kHistory)) break;
    const float* power = history_[f % kHistory];
    at -= slope;
    const int centre = int(std::lround(at));
    int best = -1;
    float bestRatio = holdRatio_;
    for (int m = std::max(lowBin_, centre - slack); m <= std::min(highBin_, centre + slack); ++m) {
      const float r = power[m] / floor_[m];
      if (r > bestRatio) bestRatio = r, best = m;
    }
    if (best < 0) {
      if (++gap > maxGapFrames_) break;
      continue;
    }
    gap = 0;
    before.push_back(MakePoint(f, best, bestRatio, false, power));
    at = before.back().hz / binHz;
  }
  track_.insert(track_.begin(), before.rbegin(), before.rend());
}

void CallDetector::UpdateFloor() {
  const uint64_t n = frameCount_;
  const float alpha = std::max(float(kHop * 1000.0 / rate_) / kFloorMs, 1.0f / float(n));
  // A bin is busy when it or a bin beside it stands holdDb above the floor:
  // the skirts of a long call's bins must not lift the floor under it.
  bool busy[kBins + 4] = {};
  if (n > kWarmFrames)
    for (int m = 0; m < kBins; ++m)
      if (power_[m] > floor_[m] * holdRatio_)
        for (int k = std::max(0, m - kBusySpread); k <= std::min(kBins - 1, m + kBusySpread); ++k) busy[k] = true;
  for (int m = 0; m < kBins; ++m) {
    const float a = busy[m] ? alpha / kBusySlowdown : alpha;
    mean_[m] += a * (power_[m] - mean_[m]);
  }
  // Average over five neighbouring bins: a steadier floor per band.
  for (int m = 0; m < kBins; ++m) {
    int lo = std::max(0, m - 2), hi = std::min(kBins - 1, m + 2);
    float sum = 0;
    for (int k = lo; k <= hi; ++k) sum += mean_[k];
    floor_[m] = sum / float(hi - lo + 1) + 1e-12f;
  }
}

// A curve through the centres of the track's points first..last that stand
// holdDb above the floor: a least-squares parabola in time (a line or a
// constant when there are too few points), fitted twice, the second time
// without the points that lay off the first fit by more than three times
// their typical distance (frames taken by a noise peak).
CallDetector::Curve CallDetector::FitCurve(const std::vector<TrackPoint>& track, size_t first, size_t last) const {
  struct P {
    double x, f;
    bool use;
  };
  Curve curve;
  curve.t0 = FrameTime(track[first].frame);
  std::vector<P> points;
  for (size_t i = first; i <= last; ++i)
    if (track[i].excess >= holdRatio_)
      points.push_back({(FrameTime(track[i].frame) - curve.t0) * 1000.0, track[i].centreHz, true});
  if (points.empty()) {
    curve.c[0] = track[first].centreHz;
    return curve;
  }
  for (int pass = 0; pass < 2; ++pass) {
    // Normal equations of f = c0 + c1 x + c2 x^2, x in ms.
    double m[3][4] = {};
    int n = 0;
    for (const P& p : points) {
      if (!p.use) continue;
      const double xs[3] = {1, p.x, p.x * p.x};
      for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) m[r][k] += xs[r] * xs[k];
        m[r][3] += xs[r] * p.f;
      }
      ++n;
    }
    const int d = std::min(2, n - 1) + 1;  // unknowns
    // Gauss-Jordan elimination with partial pivoting.
    bool singular = false;
    for (int col = 0; col < d && !singular; ++col) {
      int pivot = col;
      for (int r = col + 1; r < d; ++r)
        if (std::abs(m[r][col]) > std::abs(m[pivot][col])) pivot = r;
      if (std::abs(m[pivot][col]) < 1e-9) {
        singular = true;
        break;
      }
      for (int k = 0; k < 4; ++k) std::swap(m[col][k], m[pivot][k]);
      for (int r = 0; r < d; ++r) {
        if (r == col) continue;
        const double q = m[r][col] / m[col][col];
        for (int k = col; k < 4; ++k) m[r][k] -= q * m[col][k];
      }
    }
    if (singular) break;
    for (int r = 0; r < 3; ++r) curve.c[r] = r < d ? m[r][3] / m[r][r] : 0.0;
    if (pass == 1) break;
    std::vector<double> off;
    for (const P& p : points) off.push_back(std::abs(p.f - curve.At(curve.t0 + p.x / 1000.0)));
    std::nth_element(off.begin(), off.begin() + long(off.size() / 2), off.end());
    const double limit = std::max(3.0 * off[off.size() / 2], rate_ / kWindow);
    for (P& p : points) p.use = std::abs(p.f - curve.At(curve.t0 + p.x / 1000.0)) <= limit;
  }
  return curve;
}

// Energy of the finer window centred at time t, with a sweep through f Hz at
// t going at slope Hz per s taken out. False when those samples are gone.
bool CallDetector::FineEnergy(double t, double f, double slope, float* out) const {
  const int n = int(fineWindow_.size());
  const uint64_t oldest = ringCount_ > ring_.size() ? ringCount_ - ring_.size() : 0;
  const double first = std::round(t * rate_) - n / 2;
  if (first < double(oldest) || first + n > double(ringCount_)) return false;
  // The phase 2 pi (f x + slope x^2 / 2), x the time from the middle, taken
  // out by turning a unit vector that turns faster by the same step each
  // sample (its phase's second difference is constant).
  const double dt = 1.0 / rate_, x0 = -n / 2.0 * dt;
  auto unit = [](double phase) { return std::complex<double>(std::cos(phase), -std::sin(phase)); };
  std::complex<double> z = unit(2 * M_PI * (f * x0 + 0.5 * slope * x0 * x0));
  std::complex<double> turn = unit(2 * M_PI * (f * dt + slope * x0 * dt + 0.5 * slope * dt * dt));
  const std::complex<double> faster = unit(2 * M_PI * slope * dt * dt);
  std::complex<double> sum = 0;
  const uint64_t base = uint64_t(first), mask = ring_.size() - 1;
  for (int i = 0; i < n; ++i) {
    sum += z * double(ring_[(base + uint64_t(i)) & mask] * fineWindow_[size_t(i)]);
    z *= turn;
    turn *= faster;
  }
  *out = float(std::norm(sum));
  return true;
}

// The frequency at time t of a sweep going at slope Hz per s near f0: where
// the finer window centred at t holds the most energy, searched within
// kFineSearchKHz of f0 and refined by a parabola. f0 when the samples are gone.
double CallDetector::FineFrequency(double t, double f0, double slope) const {
  const double span = kFineSearchKHz * 1000.0, step = span / 16;
  double best = f0;
  float bestEnergy = -1, below = 0, above = 0;
  std::vector<float> e(33);
  for (int k = 0; k <= 32; ++k)
    if (!FineEnergy(t, f0 - span + k * step, slope, &e[size_t(k)])) return f0;
  int at = 0;
  for (int k = 0; k <= 32; ++k)
    if (e[size_t(k)] > bestEnergy) bestEnergy = e[size_t(k)], at = k;
  best = f0 - span + at * step;
  if (at > 0 && at < 32) {
    below = e[size_t(at - 1)], above = e[size_t(at + 1)];
    const double d = double(below) - 2.0 * bestEnergy + above;
    if (d < 0) best += step * std::clamp(0.5 * (double(below) - above) / d, -0.5, 0.5);
  }
  return best;
}

// The call's start and end placed finer than a hop: the samples around each
// end, taken through a short window that follows the call's frequency and
// sweep (its curve), give the call's envelope every few samples; an end is
// where that envelope has fallen to half the call's typical amplitude (the
// window then stands half over the call). An end is left as it is when the
// samples are gone or the envelope does not stay above half inside it, and
// so is the end of a track cut short by another call.
void CallDetector::RefineEnds(const Curve& curve, double fitFrom, double fitTo, CallMeasure* call) const {
  const int n = std::clamp(int(std::lround(kFineWindowMs / 1000.0 * rate_)), 32, kMaxFineWindow);
  const double step = std::max(1.0, std::floor(n / 12.0)) / rate_;
  const double halfWindow = n / 2.0 / rate_;
  // The curve, straight beyond the span it was fitted over.
  auto freq = [&](double t, double* slope) {
    const double at = std::clamp(t, fitFrom, fitTo);
    *slope = curve.SlopePerMs(at) * 1000.0;  // Hz per s
    return curve.At(at) + *slope * (t - at);
  };
  auto energy = [&](double t, float* out) {
    double slope;
    const double f = freq(t, &slope);
    return FineEnergy(t, f, slope, out);
  };
  // The call's typical energy: the median over its inner part.
  const double innerFrom = call->startS + halfWindow, innerTo = call->endS - halfWindow;
  std::vector<float> inner;
  const int points = std::clamp(int((innerTo - innerFrom) / step) + 1, 1, kFinePlateauPoints);
  for (int i = 0; i < points; ++i) {
    const double t = points == 1 ? (call->startS + call->endS) / 2 : innerFrom + (innerTo - innerFrom) * i / (points - 1);
    float e;
    if (!energy(t, &e)) return;
    inner.push_back(e);
  }
  std::nth_element(inner.begin(), inner.begin() + long(inner.size() / 2), inner.end());
  const float half = inner[inner.size() / 2] / 4;  // half the amplitude
  // From outside the call inward to where the envelope rises above half and
  // stays there for a window and a half: a noise peak lasts about a window.
  const int sustain = 18;  // steps of a twelfth of the window
  auto edge = [&](double from, double to, double* where) {
    const double direction = to > from ? 1.0 : -1.0;
    float before = 0;
    bool hasBefore = false;
    double candidate = 0;
    int above = 0;
    for (double t = from; (t - to) * direction <= 0; t += direction * step) {
      float e;
      if (!energy(t, &e)) {
        hasBefore = false, above = 0;
        continue;
      }
      if (e >= half) {
        if (above == 0) {
          candidate = t;
          if (hasBefore) {
            // Between the last point below and this one, in dB.
            const double a = std::log(double(before) + 1e-30), b = std::log(double(e)), h = std::log(double(half));
            candidate = t - direction * step * (b - h) / std::max(b - a, 1e-9);
          }
        }
        if (++above >= sustain) {
          *where = candidate;
          return true;
        }
      } else {
        above = 0;
      }
      before = e, hasBefore = true;
    }
    return false;
  };
  const double middle = (call->startS + call->endS) / 2;
  double start, end;
  const bool hasStart = edge(call->startS - kFineReachMs / 1000.0, middle, &start);
  const bool hasEnd = edge(call->endS + kFineReachMs / 1000.0, middle, &end);
  if (hasStart && start < call->endS) call->startS = start;
  if (hasEnd && end > call->startS && !cut_) call->endS = end;
}

void CallDetector::CloseCall() {
  CloseTrack();
  cut_ = false;
}

void CallDetector::CloseTrack() {
  if (!traced_) TraceBack();
  open_ = false;
  gap_ = 0;
  std::vector<TrackPoint> track;
  track.swap(track_);
  if (!track.empty()) lastTrackFrame_ = track.back().frame;
  if (steady_ && !track.empty()) {
    // Held back like a call, so that the pieces of a steady sound that
    // breaks up join it and are dropped with it.
    steady_ = false;
    Piece piece;
    piece.steady = true;
    piece.call.startS = steadyStartS_;
    piece.call.endS = FrameTime(track.back().frame);
    piece.call.fMaxHz = piece.call.fMinHz = piece.call.fPeakHz = piece.call.fCharHz = track.back().hz;
    piece.startHz = piece.endHz = track.back().hz;
    for (const TrackPoint& p : track) piece.peakPower = std::max(piece.peakPower, p.power);
    piece.plateauPower = track.back().power;
    Settle(piece);
    return;
  }
  steady_ = false;
  if (track.size() < 2) return;
  const uint64_t first = track.front().frame, last = track.back().frame;
  if (int(last - first) < minFrames_ - 1) return;

  float excessSum = 0;
  int broadbandFrames = 0, strongFrames = 0;
  size_t peak = 0;
  for (size_t i = 0; i < track.size(); ++i) {
    excessSum += track[i].excess;
    broadbandFrames += track[i].broadband;
    strongFrames += track[i].excess > startRatio_ && !track[i].broadband;
    if (track[i].power > track[peak].power) peak = i;
  }
  if (excessSum / float(track.size()) < acceptRatio_) return;
  // Noise rarely stands startDb out in several frames along one track.
  if (strongFrames < kStrongFrames) return;
  if (broadbandFrames * 3 > int(track.size())) return;  // clicks and drops

  // The call's frequencies come from its solid frames: startDb above the
  // floor and within kEdgeDb of its strongest frame.
  const float edge = track[peak].power / Ratio(kEdgeDb);
  const TrackPoint* firstSolid = nullptr;
  const TrackPoint* lastSolid = nullptr;
  CallMeasure call;
  std::vector<float> solidExcess;
  for (const TrackPoint& p : track) {
    if (p.power < edge || p.excess < startRatio_) continue;
    if (!firstSolid) firstSolid = &p;
    lastSolid = &p;
    solidExcess.push_back(p.excess);
  }
  if (!firstSolid || int(lastSolid->frame - firstSolid->frame) < minFrames_ - 1) return;
  // Its start and end: the outermost frames that, with their neighbours on
  // the track, stand holdDb above the floor and within 6 dB of the call's
  // typical level. A faint call's frames scatter around startDb, so its solid
  // frames alone would cut its ends short; a window half over the call's end
  // stands 6 dB below the call.
  std::nth_element(solidExcess.begin(), solidExcess.begin() + long(solidExcess.size() / 2), solidExcess.end());
  const float plateau = solidExcess[solidExcess.size() / 2];
  const float endRatio = std::max(holdRatio_, plateau / kEndFactor);
  auto heldUp = [&](size_t i) {
    const size_t a = i > 0 ? i - 1 : i, b = std::min(i + 1, track.size() - 1);
    float sum = 0;
    for (size_t k = a; k <= b; ++k) sum += track[k].excess;
    return track[i].excess >= holdRatio_ && sum / float(b - a + 1) >= endRatio;
  };
  size_t firstEnd = size_t(firstSolid - track.data()), lastEnd = size_t(lastSolid - track.data());
  // The call's frequency along its solid frames, and the frames beyond them
  // that lie on its course: a faint frame whose peak is elsewhere is noise
  // around the call, not the call.
  Curve curve = FitCurve(track, firstEnd, lastEnd);
  const float binHz = float(rate_ / kWindow);
  const double hopMs = kHop * 1000.0 / rate_;
  auto onCourse = [&](size_t i) {
    const double t = FrameTime(track[i].frame);
    return std::abs(track[i].centreHz - curve.At(t)) <= kCourseBins * binHz + std::abs(curve.SlopePerMs(t)) * hopMs;
  };
  while (firstEnd > 0 && heldUp(firstEnd - 1) && onCourse(firstEnd - 1)) --firstEnd;
  while (lastEnd + 1 < track.size() && heldUp(lastEnd + 1) && onCourse(lastEnd + 1)) ++lastEnd;
  // The call crossed the level somewhere between the last frame below it and
  // the first above: half a hop before its first frame, on average.
  const double halfHop = kHop / 2.0 / rate_;
  call.startS = FrameTime(track[firstEnd].frame) - halfHop;
  call.endS = FrameTime(track[lastEnd].frame) + halfHop;
  // The frequencies at the call's start and end, read off the curve through
  // all its frames: faint frames at the ends stand too close to the noise
  // for their own extent to be measured, and one frame is too long to place
  // a steep sweep's ends by itself. Between its ends the curve may bend
  // further out.
  curve = FitCurve(track, firstEnd, lastEnd);
  // A frame half over an end shows the part of the call inside it, not the
  // frequency at its middle: once the ends are placed finer, the curve is
  // fitted again to the frames that stand well inside the call, when there
  // are enough of them, and the ends placed again along it.
  double fitFrom = FrameTime(track[firstEnd].frame), fitTo = FrameTime(track[lastEnd].frame);
  for (int pass = 0; pass < kFinePasses; ++pass) {
    RefineEnds(curve, fitFrom, fitTo, &call);
    const double margin = kInsideWindows * kWindow / rate_;
    size_t from = firstEnd, to = lastEnd;
    while (from < lastEnd && FrameTime(track[from].frame) < call.startS + margin) ++from;
    while (to > from && FrameTime(track[to].frame) > call.endS - margin) --to;
    int inside = 0;
    for (size_t i = from; i <= to; ++i) inside += track[i].excess >= holdRatio_;
    if (FrameTime(track[from].frame) < call.startS + margin || inside < kMinCurvePoints) break;
    curve = FitCurve(track, from, to);
    fitFrom = FrameTime(track[from].frame), fitTo = FrameTime(track[to].frame);
  }
  float startHz = float(curve.At(call.startS)), endHz = float(curve.At(call.endS));
  {
    // A sweep's: read off the samples just inside each end, with the
    // curve's sweep. A steady call's are better taken along all its frames.
    const double half = fineWindow_.size() / 2.0 / rate_;
    if (call.endS - call.startS > 4 * half && std::abs(curve.c[1]) >= kFineSweepKHzPerMs * 1000.0) {
      const double a = call.startS + half, b = call.endS - half;
      const double slopeA = curve.SlopePerMs(a) * 1000.0, slopeB = curve.SlopePerMs(b) * 1000.0;
      startHz = float(FineFrequency(a, curve.At(a), slopeA) - slopeA * half);
      endHz = float(FineFrequency(b, curve.At(b), slopeB) + slopeB * half);
    }
  }
  call.fMaxHz = std::max(startHz, endHz);
  call.fMinHz = std::min(startHz, endHz);
  if (curve.c[2] != 0) {
    const double turn = curve.t0 - curve.c[1] / (2 * curve.c[2]) / 1000.0;
    if (turn > call.startS && turn < call.endS) {
      call.fMaxHz = std::max(call.fMaxHz, float(curve.At(turn)));
      call.fMinHz = std::min(call.fMinHz, float(curve.At(turn)));
    }
  }
  // Never past what the frames themselves reach, by more than a frame's
  // sweep and two bins: a curve bent by noise would run off far.
  float lowest = float(rate_), highest = 0;
  for (size_t i = firstEnd; i <= lastEnd; ++i) {
    lowest = std::min(lowest, track[i].centreHz);
    highest = std::max(highest, track[i].centreHz);
  }
  const double reach = 2 * binHz + std::max(std::abs(curve.SlopePerMs(call.startS)), std::abs(curve.SlopePerMs(call.endS))) * hopMs;
  call.fMaxHz = std::min(call.fMaxHz, float(std::min(highest + reach, double(highHz_))));
  call.fMinHz = std::max(call.fMinHz, float(std::max(lowest - reach, double(lowHz_))));
  call.fCharHz = std::clamp(endHz, call.fMinHz, call.fMaxHz);
  call.fPeakHz = track[peak].hz;
  call.peakDb = 10.0f * std::log10(track[peak].power + 1e-20f) + levelGain_;

  Piece piece;
  piece.call = call;
  // Where the call begins and ends as measured: a track may run on past the
  // call onto another sound.
  piece.startHz = std::clamp(startHz, call.fMinHz, call.fMaxHz);
  piece.endHz = call.fCharHz;
  piece.peakPower = track[peak].power;
  std::vector<float> powers;
  for (size_t i = firstEnd; i <= lastEnd; ++i) powers.push_back(track[i].power);
  std::nth_element(powers.begin(), powers.begin() + long(powers.size() / 2), powers.end());
  piece.plateauPower = powers[powers.size() / 2];
  piece.endSlope = float(curve.SlopePerMs(call.endS) * 1000.0);
  Settle(piece);
}

// Joins a finished track to the call held back before it, or holds it as a
// new call and reports the one held.
void CallDetector::Settle(const Piece& next) {
  // A steady sound taken up again soon after another sound cut into it is
  // still the steady sound.
  Piece piece = next;
  if (piece.call.startS - steadyEndS_ <= kEchoMs / 1000.0 && std::abs(piece.startHz - steadyHz_) <= kJoinKHz * 1000.0f)
    piece.steady = true;
  SettlePiece(piece);
  if (held_ && heldPiece_.steady) {
    steadyHz_ = heldPiece_.endHz;
    steadyEndS_ = std::max(steadyEndS_, heldPiece_.call.endS);
  }
}

void CallDetector::SettlePiece(const Piece& piece) {
  if (!held_) {
    heldPiece_ = piece;
    held_ = true;
    return;
  }
  Piece& h = heldPiece_;
  const double gapS = piece.call.startS - h.call.endS;
  // Levels compared by the pieces' typical frames: a short piece of a long
  // call has a lower peak than the whole call, but not a lower level.
  const float weakerDb = 10.0f * std::log10(h.plateauPower / std::max(piece.plateauPower, 1e-20f));
  const float inside = kInsideKHz * 1000.0f;
  const bool within = piece.call.fMinHz >= h.call.fMinHz - inside && piece.call.fMaxHz <= h.call.fMaxHz + inside;
  const float predicted = h.endHz + h.endSlope * float(std::max(gapS, 0.0));
  // Twice or half the frequency where the call was going, or of its peak.
  // The fundamental of a call begins with it; a sound at half its frequency
  // that begins after it is something else.
  auto near = [](float ratio, float want) { return std::abs(ratio - want) < want * kHarmonicShare; };
  const float toPredicted = piece.startHz / std::max(predicted, 1.0f);
  const float toPeak = piece.call.fPeakHz / std::max(h.call.fPeakHz, 1.0f);
  const bool together = piece.call.startS - h.call.startS <= kJoinMs / 1000.0;
  const bool harmonic = near(toPredicted, 2.0f) || near(toPeak, 2.0f) ||
                        (together && (near(toPredicted, 0.5f) || near(toPeak, 0.5f)));
  // A noisy slope may miss where a steady call goes on: its last frequency counts too.
  const float offHz = std::min(std::abs(piece.startHz - predicted), std::abs(piece.startHz - h.endHz));
  if (gapS * 1000.0 <= kEchoMs && weakerDb >= kEchoDb && within) {
    // An echo, or its tail after the call: not counted, and the call keeps its end.
  } else if (gapS * 1000.0 <= kJoinMs && offHz <= kJoinKHz * 1000.0f) {
    // The same call going on after a faint stretch. Pieces that together
    // last longer than a call can are a steady sound.
    h.call.endS = piece.call.endS;
    h.steady = h.steady || piece.steady || h.call.DurationMs() > settings_.maxDurationMs;
    h.call.fMaxHz = std::max(h.call.fMaxHz, piece.call.fMaxHz);
    h.call.fMinHz = std::min(h.call.fMinHz, piece.call.fMinHz);
    h.call.fCharHz = piece.call.fCharHz;
    h.endHz = piece.endHz;
    h.endSlope = piece.endSlope;
    if (piece.peakPower > h.peakPower) {
      h.call.fPeakHz = piece.call.fPeakHz;
      h.call.peakDb = piece.call.peakDb;
      h.peakPower = piece.peakPower;
    }
  } else if (gapS * 1000.0 <= kJoinMs && harmonic && piece.steady == h.steady) {
    // A harmonic and its fundamental (never a call and a steady sound): one
    // call over both, its frequencies those of the fundamental.
    const double start = h.call.startS, end = std::max(h.call.endS, piece.call.endS);
    const bool steady = h.steady || piece.steady;
    if (piece.call.fPeakHz < h.call.fPeakHz) h = piece;
    h.call.startS = start;
    h.call.endS = end;
    h.steady = steady;
  } else {
    if (!h.steady) calls_.push_back(h.call);
    h = piece;
  }
}

// Reports the call held back once nothing after it can still join it: no
// track begun within kEchoMs of its end is open, and that time has passed.
void CallDetector::ReleaseHeld(uint64_t frame) {
  if (!held_) return;
  const double until = heldPiece_.call.endS + kEchoMs / 1000.0;
  if (FrameTime(frame) <= until) return;
  if (open_ && FrameTime(track_.front().frame) <= until) return;
  if (!heldPiece_.steady) calls_.push_back(heldPiece_.call);
  held_ = false;
}

}  // namespace hv
