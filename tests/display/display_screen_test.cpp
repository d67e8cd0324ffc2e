// The live spectrogram on a real (virtual) X display: the display thread draws
// captures of bat-like sweeps into the main window's plot, a drag on the
// frequency axis moves the tuning, and the Tessagram sliders change the
// settings. Frames come from a feeder thread at the real-time rate of a
// 250 kHz stream. Runs under scripts/with-xvfb; screenshots go to the artifacts.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "core/conduit.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "display/display_engine.h"
#include "settings/settings.h"
#include "ui/screen_test_support.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/main_window.h"
#include "ui/windows/tessagram_window.h"
#include "ui/windows/window_set.h"

namespace hv {
namespace {

using namespace screentest;

int Shell(const std::string& command) { return RunWhilePumping(command, 0.3); }

// Call pixels: the warm colours of levels above the middle of the scale
// (separators and borders are pure red, without green).
bool CallPixel(uint32_t p) { return (p >> 16) > 150 && ((p >> 8) & 255) > 40 && (p & 255) < 80; }
// Noise floor pixels: dark blue or black, no red and little green.
bool NoiseFloorPixel(uint32_t p) { return (p >> 16) < 40 && ((p >> 8) & 255) < 60; }

// Frames of a 250 kHz stream at the real-time rate: a sweep from 80 to 30 kHz
// of 2.5 ms every 60 ms over faint noise; the frames inside a call carry a
// peak level above the threshold.
void FeedCalls(std::atomic<bool>* stop) {
  double phase = 0.0;
  unsigned seed = 7;
  auto start = std::chrono::steady_clock::now();
  for (long frame = 0; !stop->load(); ++frame) {
    int inCycle = int(frame % 234), callFrames = 10;
    bool inCall = inCycle < callFrames;
    float words[68] = {};
    words[1] = inCall ? 60.0f : -10.0f;
    for (int i = 0; i < kFrameSamples; ++i) {
      double t = (inCycle * kFrameSamples + i) / 250000.0;
      phase += 2.0 * M_PI * (80000.0 - t * 2.0e7) / 250000.0;
      seed = seed * 1103515245u + 12345u;
      double noise = ((seed >> 16) & 0x7FFF) / 32768.0 - 0.5;
      words[4 + i] = float((inCall ? 3000.0 * std::sin(phase) : 0.0) + 40.0 * noise);
    }
    uint32_t accepted = 0;
    while (conduit6.Write(kFrameBytes, words, &accepted), accepted == 0 && !stop->load()) SleepSeconds(0.001);
    if (frame % 64 == 0) std::this_thread::sleep_until(start + std::chrono::microseconds(frame * 256));
  }
}

TEST(DisplayScreen, LiveSpectrogramDragAndTessagramSliders) {
  ASSERT_TRUE(XsToolkitInit(true));
  ASSERT_EQ(XsGetBackend(), kXsBackendScreen);
  g_displayLock = CreateMutexRecord();
  ResetSettingsToDefaults();
  g_run = true;
  static WaveFormat format = MakeWaveFormat(250000, 1, kFrameBytes, 2176);
  conduit6.Create(512 * kFrameBytes, &format);

  XsWindow* main = XsWindowCreate(MainWindowHandler, kXsMainFrame);
  g_mainWindow = main;
  XsWindowSetTitle(main, "Halvane");
  XsWindowSetClientSize(main, 800, 336);
  XsWindowMove(main, 20, 20);
  XsWindowShow(main);
  XsMessageLoopFor(0.3);

  std::atomic<bool> stop{false};
  ThreadRecord* display = StartThread(DisplayThread, kPriorityBelowNormal, "display");
  std::thread feeder(FeedCalls, &stop);
  XsMessageLoopFor(2.5);

  int wx = 0, wy = 0;
  XsWindowGetPosition(main, &wx, &wy);
  Screenshot shot = TakeScreenshot("live_spectrogram", 0.3);
  ASSERT_GT(shot.width, 0);
  EXPECT_GT(shot.Count(wx + 257, wy + 33, 510, 254, CallPixel), 300) << "call pixels in the plot";
  EXPECT_LT(shot.Count(wx, wy, 250, 330, CallPixel), 5);  // nothing left of the plot
  // The noise floor between the calls (about 10 dB, 15 dB below the scale's
  // lower end) stays dark: blue fading to black, not the green of mid-scale.
  EXPECT_GT(shot.Count(wx + 257, wy + 33, 510, 254, NoiseFloorPixel), 510 * 254 * 6 / 10) << "dark noise floor";

  // Drag on the frequency axis: 60 pixels up is about 29 kHz higher.
  const int x = wx + 784;
  Shell("xdotool " + Move(x, wy + 220) + " mousedown 1 sleep 0.2 " + Move(x, wy + 190) + " sleep 0.2 " + Move(x, wy + 160) +
      " sleep 0.3 mouseup 1 sleep 0.3");
  float tune = g_settings.TuneFrequency.load();
  EXPECT_GT(tune, 60000.0f);
  EXPECT_LT(tune, 75000.0f);
  TakeScreenshot("after_tuning_drag", 0.3);

  // The Tessagram sliders: threshold to its right end, detail to its left end.
  XsWindow* tessagram = CreateTessagramWindow();
  XsWindowMove(tessagram, 20, 420);
  XsWindowShow(tessagram);
  XsMessageLoopFor(0.5);
  int tx = 0, ty = 0;
  XsWindowGetPosition(tessagram, &tx, &ty);
  auto drag = [&](int x0, int y, int x1) { Shell(DragCommand(tx + x0, ty + y, tx + x1, ty + y)); };
  drag(110, 80, 238);
  EXPECT_EQ(g_settings.SonoThreshold.load(), 100.0f);
  drag(150, 120, 90);
  EXPECT_EQ(g_settings.SonoDetail.load(), 1);
  TakeScreenshot("tessagram", 0.3);

  stop = true;
  feeder.join();
  g_run = false;
  JoinThread(display);
  ReleaseThread(display);
}

}  // namespace
}  // namespace hv
