// Process-wide state shared by the threads: the run flag, the five locks, the
// seven conduits with their format records, the sound event, the instance index
// and the device names, and the receiver status values. Plain values are atomics
// read and written relaxed; texts sit behind a SharedText lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "core/conduit.h"
#include "core/runtime.h"
#include "core/station_change.h"

namespace hv {

// A text shared between threads: read and replaced whole under a small lock.
class SharedText {
 public:
  SharedText() = default;
  explicit SharedText(std::string initial) : text_(std::move(initial)) {}
  std::string Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  void Set(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = std::move(text);
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// Run flag: true from start until the main thread begins shutdown. Its fall is
// a station change: every waiting worker wakes at once.
extern NotifyingAtomic<bool> g_run;
inline bool IsRunning() { return g_run.load(std::memory_order_relaxed); }

// The five process-wide locks; no thread ever holds two at once.
extern MutexRecord* g_displayLock;
extern MutexRecord* g_streamTimeLock;
extern MutexRecord* g_soundLock;
extern MutexRecord* g_logLock;
extern MutexRecord* g_fileLock;

// The conduits of the roster and the format records they point at.
extern Conduit conduit1, conduit2, conduit3, conduit4, conduit5, conduit6, conduit7;
extern WaveFormat g_conduitFormat[7];

// Wakes the sound refill thread at each notification point of the sound buffer.
extern AutoResetEvent g_soundEvent;

// Instance index (0 for the first running copy) and window offset (32 x index).
extern std::atomic<int> g_instanceIndex;
extern std::atomic<int> g_instanceOffset;
// The device that the acquisition thread opens: "Ezusb-0".."Ezusb-3" or "IP" + address.
extern SharedText g_deviceName;
// "IP" followed by the configured network address.
extern SharedText g_networkDeviceName;

// Receiver status values written by the acquisition thread.
extern SharedText g_manufacturerText;
extern SharedText g_productText;
extern std::atomic<float> g_deviceSampleRate;   // Hz, 250000 until identified
extern std::atomic<int> g_deviceChannels;       // 1 until identified
extern std::atomic<float> g_receiverLevelOffset;  // dB, 19 or 14

// Switches shared across subsystems.
// Idle workers wait on these (station changes): every change wakes them.
extern NotifyingAtomic<bool> g_powerSave;        // power saver releases the receiver
extern NotifyingAtomic<bool> g_playbackActive;   // a file is being replayed into conduit1
extern NotifyingAtomic<bool> g_recordOn;         // the Record switch
extern std::atomic<bool> g_traceShown;       // Spectral Trace window shown
// The windows are on a screen where someone can see them. Off when the station
// runs headless: then nothing is drawn (the spectrum thread feeds the display
// no frames, the conditioning thread feeds the spectral trace nothing); the
// analysis, the audio and the recorders go on as ever.
extern std::atomic<bool> g_drawingSeen;
extern std::atomic<bool> g_fileCompensated;  // the replayed file was recorded compensated

// Tuning shared by the conditioning thread, the display thread and the windows.
// The tune offset is the pending change of a drag on the frequency axis or the
// trace plot (Hz, multiples of 250); the tuning path and the spectral trace use
// TuneFrequency + offset. The limits (Hz) follow the stream rate and are written
// by the conditioning thread.
extern std::atomic<float> g_tuneOffset;
extern std::atomic<float> g_tuneLowerLimit;  // 21025 live, 11025 in playback
extern std::atomic<float> g_tuneUpperLimit;  // rate / 2 - 11025
// Peak Hold check box of the Spectral Trace window, read by the spectral trace thread.
extern std::atomic<bool> g_peakHold;

// Stream time: the calendar time that stands for "now" (the wall clock, or the
// replayed recording's time during playback), guarded by g_streamTimeLock.
struct StreamTime {
  std::time_t utcSeconds = 0;  // seconds since the epoch, UTC
  int milliseconds = 0;
  int biasMinutes = 0;  // minutes to add to local time to get UTC (-tm_gmtoff / 60)
};
// The current stream time: the replayed time during playback, else the wall clock.
StreamTime CurrentStreamTime();
// Playback sets the replayed time (under the stream-time lock); clearing returns to the clock.
void SetReplayedStreamTime(const StreamTime& t);
void ClearReplayedStreamTime();
// The local time zone's bias in minutes for a UTC instant (read from tzdata).
int LocalBiasMinutes(std::time_t utc);

}  // namespace hv
