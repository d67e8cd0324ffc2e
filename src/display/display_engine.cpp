#include "display/display_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/conduit.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_shared.h"
#include "display/display_surfaces.h"
#include "display/plot_axis.h"
#include "display/sonogram_image.h"
#include "display/sonogram_view.h"
#include "dsp/analysis_frame.h"
#include "dsp/station_level.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"

namespace hv {

int HopForDetail(int detail) {
  static const int kHops[7] = {256, 128, 64, 48, 32, 24, 16};
  return detail >= 1 && detail <= 7 ? kHops[detail - 1] : 256;
}

int SlotsForDivisions(int divisions) {
  switch (divisions) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    default: return 4;
  }
}

DisplayEngine::DisplayEngine(Conduit* source, SpectrogramImage* image, PowerSpectrumFunction analyser)
    : source_(source), image_(image), analyser_(std::move(analyser)) {}

void DisplayEngine::applyRate(float fs) {
  if (fs > 0.0f) fs_ = fs;
  // Time: the full width in about 16 ticks of whole milliseconds.
  secondsPerColumn_ = double(hop_) / fs_;
  double span = kImageColumns * secondsPerColumn_;
  double spacing = std::trunc(span * 1000.0 / 16.0 + 0.5) / 1000.0;
  if (spacing < 0.001) spacing = 0.001;  // very high rates: never a zero spacing
  timeTickCount_ = span / spacing;
  image_->clearLevels();
  image_->setTimeScale(secondsPerColumn_, timeTickCount_, spacing);
  g_timeAxis.setScale(0.0, timeTickCount_, spacing * 1000.0);
  // Frequency: ticks of 10 kHz up to half the rate.
  double frequencyTicks = fs_ / 2.0 / 10000.0;
  image_->setFrequencyScale(frequencyTicks, 10000.0);
  g_frequencyAxis.setScale(0.0, frequencyTicks, 10.0);
  image_->setColourScale(g_settings.SonoBrightness.load(std::memory_order_relaxed),
                         g_settings.SonoContrast.load(std::memory_order_relaxed));
}

void DisplayEngine::repaintAll() {
  LockGuard lock(g_displayLock);
  FullRepaintLocked();
}

void DisplayEngine::start(float fs) {
  detail_ = g_settings.SonoDetail.load(std::memory_order_relaxed);
  hop_ = HopForDetail(detail_);
  {
    LockGuard lock(g_displayLock);
    int plotWidth = 512, plotHeight = 256, w, h;
    if (XsWindowGetClientSize(g_mainWindow, &w, &h)) {
      plotWidth = w - 288;
      plotHeight = h - 80;
    }
    LayOutSpectrogramArea(plotWidth, plotHeight);
    image_->configure(plotWidth, plotHeight);
    image_->clearImage();
    applyRate(fs);
    if (g_settings.SonoMarker1Enable.load(std::memory_order_relaxed))
      image_->setMarker(0, g_settings.SonoMarker1Frequency.load(std::memory_order_relaxed));
    else
      image_->hideMarker(0);
    if (g_settings.SonoMarker2Enable.load(std::memory_order_relaxed))
      image_->setMarker(1, g_settings.SonoMarker2Frequency.load(std::memory_order_relaxed));
    else
      image_->hideMarker(1);
    FullRepaintLocked();
  }
  divisions_ = g_settings.SonoDivisions.load(std::memory_order_relaxed);
  slotWidth_ = kImageColumns / SlotsForDivisions(divisions_);
}

