// The main-thread queue and loops, and the records under concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/lifecycle.h"
#include "ui/toolkit/xs.h"

namespace {

std::atomic<int> s_userEvents{0}, s_lastValue{-1}, s_paints{0}, s_paintRight{0};

int Recorder(XsWindow*, int event, int* data) {
  if (event == kXsUser && data[0] == 100) s_userEvents++, s_lastValue = data[1];
  if (event == kXsPaint) s_paints++, s_paintRight = data[2];
  if (event == kXsButton && data[0] == 7) XsQuit();
  return 0;
}

XsWindow* MainWindow() {
  static XsWindow* w = [] {
    XsToolkitInit(false);
    return XsWindowCreate(Recorder, kXsMainFrame);
  }();
  return w;
}

TEST(ToolkitLoop, PostedValuesArriveOnTheLoopThread) {
  MainWindow();
  XsMessageDrain();
  s_userEvents = 0;
  std::thread worker([] { XsPostToMain(1); XsPostToMain(0); });
  worker.join();
  EXPECT_EQ(s_userEvents, 0);  // nothing is delivered off the loop
  XsMessageDrain();
  EXPECT_EQ(s_userEvents, 2);
  EXPECT_EQ(s_lastValue, 0);
  EXPECT_EQ(XsGetBackend(), kXsBackendHeadless);
}

TEST(ToolkitLoop, AStalledLoopBoundsTheQueue) {
  MainWindow();
  XsMessageDrain();
  s_userEvents = 0;
  testing::internal::CaptureStderr();
  for (int i = 0; i < 5000; ++i) XsPostToMain(i);
  std::string report = testing::internal::GetCapturedStderr();
  XsMessageDrain();
  EXPECT_EQ(s_userEvents, 4096);
  EXPECT_NE(report.find("queue full"), std::string::npos);
}

TEST(ToolkitLoop, PaintRequestsCoalesceAndCarryTheClientRect) {
  XsWindow* w = MainWindow();
  XsWindowSetClientSize(w, 800, 336);
  XsMessageDrain();
  s_paints = 0;
  for (int i = 0; i < 5; ++i) XsWindowInvalidate(w);
  XsMessageDrain();
  EXPECT_EQ(s_paints, 1);
  EXPECT_EQ(s_paintRight, 800);
}

TEST(ToolkitLoop, QuitEndsTheLoopAndModalRunHidesItsWindow) {
  MainWindow();
  XsQuit();
  XsMessageLoop();  // returns at once on the pending quit
  XsWindow* tool = XsWindowCreate(Recorder, kXsFixedTool);
  std::thread clicker([tool] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    XsQuit();
  });
  EXPECT_TRUE(XsRunModal(tool));
  clicker.join();
  EXPECT_FALSE(XsWindowIsShown(tool));
}

TEST(ToolkitLoop, QuitRequestEndsTheLoopPromptly) {
  MainWindow();
  std::thread requester([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    hv::RequestQuit();
  });
  auto start = std::chrono::steady_clock::now();
  XsMessageLoop();
  auto took = std::chrono::steady_clock::now() - start;
  requester.join();
  hv::ClearQuitRequest();
  EXPECT_LT(took, std::chrono::milliseconds(500));
  start = std::chrono::steady_clock::now();
  XsMessageLoopFor(0.05);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

// Workers set texts, progress and draw while the main thread reads and
// re-creates controls: every read sees one whole text (run under ThreadSanitizer too).
TEST(ToolkitLoop, WorkersAndMainThreadShareRecords) {
  XsWindow* w = XsWindowCreate(Recorder, kXsFixedTool);
  XsControlCreate(w, 305, kXsStatic);
  XsControlCreate(w, 311, kXsProgress);
  std::atomic<bool> stop{false};
  auto writer = [&](const char* a, const char* b) {
    for (int i = 0; !stop; ++i) {
      XsControlSetText(w, 305, i % 2 ? a : b);
      XsProgressSet(w, 311, i % 101);
      XsDrawSetColor(w, i & 255, 0, 0);
      XsDrawRect(w, i % 300, 0, 4, 4);
    }
  };
  std::thread t1(writer, "Recording", "Stopped");
  std::thread t2(writer, "Recording", "Stopped");
  int bad = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string t = XsControlText(w, 305);
    if (!t.empty() && t != "Recording" && t != "Stopped") ++bad;
    int p = XsProgressGet(w, 311);
    if (p < 0 || p > 100) ++bad;
    if (i % 5000 == 0) XsMessageDrain();
  }
  stop = true;
  t1.join();
  t2.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
