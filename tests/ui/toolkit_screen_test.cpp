// The screen back end on a real (virtual) X display: a window with a menu bar,
// controls and drawing is shown, photographed with ImageMagick's import and
// clicked with xdotool. Runs under scripts/with-xvfb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ui/screen_test_support.h"

namespace {

using namespace hv::screentest;

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

int Shell(const std::string& command) { return RunWhilePumping(command, 0.1); }

// A control of `kind` at (x, y) of the client area, shown.
void Place(XsWindow* w, int id, int kind, int x, int y, int width, int height) {
  XsControlCreate(w, id, kind);
  XsControlMove(w, id, x, y);
  XsControlResize(w, id, width, height);
  XsControlShow(w, id);
}

// Darker than mid grey (antialiased text has few pure black pixels).
bool Dark(uint32_t p) { return ((p >> 16) & 255) < 128 && ((p >> 8) & 255) < 128 && (p & 255) < 128; }

TEST(ToolkitScreen, WindowShowsDrawingControlsAndAnswersInput) {
  ASSERT_TRUE(XsToolkitInit(true));
  ASSERT_EQ(XsGetBackend(), kXsBackendScreen);

  XsWindow* w = XsWindowCreate(Record, kXsMainFrame);
  XsWindowSetTitle(w, "Toolkit");
  XsWindowSetClientSize(w, 400, 260);
  XsWindowMove(w, 20, 20);
  XsMenuAdd(w, 201, "_File/E_xit");
  XsMenuAdd(w, 220, "Setup/Time Standard/UTC");
  Place(w, 302, kXsButtonControl, 280, 10, 100, 28);
  XsControlSetText(w, 302, "Record");
  Place(w, 311, kXsProgress, 280, 50, 100, 16);
  XsProgressSet(w, 311, 50);
  Place(w, 301, kXsStatic, 280, 80, 110, 20);
  Place(w, 309, kXsSlider, 280, 110, 110, 24);
  XsSliderSetRange(w, 309, 100);
  XsSliderSetPosition(w, 309, 10);
  Place(w, 331, kXsList, 280, 150, 110, 100);
  for (const char* item : {"c.wav", "a.wav", "b.wav"}) XsListAdd(w, 331, item);

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
  Screenshot shot = TakeScreenshot("toolkit_window", 0.1);
  ASSERT_GT(shot.width, 0);
  auto count = [&](int x, int y, int w, int h, uint32_t c) {
    return shot.Count(x, y, w, h, [c](uint32_t p) { return p == c; });
  };
  EXPECT_EQ(shot.At(wx + 50, top + 40), 0xFF0000u);
  EXPECT_EQ(count(wx + 10, top + 10, 100, 60, 0xFF0000), 6000);
  EXPECT_EQ(count(wx + 150, top + 10, 40, 40, 0x00FF00), 1600);
  EXPECT_EQ(count(wx + 10, top + 100, 32, 16, 0x0000FF), 512);
  EXPECT_EQ(shot.At(wx + 42, top + 100), 0xF0F0F0u);  // the blit ends at twice the image size
  EXPECT_GT(shot.Count(wx + 10, top + 140, 120, 16, Dark), 40);  // text pixels
  EXPECT_EQ(XsControlText(w, 301), "Worker text");

  // Input: a click on the button, a click in the drawing, Escape.
  Shell("xdotool " + Move(wx + 330, top + 24) + " click 1");
  EXPECT_TRUE(SawEvent(kXsButton, 302));
  Shell("xdotool " + Move(wx + 60, top + 30) + " click 1");
  EXPECT_TRUE(SawEvent(kXsLeftDown, 60));  // client coordinates
  EXPECT_TRUE(SawEvent(kXsLeftUp, 60));
  Shell("xdotool " + Move(wx + 80, top + 90) + " click --repeat 2 1 click 3");
  EXPECT_TRUE(SawEvent(kXsDoubleClick, 80));
  EXPECT_TRUE(SawEvent(kXsRightUp, 80));
  Shell("xdotool key Escape");
  EXPECT_TRUE(SawEvent(kXsKeyDown, 27));
  EXPECT_TRUE(XsWindowIsShown(w));  // Escape is a key, not a close

  // The menu by its mnemonics, and a slider dragged to its right end.
  Shell("xdotool " + Move(wx + 70, top + 40) + " key alt+f x");
  EXPECT_TRUE(SawEvent(kXsMenu, 201));
  Shell(DragCommand(wx + 290, top + 122, wx + 398, top + 122));
  EXPECT_TRUE(SawEvent(kXsSliderMoved, 309));
  EXPECT_TRUE(SawEvent(kXsSliderReleased, 309));
  EXPECT_EQ(XsSliderGetPosition(w, 309), 100);

  // An item of the list dragged below the last one moves to the end.
  Shell(DragCommand(wx + 300, top + 158, wx + 300, top + 235));
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
