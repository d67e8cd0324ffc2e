#include "audio/sound_output.h"

#include <atomic>

#include "core/runtime.h"
#include "core/station_state.h"

namespace hv {

namespace {

// The queue: a whole buffer (8192 bytes) plus two blocks of room. Play starts
// with 6144 bytes queued, and from then on a block (2048 bytes) arrives about
// when a refill takes a quarter, so the level swings between 4096 and 8192.
// With only 8190 bytes of room every block that came just before its refill
// would lose its last sample; the two blocks of room let a live stream ride
// out a refill that comes up to two blocks late, as the 4096 bytes at the low
// point let it ride out a block that comes two blocks late.
constexpr uint32_t kQueueCapacity = 8192 + 2 * 2048;
constexpr int32_t kNotifySize = 2048;
// Play starts once more than this many 16-bit bytes were queued.
constexpr uint64_t kStartBytes = 4096;

std::atomic<bool> s_refillFailed{false};

}  // namespace

SoundOutput::SoundOutput(Options options) : options_(std::move(options)) {}

SoundOutput::~SoundOutput() { Shutdown(); }

void SoundOutput::NoteRefillFailure() { s_refillFailed.store(true, std::memory_order_relaxed); }

// Runs on the sound thread.
bool SoundOutput::SetUp() {
  const bool report = !failing_;
  manager_ = std::make_unique<SoundManager>();
  std::unique_ptr<SoundDevice> device = options_.makeDevice ? options_.makeDevice() : nullptr;
  if (SoundFailed(manager_->Initialize(std::move(device)))) {
    if (report) DiagPrint("Failed Sound Manager Initialize\n");
  } else if (SoundFailed(manager_->SetPrimaryFormat())) {
    if (report) DiagPrint("Failed Sound Manager Set Format\n");
  }
  SleepSeconds(0.001);
  WaveFormat queueFormat = SoundOutputFormat();
  queueFormat.sampleRate = queueRate_;
  CStreamingSound* created = nullptr;
  {
    LockGuard lock(g_soundLock);
    if (!lock.held()) return false;
    delete g_streamingSound;
    g_streamingSound = nullptr;
    sound_ = nullptr;
    if (SoundFailed(manager_->CreateStreaming(&created, kQueueCapacity, queueFormat, kNotifySize, &g_soundEvent))) {
      if (report) DiagPrint("Failed Sound Create\n");
      return false;
    }
    if (SoundFailed(created->Reset())) {
      if (report) DiagPrint("Failed Streaming Sound Reset\n");
      delete created;
      return false;
    }
    g_streamingSound = created;
    sound_ = created;
  }
  s_refillFailed.store(false, std::memory_order_relaxed);
  firstFillPending_ = true;
  queuedSamples_ = 0;
  if (failing_) DiagPrint("Sound output restored (%s)\n", manager_->Device() ? manager_->Device()->Name() : "");
  failing_ = false;
  return true;
}

void SoundOutput::Start() {
  if (!SetUp()) Fail(nullptr);
}

// Runs on the sound thread: reports (once per streak), releases the sound and
// the device, and schedules the next set-up.
void SoundOutput::Fail(const char* message) {
  if (!failing_) {
    if (message) DiagPrint("%s", message);
    DiagPrint("Sound output unavailable; audio is dropped and the device tried again every %g s\n",
              options_.retrySeconds);
  }
  failing_ = true;
  TearDown();
  nextRetry_ = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(options_.retrySeconds));
}

void SoundOutput::TearDown() {
  {
    LockGuard lock(g_soundLock);
    if (g_streamingSound == sound_) g_streamingSound = nullptr;
    if (sound_) {
      sound_->Stop();
      delete sound_;
    }
    sound_ = nullptr;
  }
  manager_.reset();
}

void SoundOutput::Shutdown() {
  if (sound_) {
    uint64_t refills = sound_->Refills(), shortRefills = sound_->ShortRefills(), skipped = sound_->SkippedQuarters();
    if (refills) DiagPrint("Sound output: %llu refills, %llu found the queue short, %llu quarters skipped\n",
                           static_cast<unsigned long long>(refills), static_cast<unsigned long long>(shortRefills),
                           static_cast<unsigned long long>(skipped));
  }
  TearDown();
}

