// The streaming sound output: a SoundManager that holds the device, and the
// sound objects it creates. A CStreamingSound owns one looping device buffer of
// four quarters and a queue conduit; the sound thread writes 16-bit audio into
// the queue, and each time the device passes a quarter's notification point the
// sound refill thread copies the next quarter from the queue into the buffer.
//
// Threads: creation, Stop, Reset, Fill, Play and Refill run under the sound
// lock; the queue's space query and write (SoundManager) run without it, the
// queue being a single-writer (sound thread), single-reader (refill) conduit.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sound_device.h"
#include "core/conduit.h"

namespace hv {

// Creation flags: volume and pan control at play.
constexpr uint32_t kSoundControlVolume = 0x80;
constexpr uint32_t kSoundControlPan = 0x40;

class CSound {
 public:
  // Takes the device buffer; the queue is created with `queueCapacity` and `format`.
  CSound(std::unique_ptr<SoundBuffer> buffer, const WaveFormat& format, uint32_t queueCapacity,
         uint32_t creationFlags);
  virtual ~CSound();
  CSound(const CSound&) = delete;
  CSound& operator=(const CSound&) = delete;

  // If the buffer reports lost, restores it (a bounded number of tries 10 ms
  // apart, ending early when the run flag falls). `wasLost` says whether it had
  // been lost; kSoundBufferLost when it could not be restored.
  SoundStatus Restore(SoundBuffer* buffer, bool* wasLost);
  // Restores, then fills the whole buffer from the queue (all or nothing) and
  // silence for what was not read.
  SoundStatus Fill(SoundBuffer* buffer);
  // Plays looping the first buffer that is not playing, restoring (and
  // filling) it first; volume and pan apply only when the creation flags ask.
  SoundStatus Play(int32_t volume = 0, int32_t pan = 0);
  SoundStatus Stop();

  SoundBuffer* Buffer(int index = 0) { return index >= 0 && index < bufferCount_ ? buffers_[index].get() : nullptr; }
  Conduit& Queue() { return source_; }
  WaveFormat& QueueFormat() { return *sourceFormat_; }
  int32_t BufferSize() const { return bufferSize_; }

 protected:
  uint8_t SilenceByte() const { return sourceFormat_->bitsPerSample == 8 ? 0x80 : 0; }
  // Reads exactly `n` queued bytes into `dest` or none; the rest is silence.
  // Returns the bytes read.
  uint32_t ReadOrSilence(uint8_t* dest, uint32_t n);

  std::vector<std::unique_ptr<SoundBuffer>> buffers_;
  int32_t bufferSize_;
  std::unique_ptr<WaveFormat> sourceFormat_;  // the queue's format record (the conduit points at it)
  Conduit source_;
  int32_t bufferCount_ = 1;
  uint32_t creationFlags_;
  // Notification points already answered (see CStreamingSound::ServiceNotifications).
  uint64_t serviced_ = 0;
};

class CStreamingSound : public CSound {
 public:
  CStreamingSound(std::unique_ptr<SoundBuffer> buffer, const WaveFormat& format, uint32_t queueCapacity,
                  int32_t notifySize);
  ~CStreamingSound() override = default;

  // Write offset 0; restore (fill if it was lost); empty the queue; play position 0.
  SoundStatus Reset();
  // Copies the next quarter from the queue (silence when fewer bytes wait) to
  // the buffer at the write offset; E_UNEXPECTED if that range wraps.
  SoundStatus Refill();
  // The refill thread's answer to the sound event: one Refill for each
  // notification point passed since the last answer, so events that came
  // together are not lost. After a stall longer than the whole buffer the write
  // offset skips the quarters that were missed and stays in step.
  SoundStatus ServiceNotifications();

  int32_t NotifySize() const { return notifySize_; }
  int32_t NextWriteOffset() const { return nextWriteOffset_; }
  // Statistics (read from any thread).
  uint64_t Refills() const { return refills_.load(std::memory_order_relaxed); }
  uint64_t ShortRefills() const { return shortRefills_.load(std::memory_order_relaxed); }
  uint64_t SkippedQuarters() const { return skipped_.load(std::memory_order_relaxed); }

 private:
  int32_t notifySize_;
  int32_t nextWriteOffset_ = 0;
  std::atomic<uint64_t> refills_{0};
  std::atomic<uint64_t> shortRefills_{0};
  std::atomic<uint64_t> skipped_{0};
};

class SoundManager {
 public:
  SoundManager() = default;
  ~SoundManager();

  // Drops any previous device and opens a new one: `device` when given (tests),
  // else one of the back end chosen for this run.
  SoundStatus Initialize(std::unique_ptr<SoundDevice> device = nullptr);
  SoundStatus SetPrimaryFormat();
  // Builds a streaming sound: a queue of `queueCapacity` bytes in `format`, a
  // buffer of 4 x `notifySize` bytes with notification points at the end of each
  // quarter, all signalling `event`.
  SoundStatus CreateStreaming(CStreamingSound** sound, uint32_t queueCapacity, const WaveFormat& format,
                              int32_t notifySize, AutoResetEvent* event);
  // Bytes the queue can take now.
  SoundStatus SpaceAvailable(CSound* sound, int64_t* space);
  // Queues what fits; `accepted` says how much.
  SoundStatus Write(CSound* sound, const void* bytes, uint32_t count, uint32_t* accepted);
  SoundDevice* Device() { return device_.get(); }

 private:
  std::unique_ptr<SoundDevice> device_;
};

// The device and queue format: PCM, mono, 44100 samples/s, 16 bits.
WaveFormat SoundOutputFormat();

// The streaming sound the refill thread serves (none until the sound thread
// made one); guarded by the sound lock.
extern CStreamingSound* g_streamingSound;

}  // namespace hv
