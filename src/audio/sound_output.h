// What the sound thread does with each block of float audio: convert it to
// 16-bit, drive the level meter, queue it for the streaming sound and start
// play once enough is queued; a format change stops and resets the sound.
//
// Whatever happens to the device, the caller keeps reading its conduit: when
// the device cannot be set up or fails later, blocks are metered and dropped,
// and the device is set up again every `retrySeconds` (one report per streak of
// failures). While a file is replayed the wait for room in the queue is
// bounded; a queue that does not drain for that long counts as a failed device.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/sample_convert.h"
#include "audio/sound_manager.h"

namespace hv {

class SoundOutput {
 public:
  struct Options {
    // Makes the device for each set-up (null: the back end of this run).
    std::function<std::unique_ptr<SoundDevice>()> makeDevice;
    // Receives the meter value (0..100) of each block.
    std::function<void(int)> meter;
    double retrySeconds = 5.0;
    // Longest wait for room in the queue during playback.
    double playbackWaitSeconds = 1.0;
    // A playing device whose position does not move for this long has failed.
    double stallSeconds = 3.0;
  };

  explicit SoundOutput(Options options);
  ~SoundOutput();

  // Sets up the device and the streaming sound (reporting what fails).
  void Start();
  // One block of float samples from the tuning path.
  void ProcessBlock(const float* samples, size_t count);
  // The audio format changed: the queue takes the new rate; the sound stops,
  // resets and starts again once enough is queued.
  void FormatChanged(uint32_t sampleRate);
  // Stops and releases the streaming sound and the device (a wav: file is finished).
  void Shutdown();
  // Called (from any thread) when a refill failed; the device is set up again.
  static void NoteRefillFailure();

  bool Ready() const { return sound_ != nullptr; }
  bool Playing() const { return Ready() && !firstFillPending_; }
  uint64_t BlocksDropped() const { return dropped_; }
  SoundDevice* Device() { return manager_ ? manager_->Device() : nullptr; }
  CStreamingSound* Sound() { return sound_; }

 private:
  bool SetUp();
  void Fail(const char* message);
  void TearDown();
  bool Queue(const int16_t* pcm, size_t count);
  bool CheckDevice();

  Options options_;
  std::unique_ptr<SoundManager> manager_;
  CStreamingSound* sound_ = nullptr;  // also published as g_streamingSound
  LevelMeter meter_;
  std::vector<int16_t> pcm_;
  bool firstFillPending_ = true;
  uint64_t queuedSamples_ = 0;
  uint32_t queueRate_ = 44100;
  bool failing_ = false;  // in a streak of failures (reported once)
  std::chrono::steady_clock::time_point nextRetry_{};
  uint64_t dropped_ = 0;
  uint64_t lastPassed_ = 0;
  std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace hv
