#include "core/station_state.h"

#include <chrono>

namespace hv {

NotifyingAtomic<bool> g_run{true};

MutexRecord* g_displayLock = nullptr;
MutexRecord* g_streamTimeLock = nullptr;
MutexRecord* g_soundLock = nullptr;
MutexRecord* g_logLock = nullptr;
MutexRecord* g_fileLock = nullptr;

Conduit conduit1, conduit2, conduit3, conduit4, conduit5, conduit6, conduit7;
WaveFormat g_conduitFormat[7];

AutoResetEvent g_soundEvent;

std::atomic<int> g_instanceIndex{0};
std::atomic<int> g_instanceOffset{0};
SharedText g_deviceName{"Ezusb-0"};
SharedText g_networkDeviceName{"IP"};

SharedText g_manufacturerText;
SharedText g_productText;
std::atomic<float> g_deviceSampleRate{250000.0f};
std::atomic<int> g_deviceChannels{1};
std::atomic<float> g_receiverLevelOffset{19.0f};

NotifyingAtomic<bool> g_powerSave{false};
NotifyingAtomic<bool> g_playbackActive{false};
NotifyingAtomic<bool> g_recordOn{false};
std::atomic<bool> g_traceShown{false};
std::atomic<bool> g_drawingSeen{true};
std::atomic<bool> g_fileCompensated{false};

std::atomic<float> g_tuneOffset{0.0f};
std::atomic<float> g_tuneLowerLimit{21025.0f};
std::atomic<float> g_tuneUpperLimit{113975.0f};
std::atomic<bool> g_peakHold{false};

namespace {
// Guarded by g_streamTimeLock when it exists (tests may run without the spine).
bool s_replaying = false;
StreamTime s_replayed;
std::mutex s_fallbackLock;

class StreamTimeGuard {
 public:
  StreamTimeGuard() {
    if (g_streamTimeLock) Lock(g_streamTimeLock); else s_fallbackLock.lock();
  }
  ~StreamTimeGuard() {
    if (g_streamTimeLock) Unlock(g_streamTimeLock); else s_fallbackLock.unlock();
  }
};
}  // namespace

int LocalBiasMinutes(std::time_t utc) {
  std::tm local{};
  localtime_r(&utc, &local);
  return static_cast<int>(-local.tm_gmtoff / 60);
}

StreamTime CurrentStreamTime() {
  {
    StreamTimeGuard guard;
    if (s_replaying) return s_replayed;
  }
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  StreamTime t;
  t.utcSeconds = static_cast<std::time_t>(ms / 1000);
  t.milliseconds = static_cast<int>(ms % 1000);
  t.biasMinutes = LocalBiasMinutes(t.utcSeconds);
  return t;
}

void SetReplayedStreamTime(const StreamTime& t) {
  StreamTimeGuard guard;
  s_replaying = true;
  s_replayed = t;
}

void ClearReplayedStreamTime() {
  StreamTimeGuard guard;
  s_replaying = false;
}

}  // namespace hv
