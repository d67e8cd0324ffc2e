// The looping buffer that every back end plays: the memory, the play position,
// the notification points and the lost state. A back end's consumer (the
// PortAudio callback or the clock thread) calls Render to take the next bytes
// from the play position; Render counts each notification point it passes and
// signals the event. The writer side (Lock/Unlock) and Render exclude each
// other with a small mutex held only for a copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "audio/sound_device.h"

namespace hv {

// What a back end does when the buffer is restored after a loss.
class BufferHost {
 public:
  virtual ~BufferHost() = default;
  // True when the output is available again.
  virtual bool Reacquire() = 0;
  // Play was called (a back end whose consumer sleeps while stopped wakes it).
  virtual void PlayStarted() {}
};

class LoopingBuffer : public SoundBuffer {
 public:
  LoopingBuffer(const WaveFormat& format, uint32_t bytes, std::vector<uint32_t> points, AutoResetEvent* event,
                BufferHost* host);

  uint32_t Size() const override { return static_cast<uint32_t>(memory_.size()); }
  SoundStatus GetStatus(bool* playing, bool* lost) override;
  SoundStatus Restore() override;
  SoundStatus Lock(uint32_t offset, uint32_t bytes, uint8_t** piece1, uint32_t* size1, uint8_t** piece2,
                   uint32_t* size2) override;
  SoundStatus Unlock(uint8_t* piece1, uint32_t size1, uint8_t* piece2, uint32_t size2) override;
  SoundStatus Play() override;
  SoundStatus Stop() override;
  SoundStatus SetPosition(uint32_t offset) override;
  SoundStatus SetVolume(int32_t hundredthsDb) override;
  SoundStatus SetPan(int32_t pan) override;
  uint64_t NotificationsPassed() const override { return passed_.load(std::memory_order_acquire); }

  // Consumer side (runs on the back end's audio thread). Copies `bytes` from the
  // play position into `out` and advances it, or writes silence when stopped or
  // lost. Returns the bytes actually played (0 when stopped or lost).
  uint32_t Render(uint8_t* out, uint32_t bytes);
  // Bytes still to be played from the play position until the next
  // notification point has been passed (the whole buffer when it has none).
  uint32_t BytesToNextPoint() const;
  // The back end reports that the output went away.
  void MarkLost() { lost_.store(true, std::memory_order_release); }
  const WaveFormat& Format() const { return format_; }

 private:
  void ApplyVolume(uint8_t* out, uint32_t bytes) const;
  uint8_t SilenceByte() const { return format_.bitsPerSample == 8 ? 0x80 : 0; }

  WaveFormat format_;
  std::vector<uint8_t> memory_;
  std::vector<uint32_t> points_;
  AutoResetEvent* event_;
  BufferHost* host_;
  std::mutex memoryLock_;  // held from Lock to Unlock, and by Render for its copy
  bool locked_ = false;    // guarded by memoryLock_ ownership (writer side only)
  std::atomic<uint32_t> position_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> passed_{0};
  std::atomic<int32_t> volume_{0};
  std::atomic<int32_t> pan_{0};
};

}  // namespace hv
