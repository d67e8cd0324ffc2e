#include "audio/sound_manager.h"

#include <cstdlib>
#include <cstring>

#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {

CStreamingSound* g_streamingSound = nullptr;

namespace {
// Tries of a restore while the device says the buffer is still lost, 10 ms apart.
constexpr int kRestoreTries = 10;
}  // namespace

WaveFormat SoundOutputFormat() { return MakeWaveFormat(44100, 1, 2, 16); }

// ---- CSound ----

CSound::CSound(std::unique_ptr<SoundBuffer> buffer, const WaveFormat& format, uint32_t queueCapacity,
               uint32_t creationFlags)
    : bufferSize_(buffer ? static_cast<int32_t>(buffer->Size()) : 0),
      sourceFormat_(std::make_unique<WaveFormat>(format)),
      creationFlags_(creationFlags) {
  buffers_.push_back(std::move(buffer));
  source_.Create(queueCapacity, sourceFormat_.get());
}

CSound::~CSound() = default;

SoundStatus CSound::Restore(SoundBuffer* buffer, bool* wasLost) {
  if (wasLost) *wasLost = false;
  if (!buffer) return kSoundBadArgument;
  bool playing = false, lost = false;
  SoundStatus s = buffer->GetStatus(&playing, &lost);
  if (SoundFailed(s)) return s;
  if (!lost) return kSoundOk;
  if (wasLost) *wasLost = true;
  for (int attempt = 0; attempt < kRestoreTries; ++attempt) {
    s = buffer->Restore();
    if (s != kSoundBufferLost) return s;
    if (!IsRunning()) break;
    SleepSeconds(0.01);
  }
  return kSoundBufferLost;
}

uint32_t CSound::ReadOrSilence(uint8_t* dest, uint32_t n) {
  uint32_t got = 0;
  source_.Read(n, dest, &got);
  if (got < n) std::memset(dest + got, SilenceByte(), n - got);
  return got;
}

SoundStatus CSound::Fill(SoundBuffer* buffer) {
  SoundStatus s = Restore(buffer, nullptr);
  if (SoundFailed(s)) return s;
  uint8_t *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  s = buffer->Lock(0, static_cast<uint32_t>(bufferSize_), &p1, &n1, &p2, &n2);
  if (SoundFailed(s)) return s;
  // The whole buffer in one read when the queue holds that much (it never
  // quite does, so a start writes silence and the queue follows in refills).
  std::vector<uint8_t> whole(static_cast<size_t>(bufferSize_));
  ReadOrSilence(whole.data(), static_cast<uint32_t>(bufferSize_));
  std::memcpy(p1, whole.data(), n1);
  if (p2 && n2) std::memcpy(p2, whole.data() + n1, n2);
  // Play starts from here: crossings counted so far are not owed a refill.
  serviced_ = buffer->NotificationsPassed();
  return buffer->Unlock(p1, n1, p2, n2);
}

SoundStatus CSound::Play(int32_t volume, int32_t pan) {
  SoundBuffer* chosen = nullptr;
  for (auto& b : buffers_) {
    bool playing = false;
    if (b && !SoundFailed(b->GetStatus(&playing, nullptr)) && !playing) {
      chosen = b.get();
      break;
    }
  }
  if (!chosen) chosen = buffers_[static_cast<size_t>(std::rand()) % buffers_.size()].get();
  if (!chosen) return kSoundFail;
  bool wasLost = false;
  SoundStatus s = Restore(chosen, &wasLost);
  if (SoundFailed(s)) return s;
  if (wasLost && SoundFailed(s = Fill(chosen))) return s;
  if ((creationFlags_ & kSoundControlVolume) && SoundFailed(s = chosen->SetVolume(volume))) return s;
  if ((creationFlags_ & kSoundControlPan) && SoundFailed(s = chosen->SetPan(pan))) return s;
  return chosen->Play();
}

SoundStatus CSound::Stop() {
  SoundStatus result = kSoundOk;
  for (auto& b : buffers_) {
    if (!b) continue;
    SoundStatus s = b->Stop();
    if (SoundFailed(s)) result = s;
  }
  return result;
}

// ---- CStreamingSound ----

CStreamingSound::CStreamingSound(std::unique_ptr<SoundBuffer> buffer, const WaveFormat& format,
                                 uint32_t queueCapacity, int32_t notifySize)
    : CSound(std::move(buffer), format, queueCapacity, 0), notifySize_(notifySize) {}

