// The screen back end on a real (virtual) X display: a window with a menu bar,
// controls and drawing is shown, photographed with ImageMagick's import and
// clicked with xdotool. Runs under scripts/with-xvfb.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/toolkit/xs.h"

namespace {

struct Seen {
  int event, d0, d1;
};
std::vector<Seen> s_seen;  // main thread only

int Record(XsWindow*, int event, int* data) {
  if (event != kXsMouseMove && event != kXsMouseHover && event != kXsPaint) s_seen.push_back({event, data[0], data[1]});
  return 0;
}

bool SawEvent(int event, int d0) {
  for (const Seen& s : s_seen)
    if (s.event == event && s.d0 == d0) return true;
  return false;
}

std::string ArtifactDir() {
  const char* dir = std::getenv("HALVANE_ARTIFACT_DIR");
  return dir && *dir ? dir : ".";
}

// Runs a shell command on another thread while the main thread keeps the
// screen alive; returns its exit status.
int RunWhilePumping(const std::string& command) {
  std::atomic<bool> done{false};
  int status = -1;
  std::thread t([&] {
    status = std::system(command.c_str());
    done = true;
  });
  while (!done) XsMessageLoopFor(0.02);
  t.join();
  XsMessageLoopFor(0.1);
  return status;
}

struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(int x, int y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (p[0] << 16) | (p[1] << 8) | p[2];
  }
};

// Photographs the whole display into the artifact folder (PNG to look at, PPM to check).
Screenshot TakeScreenshot(const std::string& name) {
  std::string png = ArtifactDir() + "/" + name + ".png", ppm = ArtifactDir() + "/" + name + ".ppm";
  EXPECT_EQ(RunWhilePumping("import -window root '" + png + "' && convert '" + png + "' '" + ppm + "'"), 0);
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

int CountNear(const Screenshot& s, int x0, int y0, int w, int h, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += s.At(x, y) == colour;
  return n;
}

// Pixels darker than mid grey (antialiased text has few pure black ones).
int CountDark(const Screenshot& s, int x0, int y0, int w, int h) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      uint32_t p = s.At(x, y);
      n += ((p >> 16) & 255) < 128 && ((p >> 8) & 255) < 128 && (p & 255) < 128;
    }
  return n;
}

