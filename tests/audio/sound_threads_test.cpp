// The sound thread and the sound refill thread together over the wav: back
// end, fed through conduit2 in real time: every sample fed is played once, in
// order, without gaps, after the start buffer of silence.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/sound_device.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "model/station_model.h"
#include "wav_file.h"

namespace hv {
namespace {

TEST(SoundThreads, PlayEveryFedSampleInOrder) {
  if (!g_soundLock) g_soundLock = CreateMutexRecord();
  g_conduitFormat[1] = MakeWaveFormat(44100, 1, 4, 32);
  conduit2.Create(176400, &g_conduitFormat[1]);
  TempFolder dir;
  std::string path = dir / "played.wav";
  SetAudioBackend("wav:" + path);
  g_run.store(true);
  g_soundEvent.Reset();
  SetModelNumber(ModelItem::kAudioLevel, 0);
  ThreadRecord* sound = StartThread(SoundThread, kPriorityAboveNormal, "sound");
  ThreadRecord* refill = StartThread(SoundRefillThread, kPriorityTimeCritical, "sound-refill");

  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the device is set up

  // 1.5 s of a 16025 Hz tone in small pieces paced by the clock, as the tuning path writes.
  const int total = 66150;
  auto sampleAt = [](int i) { return static_cast<float>(12000.0 * std::sin(2 * M_PI * 16025.0 * i / 44100.0 + 0.5)); };
  auto start = std::chrono::steady_clock::now();
  int written = 0;
  while (written < total) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int due = std::min(total, static_cast<int>(elapsed * 44100));
    std::vector<float> piece;
    for (int i = written; i < due; ++i) piece.push_back(sampleAt(i));
    // As the tuning path does: wait in 1 ms steps until all is taken.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(piece.data());
    uint32_t left = static_cast<uint32_t>(piece.size() * 4);
    for (int tries = 0; left > 0 && tries < 10000; ++tries) {
      uint32_t accepted = 0;
      conduit2.Write(left, bytes, &accepted);
      bytes += accepted;
      left -= accepted;
      if (left) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(left, 0u) << "the sound thread stopped reading conduit2";
    written = due;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  g_run.store(false);
  conduit2.Wake();
  g_soundEvent.Signal();
  ReleaseThread(sound);
  ReleaseThread(refill);
  g_run.store(true);
  SetAudioBackend("default");
  // The level meter: trunc(10 log10(12000^2 / 2 / 2 x 1.414)) + 10, held from block to block.
  EXPECT_EQ(ModelNumber(ModelItem::kAudioLevel), 87);

  std::vector<int16_t> pcm = test::WavSamples(path);
  ASSERT_FALSE(pcm.empty()) << "no WAV file with finished header sizes";
  // The tone starts after the first buffer of silence.
  size_t first = 0;
  while (first < pcm.size() && pcm[first] == 0) ++first;
  ASSERT_GE(first, 4096u);
  // Samples play only in order. A silent run or a jump forward is a timing event: a loaded
  // machine causes a few, a fault in the output one per block or buffer (16 or more here).
  const int played = total / 1024 * 1024;  // whole blocks the sound thread read
  int expected = 0, gaps = 0, drops = 0;
  size_t k = first;
  while (k < pcm.size() && expected < played) {
    if (pcm[k] == static_cast<int16_t>(sampleAt(expected))) {
      ++k, ++expected;
      continue;
    }
    if (pcm[k] == 0) {  // silence until the stream resumes
      while (k < pcm.size() && pcm[k] == 0) ++k;
      ++gaps;
      continue;
    }
    int next = expected + 1;  // the stream resumes further on
    while (next < played && !(pcm[k] == static_cast<int16_t>(sampleAt(next)) && k + 1 < pcm.size() &&
                              pcm[k + 1] == static_cast<int16_t>(sampleAt(next + 1))))
      ++next;
    ASSERT_LT(next, played) << "output sample " << k << " was never fed at or after " << expected;
    expected = next;
    ++drops;
  }
#ifdef HV_THREAD_SANITIZER_BUILD
  // Many times slower than real time: only the order is checked here.
  (void)gaps, (void)drops;
#else
  EXPECT_EQ(expected, played) << "every whole block was played";
  EXPECT_LE(gaps + drops, 6) << gaps << " gaps, " << drops << " drops";
#endif
}

}  // namespace
}  // namespace hv
