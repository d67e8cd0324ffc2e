// The Playback window on the headless toolkit: file choice, button states, the 1:N box,
// the close refusal, and a command-line replay through the window and the thread.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/station_model.h"
#include "playback/playback_state.h"
#include "recording/recorder_texts.h"
#include "replay_harness.h"
#include "settings/settings.h"
#include "support/real_recordings.h"
#include "support/recorder_layouts.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/playback_window.h"
#include "ui/windows/window_set.h"

namespace hv {
namespace {

int Handler(XsWindow*, int, int*) { return 0; }

class PlaybackWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    XsToolkitInit(false);
    g_mainWindow = XsWindowCreate(Handler, kXsMainFrame);
    XsMenuAdd(g_mainWindow, 240, "Window/Playback...");
    CreatePlaybackWindow();
  }
  void SetUp() override {
    w = g_playbackWindow;
    ASSERT_NE(w, nullptr);
    folder = test::TempFolder() + "list/";
    std::filesystem::create_directories(folder);
    first = test::WriteWav("list/first.wav", {.attribute = "MMMMMMMMM(#25000#)<&10&>[!250!]DEV=Unit 7,DC=Off,"
                                                           "UTC=2024:06:01::21:00:00.000,LTB=0,CMT=<two, calls>MMMMMMMMM ",
                                               .data = test::CountingSamples(100)});
    second = test::WriteWav("list/second.wav", {.rate = 250000, .data = test::CountingSamples(100)});
    std::fclose(std::fopen((folder + "notes.txt").c_str(), "wb"));
  }
  void TearDown() override {
    if (g_playback.command.load() != kPlaybackStop) Click(335);
    HidePlaybackWindow();
  }
  void Click(int id) { XsInjectEvent(w, kXsButton, id); }
  void Choose(const std::string& path) {
    XsPresetDialogAnswer(path);
    Click(330);
  }
  bool Enabled(int id) { return XsControlIsEnabled(w, id); }
  std::string SelectedName() {
    char name[64];
    return XsListGetText(w, 331, XsListGetSelected(w, 331), name, sizeof name) ? name : "";
  }
  // Which of the controls `ids` are enabled.
  std::vector<int> EnabledOf(std::initializer_list<int> ids) {
    std::vector<int> on;
    for (int id : ids)
      if (Enabled(id)) on.push_back(id);
    return on;
  }
  void SetRatio(const char* text) {
    XsControlSetText(w, 344, text);
    XsInjectEvent(w, kXsEditChanged, 344);
  }
  // Replays `path`, 0.5 s at 500000 Hz, from the command line at 1:2.
  void ExpectCommandLineReplay(const std::string& path);

  XsWindow* w = nullptr;
  std::string folder, first, second;
};

TEST_F(PlaybackWindowTest, ChoosingAFileListsTheFolderAndReadsTheFile) {
  EXPECT_EQ(XsWindowGetTitle(w), "Playback");
  EXPECT_EQ(XsControlText(w, 344), "1:4");
  EXPECT_TRUE(XsCheckGet(w, 341));
  Choose(first);
  EXPECT_EQ(XsListCount(w, 331), 2);  // first.wav and second.wav, not notes.txt
  EXPECT_EQ(SelectedName(), "first.wav");
  EXPECT_EQ(g_playback.filePath.Get(), first);
  EXPECT_EQ(g_history.InputDirectory.Get(), folder);
  EXPECT_TRUE(Enabled(333));
  EXPECT_EQ(g_playbackStreamRate.load(), 250000.0f);
  EXPECT_EQ(g_playbackDeviceText.Get(), "Unit 7");
  EXPECT_NE(XsControlText(w, 346).find("DEV=Unit 7 DC=Off"), std::string::npos);
  EXPECT_EQ(ModelText(ModelItem::kRecordComment), "two, calls");

  // Another name in the list: its information replaces the first's.
  XsListSelect(w, 331, XsListFind(w, 331, "second.wav"));
  XsInjectEvent(w, kXsSelectionChanged, 331);
  EXPECT_EQ(g_playback.filePath.Get(), second);
  EXPECT_EQ(g_playbackDeviceText.Get(), "<No device found>");
  EXPECT_EQ(XsControlText(w, 346), "<no comment>");

  // A cancelled dialog empties the list and disables Play.
  Choose("");
  EXPECT_EQ(XsListCount(w, 331), 0);
  EXPECT_FALSE(Enabled(333));
}

TEST_F(PlaybackWindowTest, RatioRuleGovernsTheOneToNBoxAndPlay) {
  Choose(first);
  Click(343);
  EXPECT_TRUE(XsCheckGet(w, 343));
  EXPECT_FALSE(XsCheckGet(w, 341));
  EXPECT_EQ(g_playback.timeBase.load(), 2);
  for (const char* zero : {"0:4", "1:0"}) {
    SetRatio(zero);
    EXPECT_EQ(EnabledOf({333, 343}), std::vector<int>{}) << zero;
  }
  SetRatio("2:5");
  EXPECT_EQ(EnabledOf({333, 343}), (std::vector<int>{333, 343}));
  EXPECT_FLOAT_EQ(g_playback.ratio.load(), 2.5f);
  Click(342);
  EXPECT_EQ(g_playback.timeBase.load(), 1);
  EXPECT_TRUE(XsCheckGet(w, 342));
  EXPECT_FALSE(XsCheckGet(w, 343));
  SetRatio("1:4");
  Click(341);
}

