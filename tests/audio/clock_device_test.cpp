// The clock back end plays at the buffer's rate and wakes about once per
// notification point; the looping buffer's distance to its next point.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/clock_device.h"
#include "audio/looping_buffer.h"

namespace hv {
namespace {

// Voluntary context switches of this process's thread called `name` (-1 if none).
long VoluntarySwitches(const std::string& name) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return -1;
  long found = -1;
  while (dirent* e = readdir(tasks)) {
    std::string dir = std::string("/proc/self/task/") + e->d_name;
    std::string comm;
    std::getline(std::ifstream(dir + "/comm"), comm);
    if (comm != name) continue;
    std::ifstream status(dir + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) found = std::stol(line.substr(24));
  }
  closedir(tasks);
  return found;
}

TEST(LoopingBufferPoints, BytesToNextPointFromEveryKindOfPosition) {
  const WaveFormat format = MakeWaveFormat(44100, 1, 2, 16);
  struct Case {
    std::vector<uint32_t> points;
    uint32_t played;  // bytes rendered from the start
    uint32_t expected;
  };
  const Case cases[] = {
      {{999, 1999, 2999, 3999}, 0, 1000},     // the first point's byte is the 1000th
      {{999, 1999, 2999, 3999}, 998, 2},
      {{999, 1999, 2999, 3999}, 999, 1},      // standing on a point: its byte is still to play
      {{999, 1999, 2999, 3999}, 1000, 1000},  // just passed: the next quarter
      {{999, 1999, 2999, 3999}, 3998, 2},
      {{999, 1999, 2999, 3999}, 4000, 1000},  // wrapped to the start
      {{3999}, 3000, 1000},
      {{3999}, 4000, 4000},                   // one point: a whole loop away once passed
      {{1999}, 3000, 3000},                   // the next point lies behind the wrap
      {{}, 1234, 4000},                       // no points: the whole buffer
  };
  for (const Case& c : cases) {
    LoopingBuffer buffer(format, 4000, c.points, nullptr, nullptr);
    buffer.Play();
    std::vector<uint8_t> out(c.played + 1);
    if (c.played) buffer.Render(out.data(), c.played);
    EXPECT_EQ(buffer.BytesToNextPoint(), c.expected) << "after " << c.played << " bytes, "
                                                     << c.points.size() << " points";
  }
}

TEST(ClockDeviceClock, PlaysAtTheRateAndWakesAboutOncePerPoint) {
  const WaveFormat format = MakeWaveFormat(44100, 1, 2, 16);
  const uint32_t quarter = 4096;  // 2048 frames, 46 ms
  ClockDevice device;
  AutoResetEvent event;
  std::unique_ptr<SoundBuffer> buffer;
  std::vector<uint32_t> points = {quarter - 1, 2 * quarter - 1, 3 * quarter - 1, 4 * quarter - 1};
  ASSERT_EQ(device.CreateBuffer(format, 4 * quarter, points, &event, &buffer), kSoundOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the clock thread is named
  const long switches0 = VoluntarySwitches("sound-clock");
  ASSERT_GE(switches0, 0) << "no clock thread";
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(buffer->Play(), kSoundOk);
  // Each point's event comes while playing; answer them as the refill thread would.
  int events = 0;
  while (std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(1200))
    if (event.Wait(100)) ++events;
  ASSERT_EQ(buffer->Stop(), kSoundOk);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a consume under way when stopped ends
  const long wakes = VoluntarySwitches("sound-clock") - switches0;
  const uint64_t played = device.BytesPlayed();
  const uint64_t passed = buffer->NotificationsPassed();
  buffer.reset();

  // Never ahead of the clock; behind by at most a point plus a loaded machine's lateness.
  const double due = seconds * 44100 * 2;
  EXPECT_LE(played, due + 2);
  EXPECT_GE(played, due - quarter - 0.1 * due);
  // Every point played was passed, and no other.
  EXPECT_EQ(passed, played / quarter);
  EXPECT_GE(events, 1);
  // 1.2 s at 46 ms per point is 26 points; a 5 ms tick would be 240 wake-ups.
  EXPECT_LE(wakes, static_cast<long>(passed) * 2 + 10) << passed << " points";
}

}  // namespace
}  // namespace hv
