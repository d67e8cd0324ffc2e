#include "replay_harness.h"

#include <cstdio>
#include <cstring>

#include "core/le_bytes.h"
#include "core/worker_routines.h"
#include "playback/playback_state.h"
#include "playback/replay_clock.h"
#include "support/files.h"

namespace hv::test {

// Removed with everything in it when the test program ends.
std::string TempFolder() {
  static ::TempFolder folder;
  return folder.path + "/";
}

std::string WriteWav(const std::string& name, const WavContent& wav) {
  const std::string attribute = wav.attribute.substr(0, wav.attribute.size() & ~size_t(1));
  const uint16_t block = wav.block ? wav.block : uint16_t(wav.channels * wav.bits / 8);
  const uint32_t fmtSize = uint32_t(attribute.empty() ? 16 : 18 + attribute.size());
  std::vector<uint8_t> b(28 + fmtSize);
  std::memcpy(&b[0], "RIFF", 4);
  std::memcpy(&b[8], "WAVEfmt ", 8);
  PutLe32(&b[16], fmtSize);
  PutLe16(&b[20], wav.tag), PutLe16(&b[22], wav.channels), PutLe32(&b[24], wav.rate);
  PutLe32(&b[28], wav.rate * block), PutLe16(&b[32], block), PutLe16(&b[34], wav.bits);
  if (!attribute.empty()) PutLe16(&b[36], uint16_t(attribute.size()));
  std::memcpy(&b[38], attribute.data(), attribute.size());
  std::memcpy(&b[20 + fmtSize], "data", 4);
  PutLe32(&b[24 + fmtSize], uint32_t(wav.data.size()));
  b.insert(b.end(), wav.data.begin(), wav.data.end());
  if (b.size() & 1) b.push_back(0);
  PutLe32(&b[4], uint32_t(b.size() - 8));
  const std::string path = TempFolder() + name;
  WriteAllBytes(path, b);
  EXPECT_EQ(ReadAllBytes(path).size(), b.size()) << path;
  return path;
}

std::vector<uint8_t> CountingSamples(uint32_t count, uint16_t first) {
  std::vector<uint8_t> data(2 * size_t(count));
  for (uint32_t i = 0; i < count; ++i) PutLe16(&data[2 * i], uint16_t(first + i));
  return data;
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

std::string CalendarText(const CalendarTime& c) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, c.hour, c.minute,
                c.second, c.millisecond);
  return text;
}

std::string UtcText(const StreamTime& t) { return CalendarText(StreamTimeToCalendar(t)); }

ReplayRig::ReplayRig(double clockSpeed, uint32_t conduitCapacity, bool keepWindowHooks) {
  g_run.store(true);
  g_replayClockSpeed.store(clockSpeed);
  g_conduitFormat[0] = MakeWaveFormat(250000, 1, 2, 16);
  conduit1.Create(conduitCapacity, &g_conduitFormat[0]);
  g_playback.command.store(kPlaybackStop);
  g_playback.filePath.Set("");
  g_playback.loop.store(false);
  g_playback.timeBase.store(0);
  g_playback.ratio.store(4.0f);
  if (!keepWindowHooks) {
    SetPlaybackStopAction(nullptr);
    SetPlaybackPositionDisplay(nullptr);
  }
  PlaybackModeOn();
  playback_ = std::thread([] { PlaybackThread(nullptr); });
  reader_ = std::thread([this] { ReaderLoop(); });
}

ReplayRig::~ReplayRig() {
  PlaybackModeOff();
  g_run.store(false);
  conduit1.Wake();
  playback_.join();
  readerRun_.store(false);
  reader_.join();
  g_run.store(true);
  g_replayClockSpeed.store(1.0);
  ClearReplayedStreamTime();
}

void ReplayRig::Play(const std::string& path) {
  g_playback.filePath.Set(path);
  g_playback.command.store(kPlaybackPlay);
}

bool ReplayRig::WaitStopped(double seconds) {
  return WaitFor([] { return g_playback.command.load() == kPlaybackStop; }, seconds);
}

std::vector<Announcement> ReplayRig::Announcements() {
  std::lock_guard<std::mutex> guard(lock_);
  return announcements_;
}

std::vector<uint8_t> ReplayRig::Bytes() {
  std::lock_guard<std::mutex> guard(lock_);
  return bytes_;
}

std::vector<uint8_t> ReplayRig::WaitBytes(size_t count, double seconds) {
  WaitFor([&] { return Bytes().size() >= count; }, seconds);
  return Bytes();
}

// Reads conduit1 like the conditioning thread: whatever is there, taking each
// announced format at its mark.
void ReplayRig::ReaderLoop() {
  std::vector<uint8_t> chunk(65536);
  while (readerRun_.load()) {
    if (!draining_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    uint32_t want = std::min<uint32_t>(conduit1.Available(), chunk.size());
    uint32_t got = 0;
    uint32_t status = conduit1.Read(want ? want : 1, chunk.data(), &got);
    if (status == kStatusNotInitialized) {
      WaveFormat* f = conduit1.TakeFormat();
      std::lock_guard<std::mutex> guard(lock_);
      announcements_.push_back({f->sampleRate, f->channels, 0});
      continue;
    }
    if (got == 0) {
      conduit1.WaitReadable(2);
      continue;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!announcements_.empty()) announcements_.back().bytes += got;
    if (keepBytes_.load()) bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + got);
  }
}

}  // namespace hv::test
