// Shared by the tests that run on a real (virtual) X display under
// scripts/with-xvfb: shell commands run beside the toolkit's loop, pointer
// commands for xdotool and photographs of the whole display.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/toolkit/xs.h"

namespace hv::screentest {

// The folder for screenshots and other artifacts of the test.
inline std::string ArtifactDir() {
  const char* dir = std::getenv("HALVANE_ARTIFACT_DIR");
  return dir && *dir ? dir : ".";
}

// Runs a shell command and returns its exit status. With `settle` >= 0 the
// command runs on another thread while the main thread keeps the toolkit's
// loop (and so the screen) alive, and the loop runs `settle` seconds more
// afterwards; with a negative `settle` (no toolkit in this process) it just runs.
inline int RunWhilePumping(const std::string& command, double settle) {
  if (settle < 0) return std::system(command.c_str());
  std::atomic<bool> done{false};
  int status = -1;
  std::thread t([&] {
    status = std::system(command.c_str());
    done = true;
  });
  while (!done) XsMessageLoopFor(0.02);
  t.join();
  XsMessageLoopFor(settle);
  return status;
}

// An xdotool command that moves the pointer to (x, y) on the screen and waits
// until it got there (so never give the place where it already is).
inline std::string Move(int x, int y) { return "mousemove --sync " + std::to_string(x) + " " + std::to_string(y); }

// xdotool: a left-button drag from (x0, y0) to (x1, y1) on the screen.
inline std::string DragCommand(int x0, int y0, int x1, int y1) {
  return "xdotool " + Move(x0, y0) + " mousedown 1 sleep 0.2 " + Move(x1, y1) + " sleep 0.2 mouseup 1";
}

struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // The pixel as 0xRRGGBB.
  uint32_t At(int x, int y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (p[0] << 16) | (p[1] << 8) | p[2];
  }
  // How many pixels of the rectangle `match` takes (given as 0xRRGGBB).
  template <class Match>
  int Count(int x0, int y0, int w, int h, Match match) const {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += match(At(x, y)) ? 1 : 0;
    return n;
  }
};

// Photographs the whole display into the artifact folder (PNG to look at, PPM
// to check); `settle` as for RunWhilePumping. An empty screenshot when the
// picture could not be read.
inline Screenshot TakeScreenshot(const std::string& name, double settle) {
  std::string png = ArtifactDir() + "/" + name + ".png", ppm = ArtifactDir() + "/" + name + ".ppm";
  EXPECT_EQ(RunWhilePumping("import -window root '" + png + "' && convert '" + png + "' '" + ppm + "'", settle), 0);
  Screenshot shot;
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> shot.width >> shot.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return Screenshot{};
  shot.rgb.resize(static_cast<size_t>(shot.width) * shot.height * 3);
  in.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
  return shot;
}

}  // namespace hv::screentest
