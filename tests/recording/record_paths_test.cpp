#include "recording/record_paths.h"

#include <filesystem>
#include <fstream>

#include "recording/recorder_fixture.h"

namespace hv {
namespace {

StreamTime Jan31() {
  StreamTime t;
  t.utcSeconds = 1706745599;  // 2024-01-31 23:59:59 UTC
  t.milliseconds = 123;
  t.biasMinutes = -60;  // local = UTC + 1 h
  return t;
}

TEST(RecordPaths, NamesFromTheBasePath) {
  RecordingNames n = MakeRecordingNames("/rec/site.wav", Jan31(), false, 0);
  EXPECT_EQ(n.temporary, "/rec/site_D20240131T235959m123.tmp_wav");
  EXPECT_EQ(n.final, "/rec/site_D20240131T235959m123.wav");
  EXPECT_EQ(n.display, "site_D20240131T235959m123");
  n = MakeRecordingNames("/rec.d/site", Jan31(), true, 1);  // local time, no extension
  EXPECT_EQ(n.final, "/rec.d/site_D20240201T005959m123.wv");
  EXPECT_EQ(n.temporary, "/rec.d/site_D20240201T005959m123.tmp_wv");
  EXPECT_EQ(RecordingStem("site.a.wav"), "site.a");

  std::tm day = NameTime(Jan31(), 0);
  EXPECT_EQ(DailyLogPath("/rec/site.wav", day), "/rec/site_D20240131_log.txt");
  EXPECT_EQ(DailyLogPath("/rec.x/site", day), "/rec.x/site_D20240131_log.txt");
  EXPECT_EQ(DailyLogPath("", day), "");
}

// The fixture's base path is dir/site.wav.
using RecordPathsInAFolder = RecorderTest;

TEST_F(RecordPathsInAFolder, RenameNeverReplacesAndLogAppends) {
  std::ofstream(dir / "a.tmp_wav") << "new";
  std::ofstream(dir / "a.wav") << "old";
  EXPECT_FALSE(RenameRecording(dir / "a.tmp_wav", dir / "a.wav"));
  EXPECT_EQ(ReadAllBytes(dir / "a.wav").size(), 3u);
  EXPECT_TRUE(std::filesystem::exists(dir / "a.tmp_wav"));
  EXPECT_TRUE(RenameRecording(dir / "a.tmp_wav", dir / "b.wav"));

  std::tm t = NameTime(Jan31(), 0);
  AppendDailyLog("record status: ", t, "STARTED");
  AppendDailyLog("recording file:", t, "site_D20240131T235959m123");
  std::vector<uint8_t> log = ReadAllBytes(dir / "site_D20240131_log.txt");
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "LOG[2024:01:31::23:59:59] - record status:  STARTED\n"
            "LOG[2024:01:31::23:59:59] - recording file: site_D20240131T235959m123\n");
}

}  // namespace
}  // namespace hv
