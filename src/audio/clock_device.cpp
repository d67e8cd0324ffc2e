#include "audio/clock_device.h"

#include <pthread.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

namespace hv {

namespace {

// The buffer of a clock device; tells the device when it goes away so the
// clock thread stops reading it. Buffers must be destroyed before their device.
class ClockBuffer : public LoopingBuffer {
 public:
  ClockBuffer(const WaveFormat& format, uint32_t bytes, std::vector<uint32_t> points, AutoResetEvent* event,
              BufferHost* host, std::function<void(ClockBuffer*)> detach)
      : LoopingBuffer(format, bytes, std::move(points), event, host), detach_(std::move(detach)) {}
  ~ClockBuffer() override { detach_(this); }

 private:
  std::function<void(ClockBuffer*)> detach_;
};

// While playing, the clock wakes when the next notification point is due (the
// refill thread's cue), never later than kLongestTick; nothing else looks at the
// play position between points, so waking more often would only cost.
constexpr auto kLongestTick = std::chrono::milliseconds(50);
// Woken this much after a point's due time, so that the frames due then surely include it.
constexpr auto kPointMargin = std::chrono::microseconds(200);
// While nothing plays the clock sleeps: Play wakes it (PlayStarted) and the idle
// time is skipped, not played. The bound only guards against a missed wake-up.
constexpr auto kIdleTick = std::chrono::seconds(5);

// Files this process has written: a device set up again after a failure
// continues its file instead of starting it afresh.
std::mutex s_filesLock;
std::set<std::string> s_files;

}  // namespace

bool ClockDevice::OpenWav(const WaveFormat& format) {
  std::lock_guard<std::mutex> guard(s_filesLock);
  bool ok = s_files.count(wavPath_) ? wav_.OpenToAppend(wavPath_, format) : wav_.Open(wavPath_, format);
  if (ok) s_files.insert(wavPath_);
  return ok;
}

ClockDevice::ClockDevice(std::string wavPath, Pacing pacing) : wavPath_(std::move(wavPath)), pacing_(pacing) {}

ClockDevice::~ClockDevice() {
  StopClock();
  wav_.Close();
}

SoundStatus ClockDevice::Open() { return kSoundOk; }

SoundStatus ClockDevice::SetPrimaryFormat(const WaveFormat& format) {
  if (format.blockAlign == 0 || format.sampleRate == 0) return kSoundBadArgument;
  return kSoundOk;
}

SoundStatus ClockDevice::CreateBuffer(const WaveFormat& format, uint32_t bytes, const std::vector<uint32_t>& points,
                                      AutoResetEvent* event, std::unique_ptr<SoundBuffer>* buffer) {
  if (!buffer || bytes == 0 || format.blockAlign == 0 || format.sampleRate == 0 || bytes % format.blockAlign)
    return kSoundBadArgument;
  for (uint32_t p : points)
    if (p >= bytes) return kSoundBadArgument;
  if (!wavPath_.empty() && !wav_.IsOpen() && !OpenWav(format)) return kSoundFail;
  auto detach = [this](ClockBuffer* b) {
    std::lock_guard<std::mutex> guard(bufferLock_);
    if (buffer_ == b) buffer_ = nullptr;
  };
  BufferHost* host = this;
  auto made = std::make_unique<ClockBuffer>(format, bytes, points, event, host, detach);
  {
    std::lock_guard<std::mutex> guard(bufferLock_);
    buffer_ = made.get();
  }
  *buffer = std::move(made);
  if (pacing_ == Pacing::kClock && !clock_.joinable()) {
    std::lock_guard<std::mutex> guard(clockLock_);
    stopClock_ = false;
    clock_ = std::thread(&ClockDevice::ClockLoop, this);
  }
  return kSoundOk;
}

void ClockDevice::SimulateLoss(bool unavailable) {
  unavailable_.store(unavailable, std::memory_order_relaxed);
  if (unavailable) {
    std::lock_guard<std::mutex> guard(bufferLock_);
    if (buffer_) buffer_->MarkLost();
  }
}

// Runs on the clock thread or, with manual pacing, on the caller's thread.
void ClockDevice::Consume(uint32_t bytes) {
  uint8_t chunk[2048];
  std::lock_guard<std::mutex> guard(bufferLock_);
  if (!buffer_) return;
  uint32_t block = buffer_->Format().blockAlign;
  bytes -= bytes % block;
  while (bytes > 0) {
    uint32_t n = std::min<uint32_t>(bytes, sizeof chunk - sizeof chunk % block);
    uint32_t played = buffer_->Render(chunk, n);
    if (played) {
      played_.fetch_add(played, std::memory_order_relaxed);
      if (wav_.IsOpen()) wav_.Append(chunk, played);
    }
    bytes -= n;
  }
}

void ClockDevice::Advance(uint32_t bytes) { Consume(bytes); }

// Runs on the thread that calls Play.
void ClockDevice::PlayStarted() {
  {
    std::lock_guard<std::mutex> guard(clockLock_);
    playStarted_ = true;
  }
  clockWake_.notify_all();
}

// Runs on the device's clock thread: at each notification point's due time
// plays the bytes the elapsed time calls for. After a stall longer than one
// buffer it skips ahead instead of racing through the backlog (a real device
// would have underrun too).
void ClockDevice::ClockLoop() {
  pthread_setname_np(pthread_self(), "sound-clock");
  using clock = std::chrono::steady_clock;
  auto start = clock::now();
  uint64_t framesDone = 0;
  auto lastFlush = start;
  std::unique_lock<std::mutex> lock(clockLock_);
  while (!stopClock_) {
    bool playing = false;
    std::chrono::microseconds tick = kLongestTick;
    {
      std::lock_guard<std::mutex> guard(bufferLock_);
      if (buffer_) {
        buffer_->GetStatus(&playing, nullptr);
        // Everything due has been played: the next point is this many frames away.
        const WaveFormat& f = buffer_->Format();
        auto toPoint = std::chrono::microseconds(uint64_t{buffer_->BytesToNextPoint() / f.blockAlign} * 1000000 /
                                                 f.sampleRate) + kPointMargin;
        tick = std::min<std::chrono::microseconds>(toPoint, kLongestTick);
      }
    }
    if (playing)
      clockWake_.wait_until(lock, clock::now() + tick);
    else
      clockWake_.wait_for(lock, kIdleTick, [this] { return stopClock_ || playStarted_; });
    playStarted_ = false;
    if (stopClock_) break;
    lock.unlock();
    uint32_t rate = 44100, block = 2, size = 8192;
    {
      std::lock_guard<std::mutex> guard(bufferLock_);
      if (buffer_) {
        rate = buffer_->Format().sampleRate;
        block = buffer_->Format().blockAlign;
        size = buffer_->Size();
      }
    }
    auto now = clock::now();
    uint64_t due = static_cast<uint64_t>(std::chrono::duration<double>(now - start).count() * rate);
    if (!playing) framesDone = due;  // a stopped buffer plays nothing: the idle time is skipped
    uint64_t frames = due > framesDone ? due - framesDone : 0;
    uint64_t maxFrames = size / block;
    if (frames > maxFrames) {
      framesDone += frames - maxFrames;
      frames = maxFrames;
    }
    if (frames) Consume(static_cast<uint32_t>(frames * block));
    framesDone += frames;
    if (wav_.IsOpen() && now - lastFlush > std::chrono::seconds(2)) {
      std::lock_guard<std::mutex> guard(bufferLock_);
      wav_.Flush();
      lastFlush = now;
    }
    lock.lock();
  }
}

void ClockDevice::StopClock() {
  {
    std::lock_guard<std::mutex> guard(clockLock_);
    stopClock_ = true;
  }
  clockWake_.notify_all();
  if (clock_.joinable()) clock_.join();
}

}  // namespace hv
