// Test harness for replays: builds WAV files byte by byte, runs the playback
// thread against conduit1 and drains conduit1 the way the conditioning thread
// does, recording every format announcement and the bytes that followed it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/station_state.h"
#include "formats/stream_calendar.h"

namespace hv::test {

struct WavContent {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 25000;
  uint16_t bits = 16;
  uint16_t block = 0;  // 0: channels x bits / 8
  std::string attribute{};  // stored in the fmt chunk when not empty (cut to an even length)
  std::vector<uint8_t> data{};
};

// Writes `wav` as a WAV file and returns its path (in the test's own folder).
std::string WriteWav(const std::string& name, const WavContent& wav);
// `count` 16-bit samples counting up from `first`.
std::vector<uint8_t> CountingSamples(uint32_t count, uint16_t first = 0);
std::string TempFolder();

bool WaitFor(const std::function<bool()>& condition, double seconds);
// "YYYY-MM-DD hh:mm:ss.mmm" of a calendar time, and of a stream time in UTC.
std::string CalendarText(const CalendarTime& c);
std::string UtcText(const StreamTime& t);

struct Announcement {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint64_t bytes = 0;  // bytes read after it
};

// Runs the playback thread and a reader of conduit1 for the life of the object.
class ReplayRig {
 public:
  // `keepWindowHooks`: leave the Playback window's stop action and position
  // display installed (else the replay runs without a window).
  explicit ReplayRig(double clockSpeed, uint32_t conduitCapacity = 5000000, bool keepWindowHooks = false);
  ~ReplayRig();
  // Selects `path` and sets the command to play.
  void Play(const std::string& path);
  // Waits until the replay has stopped by itself (end of file or refusal).
  bool WaitStopped(double seconds);
  std::vector<Announcement> Announcements();
  std::vector<uint8_t> Bytes();  // every byte read, when keepBytes
  // The bytes read once there are `count` of them (or after `seconds`).
  std::vector<uint8_t> WaitBytes(size_t count, double seconds = 2);
  void SetDraining(bool drain) { draining_ = drain; }
  void KeepBytes() { keepBytes_ = true; }

 private:
  void ReaderLoop();
  std::thread playback_, reader_;
  std::atomic<bool> readerRun_{true}, draining_{true}, keepBytes_{false};
  std::mutex lock_;
  std::vector<Announcement> announcements_;
  std::vector<uint8_t> bytes_;
};

}  // namespace hv::test