TEST_F(PlaybackWindowTest, PlayPauseStopStatesAndTheCloseRefusal) {
  ShowPlaybackWindow();
  EXPECT_TRUE(g_playbackActive.load());
  EXPECT_TRUE(XsMenuIsChecked(g_mainWindow, 240));
  Choose(first);
  Click(333);
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);
  EXPECT_EQ(EnabledOf({330, 331, 333, 334, 335, 341, 342, 343, 344}), (std::vector<int>{334, 335}));

  testing::internal::CaptureStdout();
  XsInjectEvent(w, kXsClose);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Playback must be stopped before exiting"), std::string::npos);
  EXPECT_TRUE(XsWindowIsShown(w));
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);

  Click(334);
  EXPECT_EQ(g_playback.command.load(), kPlaybackPause);
  EXPECT_EQ(EnabledOf({333, 334, 335}), (std::vector<int>{333, 335}));
  testing::internal::CaptureStdout();
  XsInjectEvent(w, kXsClose);  // paused is not stopped either
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(XsWindowIsShown(w));

  Click(335);
  EXPECT_EQ(g_playback.command.load(), kPlaybackStop);
  EXPECT_EQ(EnabledOf({330, 331, 333, 334, 335, 341, 342, 343, 344}),
            (std::vector<int>{330, 331, 333, 341, 342, 343, 344}));
  XsInjectEvent(w, kXsClose);
  EXPECT_FALSE(XsWindowIsShown(w));
  EXPECT_FALSE(g_playbackActive.load());
  EXPECT_FALSE(XsMenuIsChecked(g_mainWindow, 240));

  // A double click on the list plays as Play does; the loop box sets the loop flag.
  XsInjectEvent(w, kXsListDoubleClick, 331);
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);
  XsCheckSet(w, 337, true);
  Click(337);
  EXPECT_TRUE(g_playback.loop.load());
  XsCheckSet(w, 337, false);
  Click(337);
  EXPECT_FALSE(g_playback.loop.load());
  testing::internal::CaptureStderr();
  Click(399);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Unknown playback button 399"), std::string::npos);
}

// File/Playback... while a file plays: cancelling keeps it playing with its
// buttons; another file stops the replay first and is then ready to play.
TEST_F(PlaybackWindowTest, FileMenuDuringAReplayCancelsOrStopsPlainly) {
  Choose(first);
  Click(333);
  XsPresetDialogAnswer("");
  ChoosePlaybackFile();
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);
  EXPECT_EQ(g_playback.filePath.Get(), first);
  EXPECT_EQ(EnabledOf({330, 333, 334, 335}), (std::vector<int>{334, 335}));

  Click(334);  // paused is still a replay
  XsPresetDialogAnswer(second);
  ChoosePlaybackFile();
  EXPECT_EQ(g_playback.command.load(), kPlaybackStop);
  EXPECT_EQ(g_playback.filePath.Get(), second);
  EXPECT_EQ(EnabledOf({330, 331, 333, 334, 335, 341}), (std::vector<int>{330, 331, 333, 341}));
  EXPECT_EQ(SelectedName(), "second.wav");
}

void PlaybackWindowTest::ExpectCommandLineReplay(const std::string& path) {
  test::ReplayRig rig(25.0, 5000000, true);
  ASSERT_TRUE(StartPlaybackFromCommandLine(path, false, "1:2"));
  EXPECT_TRUE(XsWindowIsShown(w));
  EXPECT_TRUE(XsCheckGet(w, 342));
  EXPECT_EQ(g_playback.command.load(), kPlaybackPlay);
  EXPECT_TRUE(test::WaitFor([] { return g_playback.position.load() > 0.1; }, 2));
  ASSERT_TRUE(rig.WaitStopped(3));
  ASSERT_FALSE(rig.Announcements().empty());
  EXPECT_EQ(rig.Announcements()[0].rate, 250000u);
  // The end of the file stopped the window too, and the position shows recording time.
  EXPECT_EQ(EnabledOf({333, 335}), std::vector<int>{333});
  EXPECT_EQ(XsControlText(w, 332).substr(0, 5), "00:00");
  EXPECT_NEAR(g_playback.position.load(), 0.5, 0.01);
  EXPECT_FALSE(StartPlaybackFromCommandLine(path, false, "1:0"));
  SetRatio("1:4");
  Click(341);
}

TEST_F(PlaybackWindowTest, CommandLineReplayRunsThroughWindowAndThread) {
  const test::RecorderFile plain = test::RecorderFileNamed("plain-500k.wav");
  test::WriteRecorderFiles(test::TempFolder(), {plain});
  ExpectCommandLineReplay(test::TempFolder() + plain.name);
}

TEST_F(PlaybackWindowTest, CommandLineReplayOfARealRecording) {
  REQUIRE_REAL_RECORDINGS("myomys-500k.wav");
  ExpectCommandLineReplay(test::RealRecording("myomys-500k.wav"));
}

}  // namespace
}  // namespace hv