SoundStatus CStreamingSound::Reset() {
  SoundBuffer* buffer = Buffer();
  if (!buffer) return kSoundFail;
  nextWriteOffset_ = 0;
  bool wasLost = false;
  SoundStatus s = Restore(buffer, &wasLost);
  if (SoundFailed(s)) return s;
  if (wasLost && SoundFailed(s = Fill(buffer))) return s;
  source_.Reset();
  serviced_ = buffer->NotificationsPassed();
  return buffer->SetPosition(0);
}

SoundStatus CStreamingSound::Refill() {
  SoundBuffer* buffer = Buffer();
  if (!buffer) return kSoundFail;
  bool wasLost = false;
  SoundStatus s = Restore(buffer, &wasLost);
  if (SoundFailed(s)) return s;
  if (wasLost) return Fill(buffer);
  uint8_t *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  s = buffer->Lock(static_cast<uint32_t>(nextWriteOffset_), static_cast<uint32_t>(notifySize_), &p1, &n1, &p2,
                   &n2);
  if (SoundFailed(s)) return s;
  if (p2 && n2) {
    buffer->Unlock(p1, n1, p2, n2);
    return E_UNEXPECTED;
  }
  uint32_t got = ReadOrSilence(p1, n1);
  refills_.fetch_add(1, std::memory_order_relaxed);
  if (got < n1) shortRefills_.fetch_add(1, std::memory_order_relaxed);
  s = buffer->Unlock(p1, n1, p2, n2);
  nextWriteOffset_ = (nextWriteOffset_ + static_cast<int32_t>(n1)) % bufferSize_;
  return s;
}

SoundStatus CStreamingSound::ServiceNotifications() {
  SoundBuffer* buffer = Buffer();
  if (!buffer || notifySize_ <= 0 || bufferSize_ <= 0) return kSoundFail;
  bool playing = false, lost = false;
  buffer->GetStatus(&playing, &lost);
  if (lost) return Refill();  // restores and fills the whole buffer; nothing else is owed
  const uint64_t passed = buffer->NotificationsPassed();
  uint64_t due = passed - serviced_;
  serviced_ = passed;
  const uint64_t quarters = static_cast<uint64_t>(bufferSize_ / notifySize_);
  if (due > quarters) {
    // The whole buffer went by unanswered: skip to the quarter just played.
    uint64_t skip = due - quarters;
    skipped_.fetch_add(skip, std::memory_order_relaxed);
    nextWriteOffset_ = static_cast<int32_t>((nextWriteOffset_ + (skip % quarters) * notifySize_) % bufferSize_);
    due = quarters;
  }
  for (uint64_t i = 0; i < due; ++i) {
    SoundStatus s = Refill();
    if (SoundFailed(s)) return s;
  }
  return kSoundOk;
}

// ---- SoundManager ----

SoundManager::~SoundManager() = default;

SoundStatus SoundManager::Initialize(std::unique_ptr<SoundDevice> device) {
  device_.reset();
  device_ = device ? std::move(device) : CreateSoundDevice();
  if (!device_) return kSoundFail;
  return device_->Open();
}

SoundStatus SoundManager::SetPrimaryFormat() {
  if (!device_) return kSoundFail;
  return device_->SetPrimaryFormat(SoundOutputFormat());
}

SoundStatus SoundManager::CreateStreaming(CStreamingSound** sound, uint32_t queueCapacity, const WaveFormat& format,
                                          int32_t notifySize, AutoResetEvent* event) {
  if (!sound || notifySize <= 0 || format.blockAlign == 0) return kSoundBadArgument;
  *sound = nullptr;
  if (!device_) return kSoundFail;
  const uint32_t size = 4 * static_cast<uint32_t>(notifySize);
  std::vector<uint32_t> points;
  for (uint32_t q = 1; q <= 4; ++q) points.push_back(q * static_cast<uint32_t>(notifySize) - 1);
  std::unique_ptr<SoundBuffer> buffer;
  SoundStatus s = device_->CreateBuffer(format, size, points, event, &buffer);
  if (SoundFailed(s)) return s;
  *sound = new CStreamingSound(std::move(buffer), format, queueCapacity, notifySize);
  return kSoundOk;
}

SoundStatus SoundManager::SpaceAvailable(CSound* sound, int64_t* space) {
  if (!sound || !space) return kSoundBadArgument;
  return sound->Queue().Space(space) == kStatusOk ? kSoundOk : kSoundFail;
}

SoundStatus SoundManager::Write(CSound* sound, const void* bytes, uint32_t count, uint32_t* accepted) {
  if (!sound) return kSoundBadArgument;
  return sound->Queue().Write(count, bytes, accepted) == kStatusOk ? kSoundOk : kSoundFail;
}

}  // namespace hv
