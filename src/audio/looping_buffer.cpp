#include "audio/looping_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hv {

LoopingBuffer::LoopingBuffer(const WaveFormat& format, uint32_t bytes, std::vector<uint32_t> points,
                             AutoResetEvent* event, BufferHost* host)
    : format_(format), memory_(bytes, 0), points_(std::move(points)), event_(event), host_(host) {
  std::fill(memory_.begin(), memory_.end(), SilenceByte());
}

SoundStatus LoopingBuffer::GetStatus(bool* playing, bool* lost) {
  if (playing) *playing = playing_.load(std::memory_order_relaxed);
  if (lost) *lost = lost_.load(std::memory_order_acquire);
  return kSoundOk;
}

SoundStatus LoopingBuffer::Restore() {
  if (!lost_.load(std::memory_order_acquire)) return kSoundOk;
  if (host_ && !host_->Reacquire()) return kSoundBufferLost;
  {
    std::lock_guard<std::mutex> guard(memoryLock_);
    std::fill(memory_.begin(), memory_.end(), SilenceByte());
  }
  lost_.store(false, std::memory_order_release);
  return kSoundOk;
}

SoundStatus LoopingBuffer::Lock(uint32_t offset, uint32_t bytes, uint8_t** piece1, uint32_t* size1,
                                uint8_t** piece2, uint32_t* size2) {
  if (!piece1 || !size1 || offset >= Size() || bytes == 0 || bytes > Size()) return kSoundBadArgument;
  if (lost_.load(std::memory_order_acquire)) return kSoundBufferLost;
  memoryLock_.lock();
  locked_ = true;
  uint32_t first = std::min(bytes, Size() - offset);
  *piece1 = memory_.data() + offset;
  *size1 = first;
  if (piece2) *piece2 = first < bytes ? memory_.data() : nullptr;
  if (size2) *size2 = bytes - first;
  return kSoundOk;
}

SoundStatus LoopingBuffer::Unlock(uint8_t*, uint32_t, uint8_t*, uint32_t) {
  if (!locked_) return kSoundFail;
  locked_ = false;
  memoryLock_.unlock();
  return kSoundOk;
}

SoundStatus LoopingBuffer::Play() {
  if (lost_.load(std::memory_order_acquire)) return kSoundBufferLost;
  playing_.store(true, std::memory_order_relaxed);
  if (host_) host_->PlayStarted();
  return kSoundOk;
}

SoundStatus LoopingBuffer::Stop() {
  playing_.store(false, std::memory_order_relaxed);
  return kSoundOk;
}

SoundStatus LoopingBuffer::SetPosition(uint32_t offset) {
  if (offset >= Size()) return kSoundBadArgument;
  std::lock_guard<std::mutex> guard(memoryLock_);
  position_.store(offset, std::memory_order_relaxed);
  return kSoundOk;
}

SoundStatus LoopingBuffer::SetVolume(int32_t hundredthsDb) {
  if (hundredthsDb > 0 || hundredthsDb < -10000) return kSoundBadArgument;
  volume_.store(hundredthsDb, std::memory_order_relaxed);
  return kSoundOk;
}

SoundStatus LoopingBuffer::SetPan(int32_t pan) {
  if (pan > 10000 || pan < -10000) return kSoundBadArgument;
  pan_.store(pan, std::memory_order_relaxed);
  return kSoundOk;
}

// Scales 16-bit output by the attenuation set with SetVolume (0 leaves it alone).
void LoopingBuffer::ApplyVolume(uint8_t* out, uint32_t bytes) const {
  int32_t v = volume_.load(std::memory_order_relaxed);
  if (v == 0 || format_.bitsPerSample != 16) return;
  double gain = std::pow(10.0, v / 2000.0);
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    std::memcpy(&s, out + i, 2);
    s = static_cast<int16_t>(s * gain);
    std::memcpy(out + i, &s, 2);
  }
}

uint32_t LoopingBuffer::BytesToNextPoint() const {
  const uint32_t size = Size();
  const uint32_t pos = position_.load(std::memory_order_relaxed);
  uint32_t nearest = size;
  // Point p is passed once the byte at p has played: p - pos + 1 more bytes, around the loop.
  for (uint32_t p : points_) {
    uint32_t d = (p >= pos ? p - pos : size - pos + p) + 1;
    nearest = std::min(nearest, d);
  }
  return nearest;
}

// Runs on the back end's audio thread.
uint32_t LoopingBuffer::Render(uint8_t* out, uint32_t bytes) {
  if (!playing_.load(std::memory_order_relaxed) || lost_.load(std::memory_order_acquire)) {
    std::memset(out, SilenceByte(), bytes);
    return 0;
  }
  uint32_t crossed = 0;
  {
    std::lock_guard<std::mutex> guard(memoryLock_);
    const uint32_t size = Size();
    uint32_t pos = position_.load(std::memory_order_relaxed);
    uint32_t done = 0;
    while (done < bytes) {
      uint32_t n = std::min(bytes - done, size - pos);
      std::memcpy(out + done, memory_.data() + pos, n);
      // A point p is passed when the byte at p has been played: p in [pos, pos + n).
      for (uint32_t p : points_)
        if (p >= pos && p < pos + n) ++crossed;
      done += n;
      pos += n;
      if (pos == size) pos = 0;
    }
    position_.store(pos, std::memory_order_relaxed);
  }
  ApplyVolume(out, bytes);
  if (crossed) {
    // Release pairs with NotificationsPassed's acquire on the refill thread.
    passed_.fetch_add(crossed, std::memory_order_release);
    if (event_) event_->Signal();
  }
  return bytes;
}

}  // namespace hv