TEST(ToolkitScreen, WindowShowsDrawingControlsAndAnswersInput) {
  ASSERT_TRUE(XsToolkitInit(true));
  ASSERT_EQ(XsGetBackend(), kXsBackendScreen);

  XsWindow* w = XsWindowCreate(Record, kXsMainFrame);
  XsWindowSetTitle(w, "Toolkit");
  XsWindowSetClientSize(w, 400, 260);
  XsWindowMove(w, 20, 20);
  XsMenuAdd(w, 201, "_File/E_xit");
  XsMenuAdd(w, 220, "Setup/Time Standard/UTC");
  XsControlCreate(w, 302, kXsButtonControl);
  XsControlSetText(w, 302, "Record");
  XsControlMove(w, 302, 280, 10);
  XsControlResize(w, 302, 100, 28);
  XsControlShow(w, 302);
  XsControlCreate(w, 311, kXsProgress);
  XsControlMove(w, 311, 280, 50);
  XsControlResize(w, 311, 100, 16);
  XsProgressSet(w, 311, 50);
  XsControlShow(w, 311);
  XsControlCreate(w, 301, kXsStatic);
  XsControlMove(w, 301, 280, 80);
  XsControlResize(w, 301, 110, 20);
  XsControlShow(w, 301);
  XsControlCreate(w, 309, kXsSlider);
  XsControlMove(w, 309, 280, 110);
  XsControlResize(w, 309, 110, 24);
  XsSliderSetRange(w, 309, 100);
  XsSliderSetPosition(w, 309, 10);
  XsControlShow(w, 309);
  XsControlCreate(w, 331, kXsList);
  XsControlMove(w, 331, 280, 150);
  XsControlResize(w, 331, 110, 100);
  for (const char* item : {"c.wav", "a.wav", "b.wav"}) XsListAdd(w, 331, item);
  XsControlShow(w, 331);

  // Drawing: a red block, an image blitted twice its size, and text.
  XsDrawSetColor(w, 255, 0, 0);
  XsDrawRect(w, 10, 10, 100, 60);
  std::vector<uint32_t> image(16 * 8, 0x0000FF);
  XsDrawImage(w, image.data(), 16, 8, 10, 100, 32, 16, 0, 0, -1, -1);
  XsDrawSetColorWindowText(w);
  XsDrawText(w, "Frequency 42 kHz", 10, 140);
  XsWindowShow(w);

  // A worker sets a status text and draws while the main thread runs the loop.
  std::thread worker([w] {
    XsControlSetText(w, 301, "Worker text");
    XsDrawSetColor(w, 0, 255, 0);
    XsDrawRect(w, 150, 10, 40, 40);
  });
  worker.join();
  XsMessageLoopFor(0.8);

  int wx = 0, wy = 0;
  XsWindowGetPosition(w, &wx, &wy);
  const int top = wy + 25;  // below the menu bar
  Screenshot shot = TakeScreenshot("toolkit_window");
  ASSERT_GT(shot.width, 0);
  EXPECT_EQ(shot.At(wx + 50, top + 40), 0xFF0000u);
  EXPECT_EQ(CountNear(shot, wx + 10, top + 10, 100, 60, 0xFF0000), 6000);
  EXPECT_EQ(CountNear(shot, wx + 150, top + 10, 40, 40, 0x00FF00), 1600);
  EXPECT_EQ(CountNear(shot, wx + 10, top + 100, 32, 16, 0x0000FF), 512);
  EXPECT_EQ(shot.At(wx + 42, top + 100), 0xF0F0F0u);  // the blit ends at twice the image size
  EXPECT_GT(CountDark(shot, wx + 10, top + 140, 120, 16), 40);  // text pixels
  EXPECT_EQ(XsControlText(w, 301), "Worker text");

  // Input: a click on the button, a click in the drawing, Escape.
  std::string move = "xdotool mousemove --sync ";
  RunWhilePumping(move + std::to_string(wx + 330) + " " + std::to_string(top + 24) + " click 1");
  EXPECT_TRUE(SawEvent(kXsButton, 302));
  RunWhilePumping(move + std::to_string(wx + 60) + " " + std::to_string(top + 30) + " click 1");
  EXPECT_TRUE(SawEvent(kXsLeftDown, 60));  // client coordinates
  EXPECT_TRUE(SawEvent(kXsLeftUp, 60));
  RunWhilePumping(move + std::to_string(wx + 80) + " " + std::to_string(top + 90) + " click --repeat 2 1 click 3");
  EXPECT_TRUE(SawEvent(kXsDoubleClick, 80));
  EXPECT_TRUE(SawEvent(kXsRightUp, 80));
  RunWhilePumping("xdotool key Escape");
  EXPECT_TRUE(SawEvent(kXsKeyDown, 27));
  EXPECT_TRUE(XsWindowIsShown(w));  // Escape is a key, not a close

  // The menu by its mnemonics, and a slider dragged to its right end.
  // (--sync waits for the pointer to move, so never to where it already is.)
  RunWhilePumping(move + std::to_string(wx + 70) + " " + std::to_string(top + 40) + " key alt+f x");
  EXPECT_TRUE(SawEvent(kXsMenu, 201));
  RunWhilePumping(move + std::to_string(wx + 290) + " " + std::to_string(top + 122) + " mousedown 1 sleep 0.2 mousemove --sync " +
                  std::to_string(wx + 398) + " " + std::to_string(top + 122) + " sleep 0.2 mouseup 1");
  EXPECT_TRUE(SawEvent(kXsSliderMoved, 309));
  EXPECT_TRUE(SawEvent(kXsSliderReleased, 309));
  EXPECT_EQ(XsSliderGetPosition(w, 309), 100);

  // An item of the list dragged below the last one moves to the end.
  RunWhilePumping(move + std::to_string(wx + 300) + " " + std::to_string(top + 158) + " mousedown 1 sleep 0.2 mousemove --sync " +
                  std::to_string(wx + 300) + " " + std::to_string(top + 235) + " sleep 0.2 mouseup 1");
  char item[16] = "";
  XsListGetText(w, 331, 2, item, sizeof item);
  EXPECT_STREQ(item, "a.wav");
  EXPECT_EQ(XsListGetSelected(w, 331), 2);

  // A question answered with Return takes the default, Yes.
  std::thread answer([] { std::system("sleep 0.5; xdotool key Return"); });
  EXPECT_TRUE(XsMessageQuestion(w, "Would you like to start recording now ? ", nullptr));
  answer.join();

  // The save dialog: a name typed without extension gets the filter's.
  std::string folder = ArtifactDir() + "/save_dialog";
  std::system(("mkdir -p '" + folder + "'").c_str());
  std::thread typist([] { std::system("sleep 1; xdotool type night; sleep 0.3; xdotool key Return"); });
  std::string path;
  EXPECT_TRUE(XsFileSaveDialog(w, ";*.wav", folder.c_str(), &path));
  typist.join();
  EXPECT_EQ(path, folder + "/night.wav");
}

}  // namespace