void SoundOutput::FormatChanged(uint32_t sampleRate) {
  queueRate_ = sampleRate;
  bool ok = true;
  {
    LockGuard lock(g_soundLock);
    if (lock.held() && sound_) {
      sound_->QueueFormat().sampleRate = sampleRate;
      sound_->Stop();
      ok = !SoundFailed(sound_->Reset());
    }
  }
  SleepSeconds(0.001);
  firstFillPending_ = true;
  queuedSamples_ = 0;
  if (!ok) Fail("Failed Streaming Sound Reset\n");
}

// Runs on the sound thread while playing: a lost buffer is restored and filled
// again; a buffer that cannot be restored, or a device whose play position has
// not moved for the stall time, fails the sound. True when all is well.
bool SoundOutput::CheckDevice() {
  SoundBuffer* buffer = sound_->Buffer();
  bool playing = false, lost = false;
  if (!buffer || SoundFailed(buffer->GetStatus(&playing, &lost))) lost = true;
  if (lost) {
    bool ok = false;
    {
      LockGuard lock(g_soundLock);
      ok = lock.held() && buffer && !SoundFailed(sound_->Fill(buffer));
    }
    if (!ok) {
      Fail("Sound output lost\n");
      return false;
    }
  }
  auto now = std::chrono::steady_clock::now();
  uint64_t passed = buffer->NotificationsPassed();
  if (passed != lastPassed_ || lastProgress_ == std::chrono::steady_clock::time_point{}) {
    lastPassed_ = passed;
    lastProgress_ = now;
  } else if (now - lastProgress_ > std::chrono::duration<double>(options_.stallSeconds)) {
    Fail("Sound output stalled: the device stopped playing\n");
    return false;
  }
  return true;
}

// Runs on the sound thread. False when the sound failed (and was torn down).
bool SoundOutput::Queue(const int16_t* pcm, size_t count) {
  const uint32_t bytes = static_cast<uint32_t>(count * sizeof(int16_t));
  if (g_playbackActive.load(std::memory_order_relaxed)) {
    // A replayed file waits for room (back-pressure on the conditioning
    // thread), but never longer than the bound, and never past shutdown.
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(options_.playbackWaitSeconds));
    for (;;) {
      int64_t space = 0;
      if (SoundFailed(manager_->SpaceAvailable(sound_, &space))) {
        Fail("Failed Sound Manager spaceAvailable\n");
        return false;
      }
      if (space >= bytes || !IsRunning()) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        Fail("Sound output stalled: the queue did not drain\n");
        return false;
      }
      SleepSeconds(0.001);
    }
  }
  uint32_t accepted = 0;
  if (SoundFailed(manager_->Write(sound_, pcm, bytes, &accepted))) {
    Fail("Failed Sound Manager Write\n");
    return false;
  }
  if (accepted < bytes) ++dropped_;
  return true;
}

// Runs on the sound thread.
void SoundOutput::ProcessBlock(const float* samples, size_t count) {
  pcm_.resize(count);
  double sum = ConvertToPcm16(samples, count, pcm_.data());
  int shown = meter_.Update(BlockLevel(sum, count));
  if (options_.meter) options_.meter(shown);

  if (sound_ && s_refillFailed.exchange(false, std::memory_order_relaxed)) Fail("Sound output failed in a refill\n");
  if (!sound_) {
    ++dropped_;
    if (std::chrono::steady_clock::now() >= nextRetry_ && IsRunning() && !SetUp()) Fail(nullptr);
    return;
  }
  if (!Playing() || CheckDevice()) {
    if (!Queue(pcm_.data(), count)) return;
  }

  queuedSamples_ += count;
  if (firstFillPending_ && 2 * queuedSamples_ > kStartBytes) {
    const char* failure = nullptr;
    {
      LockGuard lock(g_soundLock);
      if (!lock.held()) return;
      if (SoundFailed(sound_->Fill(sound_->Buffer()))) failure = "Failed Streaming Sound Fill\n";
      else if (SoundFailed(sound_->Play())) failure = "Failed Streaming Sound Play\n";
    }
    if (failure) {
      Fail(failure);
      return;
    }
    firstFillPending_ = false;
    lastProgress_ = {};
  }
}

}  // namespace hv
