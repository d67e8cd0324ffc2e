#include "recording/record_paths.h"

#include <filesystem>
#include <fstream>

#include "core/file_ops.h"
#include "recording/free_recording_name.h"
#include "recording/recorder_fixture.h"

namespace hv {
namespace {

const RecordingKind& Wave() { return RecordingKindOf(RecordingKindId::kWave); }
const RecordingKind& WavPack() { return RecordingKindOf(RecordingKindId::kWavPack); }

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

// A name is free when no file of its stem exists, whichever of the four
// names it has; the open then moves on by a millisecond, across a second.
TEST_F(RecordPathsInAFolder, NextFreeNameSkipsEveryNameOfATakenStem) {
  StreamTime at = Jan31();
  at.milliseconds = 998;
  for (const char* taken : {".tmp_wav", ".wav", ".tmp_wv", ".wv"}) {
    SCOPED_TRACE(taken);
    TempFolder folder;
    const std::string base = folder / "site.wav";
    std::ofstream(folder / ("site_D20240131T235959m998" + std::string(taken))) << "theirs";
    std::ofstream(folder / "site_D20240131T235959m999.wav") << "theirs";
    std::vector<std::string> opened;
    NameMemory memory;
    FreeNameResult r = OpenUnderFreeName(base, at, Wave(), 0, &memory, [&](const StreamTime&, const RecordingNames& n) {
      opened.push_back(FileNamePart(n.temporary));
      return kFileOk;
    });
    EXPECT_EQ(r.status, kFileOk);
    EXPECT_EQ(opened, std::vector<std::string>{"site_D20240201T000000m000.tmp_wav"});
    EXPECT_EQ(std::tuple(r.start.utcSeconds, r.start.milliseconds), std::tuple(at.utcSeconds + 1, 0));
    EXPECT_EQ(r.names.final, folder / "site_D20240201T000000m000.wav");
    EXPECT_EQ(ReadAllBytes(folder / ("site_D20240131T235959m998" + std::string(taken))).size(), 6u);
  }
}

TEST_F(RecordPathsInAFolder, NextFreeNameRaceStepBackAndLimit) {
  const std::string base = dir / "site.wav";
  auto claim = [&](const StreamTime& at, NameMemory* memory, std::vector<uint32_t> answers) {
    size_t call = 0;
    return OpenUnderFreeName(base, at, WavPack(), 0, memory, [&](const StreamTime&, const RecordingNames&) {
      return call < answers.size() ? answers[call++] : kFileOk;
    });
  };
  NameMemory memory;
  // Another writer took the name between the check and the open: the next one.
  FreeNameResult r = claim(Jan31(), &memory, {kFileExists, kFileExists});
  EXPECT_EQ(std::tuple(r.status, r.start.milliseconds), std::tuple(kFileOk, 125));
  EXPECT_EQ(FileNamePart(r.names.temporary), "site_D20240131T235959m125.tmp_wv");
  // A clock that has not moved on continues after the last name, without a search...
  r = claim(Jan31(), &memory, {});
  EXPECT_EQ(r.start.milliseconds, 126);
  StreamTime earlier = Jan31();
  earlier.utcSeconds -= 59;
  EXPECT_EQ(claim(earlier, &memory, {}).start.utcSeconds, Jan31().utcSeconds);
  // ...but a clock set back an hour names files after its own time again.
  StreamTime hourBack = Jan31();
  hourBack.utcSeconds -= 3600;
  r = claim(hourBack, &memory, {});
  EXPECT_EQ(std::tuple(r.start.utcSeconds, r.start.milliseconds), std::tuple(hourBack.utcSeconds, 123));
  EXPECT_EQ(memory.lastStartMs, int64_t(hourBack.utcSeconds) * 1000 + 123);
  // A failure other than a taken name ends the search; memory keeps the last name.
  r = claim(Jan31(), &memory, {kFileFail});
  EXPECT_EQ(std::tuple(r.status, r.start.milliseconds), std::tuple(kFileFail, 123));
  EXPECT_EQ(memory.lastStartMs, int64_t(hourBack.utcSeconds) * 1000 + 123);
  // Every name taken: the search gives up after its limit.
  int calls = 0;
  r = OpenUnderFreeName(base, Jan31(), Wave(), 0, nullptr, [&](const StreamTime&, const RecordingNames&) {
    ++calls;
    return kFileExists;
  });
  EXPECT_EQ(std::tuple(r.status, calls), std::tuple(kFileExists, kFreeNameSearchLimit));
}

}  // namespace
}  // namespace hv
