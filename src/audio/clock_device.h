// The back ends without a sound card: the play position advances by the clock
// at the buffer's rate (44100 frames/s) on a thread of the device, and the
// notification points fire as on a real device. The wav variant also appends
// every byte played to a WAV file, finished when the device is destroyed.
// A manual variant (tests) has no thread: the caller advances it with Advance.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/looping_buffer.h"
#include "audio/sound_device.h"
#include "audio/wav_sink.h"

namespace hv {

class ClockDevice : public SoundDevice, private BufferHost {
 public:
  enum class Pacing { kClock, kManual };
  // `wavPath` empty: nothing is written.
  explicit ClockDevice(std::string wavPath = std::string(), Pacing pacing = Pacing::kClock);
  ~ClockDevice() override;

  SoundStatus Open() override;
  SoundStatus SetPrimaryFormat(const WaveFormat& format) override;
  SoundStatus CreateBuffer(const WaveFormat& format, uint32_t bytes, const std::vector<uint32_t>& points,
                           AutoResetEvent* event, std::unique_ptr<SoundBuffer>* buffer) override;
  const char* Name() const override { return wavPath_.empty() ? "null" : "wav"; }

  // Manual pacing: plays `bytes` from the current buffer now (on the caller's thread).
  void Advance(uint32_t bytes);
  // Simulates the output going away (`unavailable`) and coming back: while
  // unavailable, the buffer reports lost and restoring it fails.
  void SimulateLoss(bool unavailable);
  // Bytes the buffer actually played (written to the file in the wav variant).
  uint64_t BytesPlayed() const { return played_.load(std::memory_order_relaxed); }

 private:
  bool Reacquire() override { return !unavailable_.load(std::memory_order_relaxed); }
  void PlayStarted() override;
  void ClockLoop();
  void Consume(uint32_t bytes);
  void StopClock();
  bool OpenWav(const WaveFormat& format);

  std::string wavPath_;
  Pacing pacing_;
  WavSink wav_;                      // written only by the consumer (clock thread or Advance caller)
  std::mutex bufferLock_;            // guards buffer_ against replacement while consuming
  LoopingBuffer* buffer_ = nullptr;  // owned by the caller of CreateBuffer; see CreateBuffer
  std::atomic<bool> unavailable_{false};
  std::atomic<uint64_t> played_{0};

  std::thread clock_;
  std::mutex clockLock_;
  std::condition_variable clockWake_;
  bool stopClock_ = false;
  bool playStarted_ = false;  // guarded by clockLock_
};

}  // namespace hv
