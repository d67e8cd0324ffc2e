// The display thread's work: it watches the spectrum frames of conduit6 and,
// whenever a frame's peak level rises above the threshold, captures one slot of
// spectrogram columns from the samples the frames carry, starting 8 frames
// (512 samples) before the trigger, closes the slot with a red separator and
// presents the image; then it passes over the frames that queued up meanwhile.
//
// The frames read here are the analysis frames of dsp/analysis_frame.h; their
// peak level is the trigger value and their samples make the columns. The
// conduit's format rate is the sample rate of the underlying stream.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "display/mouse_work.h"
#include "dsp/analysis_frame.h"

namespace hv {

class Conduit;
class SpectrogramImage;

constexpr int kFrameBytes = static_cast<int>(kSpectrumFrameBytes);
constexpr int kFrameSamples = kFrameHop;
constexpr int kRecordWindow = 22;  // records held at once
constexpr int kReadRecords = 8;    // records per read
constexpr int kPreTriggerRecords = 8;

// Hop (samples between columns) for a Detail setting, and slots across the
// image for a Divisions setting.
int HopForDetail(int detail);
int SlotsForDivisions(int divisions);

// 128 power values (bins 0..127) from up to 256 samples, those of a 256-point
// transform (kColumnTransformSize); false on failure.
constexpr int kColumnTransformSize = 256;
using PowerSpectrumFunction = std::function<bool(const float* samples, int count, float* power, int capacity)>;

enum class CaptureState { Waiting, Capturing, Closing, Skipping };

class DisplayEngine {
 public:
  DisplayEngine(Conduit* source, SpectrogramImage* image, PowerSpectrumFunction analyser);

  // Start-up: scales for the stream rate `fs`, layout, markers, colour scale and
  // a full repaint of the main window.
  void start(float fs);
  // One round of the main loop: compaction, reading (waiting while the conduit
  // is empty when `waitForData`, doing the mouse work meanwhile), then the
  // capture state machine. False when nothing was read.
  bool runOnce(bool waitForData);

  CaptureState state() const { return state_; }
  int hop() const { return hop_; }
  int slotWidth() const { return slotWidth_; }
  float sampleRate() const { return fs_; }
  int capturesPresented() const { return captures_; }

 private:
  void applyRate(float fs);  // time, frequency and colour scales
  void repaintAll();
  bool readRecords(bool waitForData);
  void captureStep();
  void advance(int samples);
  const float* recordWords(int record) const {
    return reinterpret_cast<const float*>(window_.data() + size_t(record) * kFrameBytes);
  }

  Conduit* source_;
  SpectrogramImage* image_;
  PowerSpectrumFunction analyser_;
  MouseWork mouse_;

  float fs_ = 250000.0f;
  int detail_ = 4, hop_ = 48;
  int divisions_ = 3, slotWidth_ = 128;
  double secondsPerColumn_ = 0.0, timeTickCount_ = 0.0;

  std::vector<uint8_t> window_ = std::vector<uint8_t>(size_t(kRecordWindow) * kFrameBytes);
  int filled_ = 0;     // S: records in the window
  int processed_ = 0;  // B: record of the current sample position
  int offset_ = 0;     // u: sample offset within record B
  CaptureState state_ = CaptureState::Waiting;
  int columnsLeft_ = 0;
  int skipLeft_ = 0;
  int captures_ = 0;

  float analysis_[256] = {};
  float power_[128] = {};
  float levels_[128] = {};
};

}  // namespace hv
