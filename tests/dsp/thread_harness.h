// Runs one worker routine of the signal chain against freshly created conduits,
// and stops it by lowering the run flag at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "core/station_state.h"
#include "dsp/chain_fixture.h"
#include "dsp/conduit_write.h"
#include "dsp/tuning_state.h"
#include "settings/settings.h"

namespace hv {

class WorkerHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsToDefaults();
    g_playbackActive = false;
    g_fileCompensated = false;
    g_traceShown = false;
    g_drawingSeen = true;
    g_tuneOffset = 0.0f;
    g_receiverLevelOffset = 19.0f;
    g_deviceSampleRate = 250000.0f;
    CreateChainConduits(250000);
    g_run = true;
  }
  void TearDown() override { Stop(); }

  void Start(int (*routine)(void*)) {
    threads_.emplace_back([routine] { routine(nullptr); });
  }
  void Stop() {
    g_run = false;
    for (Conduit* c : {&conduit1, &conduit2, &conduit3, &conduit4, &conduit5, &conduit6, &conduit7}) c->Wake();
    for (auto& t : threads_) t.join();
    threads_.clear();
  }

  // Reads exactly `count` bytes, waiting up to `ms`; false on timeout or a format mark.
  static bool ReadExactly(Conduit& c, void* dest, uint32_t count, int ms = 3000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uint8_t* p = static_cast<uint8_t*>(dest);
    while (count > 0) {
      uint32_t got = 0;
      if (c.Read(count, p, &got) != kStatusOk) return false;
      p += got;
      count -= got;
      if (count == 0) break;
      if (std::chrono::steady_clock::now() > deadline) return false;
      c.WaitReadable(5);
    }
    return true;
  }
  // Waits until the reader of `c` stands at a format mark; takes and returns the format.
  static bool WaitFormat(Conduit& c, WaveFormat* out, int ms = 3000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uint8_t scratch[4096];
    while (std::chrono::steady_clock::now() < deadline) {
      uint32_t got = 0;
      if (c.Read(sizeof(scratch), scratch, &got) == kStatusNotInitialized) {
        *out = *c.TakeFormat();
        return true;
      }
      if (got == 0) c.WaitReadable(5);
    }
    return false;
  }
  static void Settle(int ms = 50) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::vector<std::thread> threads_;
};

}  // namespace hv
