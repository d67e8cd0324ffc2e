#include "replay_harness.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/worker_routines.h"
#include "playback/playback_state.h"
#include "playback/replay_clock.h"

namespace hv::test {

namespace {

void Put16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xff));
  s->push_back(static_cast<char>((v >> 8) & 0xff));
}
void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xffff);
  Put16(s, v >> 16);
}

}  // namespace

std::string TempFolder() {
  static std::string folder = [] {
    std::string f = std::filesystem::temp_directory_path().string() + "/halvane_playback_" + std::to_string(getpid());
    std::filesystem::create_directories(f);
    return f + "/";
  }();
  return folder;
}

std::string WriteWav(const std::string& name, const WavContent& wav) {
  std::string attribute = wav.attribute.substr(0, wav.attribute.size() & ~size_t(1));
  uint16_t block = wav.block ? wav.block : static_cast<uint16_t>(wav.channels * wav.bits / 8);
  std::string fmt;
  Put16(&fmt, wav.tag);
  Put16(&fmt, wav.channels);
  Put32(&fmt, wav.rate);
  Put32(&fmt, wav.rate * block);
  Put16(&fmt, block);
  Put16(&fmt, wav.bits);
  if (!attribute.empty()) {
    Put16(&fmt, static_cast<uint32_t>(attribute.size()));
    fmt += attribute;
  }
  std::string body = "WAVEfmt ";
  Put32(&body, static_cast<uint32_t>(fmt.size()));
  body += fmt;
  body += "data";
  Put32(&body, static_cast<uint32_t>(wav.data.size()));
  body.append(reinterpret_cast<const char*>(wav.data.data()), wav.data.size());
  if (wav.data.size() & 1) body.push_back('\0');
  std::string file = "RIFF";
  Put32(&file, static_cast<uint32_t>(body.size()));
  file += body;
  std::string path = TempFolder() + name;
  EXPECT_TRUE(std::ofstream(path, std::ios::binary).write(file.data(), std::streamsize(file.size())).good()) << path;
  return path;
}

std::vector<uint8_t> CountingSamples(uint32_t count, uint16_t first) {
  std::vector<uint8_t> data;
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t v = static_cast<uint16_t>(first + i);
    data.push_back(v & 0xff);
    data.push_back(v >> 8);
  }
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
