// CallDetector: finds echolocation calls in a stream of samples and measures
// them. It works on the station's 256-point power spectra taken every 64
// samples (the spectrum frames' analysis windows), so its resolution follows
// the real sample rate: at 250 kHz a frame every 0.256 ms and a bin every
// 977 Hz. Rates from 192000 to 500000 are meant; time expansion is the
// caller's business (pass the real rate).
//
// Per bin it keeps an adaptive noise floor (the mean noise power, followed
// over about 60 ms, slowly where the bin is busy, averaged over five
// neighbouring bins). A call starts where a bin stands startDb above its
// floor and follows its strongest bin from frame to frame, allowing FM sweeps
// of up to maxSweepKHzPerMs downward and a few bins upward; gaps up to
// maxGapMs are bridged, longer ones end the call. A finished call is kept
// when it lasted minDurationMs, stood acceptDb above the floor on average,
// was not mostly broadband (clicks, rain drops), and was shorter than
// maxDurationMs (a steady insect tone is not a call).
//
// A call's pieces are put together before it is reported: a track that begins
// within a few frames of the end of the call before it, where that call's
// sweep leads, continues it (a faint call breaks up); a weaker track within
// a few milliseconds whose frequencies lie inside the call's (its echo) or
// near twice or half of them (a harmonic) is part of it and no new call.
// So a call is reported a few milliseconds after it ends.
//
// Owned by one thread; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/power_fft.h"

namespace hv {

struct CallDetectorSettings {
  float startDb = 10.0f;          // a call starts where a bin stands this far above its floor
  float holdDb = 6.0f;            // and goes on while its track stays this far above
  float acceptDb = 8.5f;          // mean level along the track above the floor, to keep it
  float minDurationMs = 0.75f;    // first to last frame of the call
  float maxDurationMs = 150.0f;   // longer ones are steady noise
  float maxGapMs = 0.5f;          // quieter stretches bridged inside a call
  float lowHz = 15000.0f;         // the band searched (clipped to the Nyquist frequency); below are insects
  float highHz = 250000.0f;
  float maxSweepKHzPerMs = 60.0f; // fastest downward sweep followed
  float broadbandShare = 0.4f;    // a frame with this share of the band busy is broadband
  float levelOffset = 0.0f;       // receiver level offset V in dB for the reported levels
};

// One call. Times in seconds from the first sample pushed; frequencies in Hz;
// level in dB in the station's convention (10 log10 P - 20 log10 256 + V).
struct CallMeasure {
  double startS = 0;
  double endS = 0;
  float fMaxHz = 0;
  float fMinHz = 0;
  float fPeakHz = 0;   // frequency of the strongest frame
  float fCharHz = 0;   // frequency the call ends on (the lower edge of its last solid frame)
  float peakDb = 0;
  double DurationMs() const { return (endS - startS) * 1000.0; }
};

class CallDetector {
 public:
  // realRate in samples per second (192000..500000 meant; anything >= 8000 works).
  explicit CallDetector(double realRate, const CallDetectorSettings& settings = {});

  // Feeds samples in sample units (16-bit scale); finished calls collect in calls().
  void Push(const float* samples, size_t count);
  // Ends the stream: a call still open is finished.
  void Finish();
  // Calls finished so far, in order of their start; Take empties the list.
  const std::vector<CallMeasure>& calls() const { return calls_; }
  std::vector<CallMeasure> Take();

  double realRate() const { return rate_; }
  uint64_t frames() const { return frameCount_; }

 private:
  struct TrackPoint {
    uint64_t frame;
    float hz;        // the track's bin, refined
    float centreHz;  // the centre of the frame's energy around it
    float power;     // of the track's bin
    float excess;    // power over the floor
    bool broadband;
  };
  void AnalyseFrame(const float* window);
  TrackPoint MakePoint(uint64_t frame, int bin, float ratio, bool broadband, const float* power) const;
  void TraceBack();
  void UpdateFloor();
  void StartCall(uint64_t frame, int bin, float ratio, bool broadband);
  // A call with what is needed to join its pieces.
  struct Piece {
    CallMeasure call;
    float startHz = 0, endHz = 0;  // the track's frequency at its first and last solid frame
    float endSlope = 0;            // Hz per s over its last solid frames
    float peakPower = 0;
    float plateauPower = 0;  // the median power of its frames
    bool steady = false;  // a steady sound: never reported
  };
  void CloseCall();
  void CloseTrack();
  // f(t) = c0 + c1 x + c2 x^2 Hz, x = (t - t0) in ms.
  struct Curve {
    double t0 = 0;
    double c[3] = {0, 0, 0};
    double At(double t) const {
      const double x = (t - t0) * 1000.0;
      return c[0] + x * (c[1] + x * c[2]);
    }
    double SlopePerMs(double t) const { return c[1] + 2 * c[2] * (t - t0) * 1000.0; }
  };
  Curve FitCurve(const std::vector<TrackPoint>& track, size_t first, size_t last) const;
  void RefineEnds(const Curve& curve, double fitFrom, double fitTo, CallMeasure* call) const;
  bool FineEnergy(double t, double f, double slope, float* out) const;
  double FineFrequency(double t, double f0, double slope) const;
  void Settle(const Piece& next);
  void SettlePiece(const Piece& piece);
  void ReleaseHeld(uint64_t frame);
  bool RecentlyWeak(uint64_t frame) const;
  float BinHz(int bin, const float* power) const;
  double FrameTime(uint64_t frame) const;

  CallDetectorSettings settings_;
  double rate_;
  int lowBin_, highBin_;
  float lowHz_, highHz_;  // the band searched
  int downBins_, upBins_, maxGapFrames_, traceFrames_, maxWeakFrames_, minFrames_;
  uint64_t maxFrames_;
  float startRatio_, holdRatio_, acceptRatio_;
  float levelGain_;  // dB added to 10 log10 P

  SpectrumSFFT fft_;
  std::vector<float> pending_;  // samples not yet in a whole hop
  std::vector<float> ring_;     // the latest samples (a power of two of them)
  uint64_t ringCount_ = 0;      // samples written to ring_ so far
  std::vector<float> fineWindow_;
  alignas(16) float power_[SpectrumSFFT::kSize / 2 + 4];
  float mean_[128] = {};   // mean noise power per bin
  float floor_[128] = {};  // mean_ averaged over neighbouring bins
  uint64_t frameCount_ = 0;
  // The last frames' spectra, to follow a call that has just started back to
  // its faint beginning.
  static constexpr int kHistory = 48;
  float history_[kHistory][SpectrumSFFT::kSize / 2] = {};
  uint64_t lastTrackFrame_ = 0;  // the last frame of the track closed last

  bool open_ = false;
  bool traced_ = false;
  bool cut_ = false;     // the track is being closed because another call began
  bool steady_ = false;  // the track followed has lasted longer than a call
  double steadyStartS_ = 0;
  // Where and until when the last steady sound was heard.
  float steadyHz_ = 0;
  double steadyEndS_ = -1e9;  // the track's beginning has been followed back
  int trackBin_ = 0;
  int prevBin_ = -1;
  // the track's bin a frame before; -1 when not known yet
  int gap_ = 0;
  std::vector<TrackPoint> track_;
  std::vector<CallMeasure> calls_;
  bool held_ = false;  // a call kept back until its echoes and pieces have passed
  Piece heldPiece_;
};

}  // namespace hv
