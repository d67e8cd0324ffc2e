// Controls, menus and dialogs on the toolkit's records (headless back end).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/toolkit/xs.h"

namespace {

int NoHandler(XsWindow*, int, int*) { return 0; }

// Main-frame windows are left to the loop tests: the first one created becomes the main window.

XsWindow* NewWindow(int kind = kXsFixedTool) { return XsWindowCreate(NoHandler, kind); }

// The items of a list box in their order, each followed by '|'.
std::string Items(XsWindow* w, int id) {
  std::string s;
  char b[16];
  for (int i = 0; i < XsListCount(w, id); ++i) XsListGetText(w, id, i, b, sizeof b), s += std::string(b) + "|";
  return s;
}

TEST(ToolkitControls, CreatingAnIdTwiceLeavesOneFreshControl) {
  XsWindow* w = NewWindow();
  ASSERT_TRUE(XsControlCreate(w, 301, kXsStatic));
  XsControlSetText(w, 301, "old");
  XsControlShow(w, 301);
  ASSERT_TRUE(XsControlCreate(w, 301, kXsList));
  EXPECT_EQ(XsControlText(w, 301), "");
  EXPECT_FALSE(XsControlIsShown(w, 301));  // new controls start hidden
  EXPECT_EQ(XsListCount(w, 301), 0);       // and are of the new kind
  XsListAdd(w, 301, "a");
  EXPECT_EQ(XsListCount(w, 301), 1);
}

TEST(ToolkitControls, MissingWindowOrIdFailsAndChangesNothing) {
  XsWindow* w = NewWindow();
  char buffer[8] = "x";
  EXPECT_FALSE(XsControlSetText(w, 5, "a"));
  EXPECT_FALSE(XsControlGetText(w, 5, buffer, sizeof buffer));
  EXPECT_FALSE(XsControlShow(nullptr, 5));
  EXPECT_EQ(XsSliderGetPosition(w, 5), -1);
  EXPECT_EQ(XsListGetSelected(w, 5), -1);
  EXPECT_FALSE(XsMenuCheck(w, 5));
  EXPECT_FALSE(XsWindowSetTitle(nullptr, "t"));
  EXPECT_EQ(XsWindowCreate(NoHandler, 2), nullptr);
}

TEST(ToolkitControls, TextsAreCutToTheCallersBuffer) {
  XsWindow* w = NewWindow();
  XsControlCreate(w, 1, kXsEdit);
  char buffer[6];
  ASSERT_TRUE(XsControlGetText(w, 1, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  XsControlSetText(w, 1, "0123456789");
  ASSERT_TRUE(XsControlGetText(w, 1, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "01234");
  EXPECT_FALSE(XsControlGetText(w, 1, buffer, 0));
}

TEST(ToolkitControls, SliderRangeClampsPositionAndProgressCapsAt100) {
  XsWindow* w = NewWindow();
  XsControlCreate(w, 10, kXsSlider);
  XsControlCreate(w, 311, kXsProgress);
  ASSERT_TRUE(XsSliderSetRange(w, 10, 40));
  EXPECT_EQ(XsSliderGetPosition(w, 10), 1);  // the range starts at 1
  XsSliderSetPosition(w, 10, 55);
  EXPECT_EQ(XsSliderGetPosition(w, 10), 40);
  XsSliderSetPosition(w, 10, 17);
  EXPECT_EQ(XsSliderGetPosition(w, 10), 17);
  EXPECT_FALSE(XsSliderSetRange(w, 311, 5));
  XsProgressSet(w, 311, 250);
  EXPECT_EQ(XsProgressGet(w, 311), 100);
  XsProgressSet(w, 311, 42);
  EXPECT_EQ(XsProgressGet(w, 311), 42);
}

TEST(ToolkitControls, ListBoxesSortAndKeepTheSelectedItem) {
  XsWindow* w = NewWindow();
  XsControlCreate(w, 331, kXsList);
  XsControlCreate(w, 40, kXsCombo);
  for (const char* t : {"b.wav", "C.wav", "a.wav"}) {
    XsListAdd(w, 331, t);
    XsListAdd(w, 40, t);
  }
  char buffer[16];
  ASSERT_TRUE(XsListGetText(w, 331, 0, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "a.wav");
  ASSERT_TRUE(XsListGetText(w, 40, 0, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "b.wav");  // combo boxes keep the order of adding
  EXPECT_FALSE(XsListGetText(w, 331, 3, buffer, sizeof buffer));
  EXPECT_FALSE(XsListGetText(w, 331, 0, buffer, 5));  // too long for the buffer
  EXPECT_EQ(XsListGetSelected(w, 331), -1);
  XsListSelect(w, 331, XsListFind(w, 331, "b.wav"));
  XsListAdd(w, 331, "0.wav");
  EXPECT_EQ(XsListGetSelected(w, 331), XsListFind(w, 331, "b.wav"));
  EXPECT_EQ(XsListFind(w, 331, "missing"), -1);
  XsListClear(w, 331);
  EXPECT_EQ(XsListCount(w, 331), 0);
  EXPECT_EQ(XsListGetSelected(w, 331), -1);
}

TEST(ToolkitControls, DragListMovesTheItemAndSelectsIt) {
  XsWindow* w = NewWindow();
  XsControlCreate(w, 8, kXsList);
  for (const char* t : {"a", "b", "c", "d"}) XsListAdd(w, 8, t);
  ASSERT_TRUE(XsListMoveItem(w, 8, 0, 2));  // "a" dropped on "c": inserted before it
  EXPECT_EQ(Items(w, 8), "b|a|c|d|");
  EXPECT_EQ(XsListGetSelected(w, 8), 1);
  ASSERT_TRUE(XsListMoveItem(w, 8, 1, -1));  // below the list: after the last item
  EXPECT_EQ(Items(w, 8), "b|c|d|a|");
  EXPECT_EQ(XsListGetSelected(w, 8), 3);
  ASSERT_TRUE(XsListMoveItem(w, 8, 3, 0));
  EXPECT_EQ(Items(w, 8), "a|b|c|d|");
  EXPECT_FALSE(XsListMoveItem(w, 8, 4, 0));
}

TEST(ToolkitControls, FillDirListsMatchingFilesSorted) {
  auto dir = std::filesystem::temp_directory_path() / ("xs_fill_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "sub.wav");
  for (const char* n : {"b.wav", "a.wv", "c.txt", ".hidden.wav"}) std::ofstream(dir / n) << "x";
  XsWindow* w = NewWindow();
  XsControlCreate(w, 331, kXsList);
  XsListAdd(w, 331, "stale");
  ASSERT_TRUE(XsListFillDir(w, 331, (dir.string() + "/*.*w*").c_str()));
  EXPECT_EQ(Items(w, 331), "a.wv|b.wav|");
  EXPECT_FALSE(XsListFillDir(w, 331, (dir.string() + "/missing/*.wav").c_str()));
  std::filesystem::remove_all(dir);
}

// The menu tree as text: "label&mnemonic#id", * when checked, ! when
// disabled, [children] for a submenu, - for a separator.
std::string Describe(const std::vector<XsMenuItem>& items) {
  std::string s;
  for (const XsMenuItem& m : items) {
    if (!s.empty()) s += ',';
    if (m.separator) {
      s += '-';
      continue;
    }
    s += m.label;
    if (m.mnemonic) s += '&', s += char(m.mnemonic);
    if (m.id) s += '#' + std::to_string(m.id);
    if (m.checked) s += '*';
    if (!m.enabled) s += '!';
    if (m.submenu) s += '[' + Describe(m.children) + ']';
  }
  return s;
}

TEST(ToolkitMenus, PathsShareSubmenusAndParseMnemonics) {
  XsWindow* w = NewWindow();
  XsMenuAdd(w, 220, "Setup/Time Standard/UTC");
  XsMenuAdd(w, 221, "Setup/Time Standard/Local");
  XsMenuAdd(w, 201, "File/E_xit");
  XsMenuAdd(w, 0, "File/_");
  XsMenuAdd(w, 202, "File/Save__As && _Quit");
  EXPECT_EQ(Describe(XsMenuTree(w)),
            "Setup[Time Standard[UTC#220,Local#221]],File[Exit&x#201,-,Save_As && Quit&Q#202]");
}

TEST(ToolkitMenus, CheckAndEnableReachEveryItemWithTheId) {
  XsWindow* w = NewWindow();
  XsMenuAdd(w, 230, "Record/Start");
  XsMenuAdd(w, 230, "Setup/Shortcuts/Start");
  XsMenuAdd(w, 231, "Setup/Shortcuts/Stop");
  ASSERT_TRUE(XsMenuCheck(w, 230));
  EXPECT_EQ(Describe(XsMenuTree(w)), "Record[Start#230*],Setup[Shortcuts[Start#230*,Stop#231]]");
  ASSERT_TRUE(XsMenuDisable(w, 230));
  EXPECT_EQ(Describe(XsMenuTree(w)), "Record[Start#230*!],Setup[Shortcuts[Start#230*!,Stop#231]]");
  EXPECT_TRUE(XsMenuIsChecked(w, 230));
  XsMenuUncheck(w, 230);
  XsMenuEnable(w, 230);
  EXPECT_FALSE(XsMenuIsChecked(w, 230));
  EXPECT_TRUE(XsMenuIsEnabled(w, 230));
  EXPECT_FALSE(XsMenuCheck(w, 999));
}

TEST(ToolkitDialogs, SaveNamesWithoutExtensionGetTheFiltersOne) {
  EXPECT_EQ(XsAppendFilterExtension("/rec/night", ";*.wav", 1), "/rec/night.wav");
  EXPECT_EQ(XsAppendFilterExtension("/rec/night", ";*.wv", 1), "/rec/night.wv");
  EXPECT_EQ(XsAppendFilterExtension("/rec/night.raw", ";*.wav", 1), "/rec/night.raw");
  EXPECT_EQ(XsAppendFilterExtension("/rec.d/night", ";*.wav", 1), "/rec.d/night.wav");
  EXPECT_EQ(XsAppendFilterExtension("/rec/night", "Waves;*.wav;Packed;*.wv", 3), "/rec/night.wv");
  EXPECT_EQ(XsAppendFilterExtension("/rec/night", ";*.wav", 5), "/rec/night");
  EXPECT_EQ(XsAppendFilterExtension("/rec/night", ";*", 1), "/rec/night");
}

TEST(ToolkitDialogs, HeadlessDialogsReturnPresetsAndBoxesTheirDefault) {
  XsWindow* w = NewWindow();
  XsWindowSetTitle(w, "Record Setup");
  std::string path = "unchanged";
  EXPECT_FALSE(XsFileOpenDialog(w, ";*.wav", "/tmp", &path));  // nothing preset: cancelled
  EXPECT_EQ(path, "unchanged");
  XsPresetDialogAnswer("/data/out");
  XsPresetDialogAnswer("");
  ASSERT_TRUE(XsFileSaveDialog(w, ";*.wv", "/tmp", &path));
  EXPECT_EQ(path, "/data/out.wv");
  EXPECT_FALSE(XsFolderDialog(w, "Folder", &path));
  EXPECT_FALSE(XsMessageQuestion(w, "Would you like to start recording now ? ", nullptr));
  XsPresetQuestionAnswer(true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(XsMessageQuestion(w, "Would you like to start recording now ? ", nullptr));
  XsMessageInfoPlaybackStop(w);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("[Record Setup] Would you like to start recording now ? "), std::string::npos);
  EXPECT_NE(out.find("[Playback Message] Playback must be stopped before exiting"), std::string::npos);
}

}  // namespace