bool DisplayEngine::readRecords(bool waitForData) {
  // Compaction: unprocessed records move to the front of the window.
  if (processed_ < filled_) {
    std::memmove(window_.data(), window_.data() + size_t(processed_) * kFrameBytes,
                 size_t(filled_ - processed_) * kFrameBytes);
    filled_ -= processed_;
  } else {
    filled_ = 0;
  }
  processed_ = 0;
  for (;;) {
    uint32_t got = 0;
    uint32_t status = source_->Read(kReadRecords * kFrameBytes, window_.data() + size_t(filled_) * kFrameBytes, &got);
    if (status == kStatusNotInitialized) {
      WaveFormat* format = source_->TakeFormat();
      {
        LockGuard lock(g_displayLock);
        applyRate(format ? float(format->sampleRate) : fs_);
      }
      repaintAll();
      state_ = CaptureState::Waiting;
      filled_ = processed_ = offset_ = 0;
      continue;
    }
    if (got >= kFrameBytes) {
      filled_ += int(got / kFrameBytes);
      return true;
    }
    mouse_.run();
    if (!waitForData || !IsRunning()) return false;
    source_->WaitReadable(kReaderIdleWaitMs, kReadRecords * kFrameBytes);
  }
}

void DisplayEngine::advance(int samples) {
  offset_ += samples;
  if (offset_ >= kFrameSamples) {
    processed_ += offset_ / kFrameSamples;
    offset_ %= kFrameSamples;
  }
}

void DisplayEngine::captureStep() {
  switch (state_) {
    case CaptureState::Waiting: {
      float peak = recordWords(processed_ + kPreTriggerRecords)[1];
      if (!g_spectrogramPaused.load(std::memory_order_relaxed) &&
          peak > g_settings.SonoThreshold.load(std::memory_order_relaxed)) {
        int divisions = g_settings.SonoDivisions.load(std::memory_order_relaxed);
        if (divisions != divisions_) {
          divisions_ = divisions;
          slotWidth_ = kImageColumns / SlotsForDivisions(divisions);
          LockGuard lock(g_displayLock);
          image_->clearLevels();
        }
        int detail = g_settings.SonoDetail.load(std::memory_order_relaxed);
        if (detail != detail_) {
          // New hop: the tick count of start-up stays, the spacing follows the new span.
          detail_ = detail;
          hop_ = HopForDetail(detail);
          secondsPerColumn_ = double(hop_) / fs_;
          double spacing = kImageColumns * secondsPerColumn_ / timeTickCount_;
          LockGuard lock(g_displayLock);
          image_->clearLevels();
          image_->setTimeScale(secondsPerColumn_, timeTickCount_, spacing);
          g_timeAxis.setScale(0.0, timeTickCount_, spacing * 1000.0);
          FullRepaintLocked();
        }
        columnsLeft_ = slotWidth_ - 1;
        offset_ = 0;
        state_ = CaptureState::Capturing;
      } else {
        advance(kFrameSamples);
      }
      break;
    }
    case CaptureState::Capturing: {
      for (int j = 0; j < 256; ++j) {
        int position = offset_ + j;
        analysis_[j] = recordWords(processed_ + position / kFrameSamples)[4 + position % kFrameSamples];
      }
      if (analyser_ && analyser_(analysis_, 256, power_, 128)) {
        float calibration = g_receiverLevelOffset.load(std::memory_order_relaxed);
        StationLevels(power_, 128, kColumnTransformSize, calibration, levels_);
        LockGuard lock(g_displayLock);
        image_->addColumn(levels_);
      }
      if (--columnsLeft_ <= 0) state_ = CaptureState::Closing;
      advance(hop_);
      break;
    }
    case CaptureState::Closing: {
      {
        LockGuard lock(g_displayLock);
        image_->addSeparator();
        image_->present();
      }
      ++captures_;
      SleepSeconds(0.001);
      skipLeft_ = std::max(int(source_->Available() / kFrameBytes), 1);
      state_ = CaptureState::Skipping;
      advance(kFrameSamples);
      break;
    }
    case CaptureState::Skipping:
      advance(kFrameSamples);
      if (--skipLeft_ <= 0) state_ = CaptureState::Waiting;
      break;
  }
}

bool DisplayEngine::runOnce(bool waitForData) {
  bool got = readRecords(waitForData);
  // At least 14 unprocessed records: the trigger look-ahead of 8 and a full
  // 256-sample analysis window always lie inside the window.
  while (processed_ + 14 < filled_) captureStep();
  return got;
}

}  // namespace hv
