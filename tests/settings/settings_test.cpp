// Settings and history: defaults, encodings, the store's types, what save keeps,
// refused values, and a corrupt or unwritable store.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "settings/registry_store.h"
#include "settings/settings.h"
#include "support/files.h"
#include "support/process.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override { ResetSettingsToDefaults(); }
  void TearDown() override { ResetSettingsToDefaults(); }
  nlohmann::json Stored() { return nlohmann::json::parse(testutil::ReadText(dir_ / "registry.json")); }
  void Store(const std::string& text) { std::ofstream(dir_ / "registry.json") << text; }
  void StoreSettings(const std::string& values) {
    Store(R"({"SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": {)" + values + "}}");
  }
  // Starts from the defaults, loads the store and returns what the load said.
  std::string Reload() {
    ResetSettingsToDefaults();
    testing::internal::CaptureStderr();
    LoadSettingsAndHistory(dir_);
    return testing::internal::GetCapturedStderr();
  }
  TempFolder folder_;
  fs::path dir_ = folder_.path;
};

TEST_F(SettingsTest, FirstStartCreatesBothKeysAndSaveWritesEveryNumberAtItsDefault) {
  LoadSettingsAndHistory(dir_);
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  auto root = Stored();
  EXPECT_EQ(root[kSettingsKeyPath], nlohmann::json::parse(R"({
      "MenuPrefilter": 0, "MenuRecordMode": 2, "AudioVolume": 64, "TimeStandard": 0, "SnapAutoTrigger": 1,
      "SnapAutoThreshold": 18, "SnapFilterLowFreq": 18000, "SnapFilterHighFreq": 120000, "PopFilterEnable": 1,
      "SnapTimeExpand": 10, "OutputFileFormat": 0, "SnapDurationMS": 1000, "UserDurationMS": 5000,
      "SnapIdleTimeoutEnable": 0, "SnapIdleTimeoutMS": 3000, "SonoThreshold": 20, "SonoDetail": 4,
      "SonoDivisions": 3, "SonoBrightness": 50, "SonoContrast": 50, "SonoMarker1Enable": 0,
      "SonoMarker1Frequency": 750, "SonoMarker2Enable": 0, "SonoMarker2Frequency": 250, "GuanoMetadata": 1,
      "SnapshotPictures": 0, "CallDetection": 1, "TuneFrequency": 40000, "PowerSaverEnable": 1, "Program1Enable": 0,
      "Program2Enable": 0, "FileTransferEnable": 0, "FileTransferDuringIdle": 0, "FileTransferLoginEnable": 0,
      "FileTransferArchiveEnable": 0, "NetworkDefaultEnable": 0})")) << "every number and switch, no empty text";
  EXPECT_EQ(root[kHistoryKeyPath], nlohmann::json::parse(R"({"FTPRootDirectory": ""})"));
  struct stat st {};
  ASSERT_EQ(stat((dir_ / "registry.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600);
}

TEST_F(SettingsTest, EncodingsOfVolumeMarkersAndFloats) {
  StoreSettings(R"("AudioVolume": 2, "SonoMarker1Frequency": 600, "MenuRecordMode": 7, "SonoThreshold": "33",
                  "TuneFrequency": -5)");
  std::string said = Reload();
  EXPECT_EQ(g_settings.AudioVolume.load(), 1.0f);
  EXPECT_FALSE(g_settings.AudioOn.load());
  EXPECT_EQ(g_settings.SonoMarker1Frequency.load(), 60000.0f);
  EXPECT_EQ(g_settings.MenuRecordMode.load(), 2) << "no record mode 7: the default stays";
  EXPECT_NE(said.find("MenuRecordMode = 7 is out of range (1 to 4)"), std::string::npos) << said;
  EXPECT_EQ(g_settings.SonoThreshold.load(), 20.0f) << "a string where a number belongs counts as missing";
  EXPECT_NE(said.find("SonoThreshold = \"33\" is not a whole number from 0 to 200"), std::string::npos) << said;
  EXPECT_EQ(g_settings.TuneFrequency.load(), 40000.0f) << "a negative JSON number is not a registry number";
  EXPECT_NE(said.find("TuneFrequency = -5 is not"), std::string::npos) << said;
  g_settings.AudioVolume.store(1.5f);
  g_settings.SnapAutoThreshold.store(17.9f);
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  auto s = Stored()[kSettingsKeyPath];
  EXPECT_EQ(s["SonoMarker1Frequency"], 600);
  EXPECT_EQ(s["AudioVolume"], 3);
  EXPECT_EQ(s["SnapAutoThreshold"], 17) << "floats are truncated on save";
}

TEST_F(SettingsTest, EmptiedTextKeepsItsStoredValueExceptTheFtpRoot) {
  g_settings.FTPHostName.Set("ftp.example.test");
  g_history.FTPRootDirectory.Set("/bats");
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  g_settings.FTPHostName.Set("");
  g_history.FTPRootDirectory.Set("");
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  ResetSettingsToDefaults();
  LoadSettingsAndHistory(dir_);
  EXPECT_EQ(g_settings.FTPHostName.Get(), "ftp.example.test");
  EXPECT_EQ(g_history.FTPRootDirectory.Get(), "");
}

TEST_F(SettingsTest, UserDurationIsSavedOnlyWhileValid) {
  g_settings.UserDurationMS.store(1234);
  g_settings.UserDurationValid.store(false);
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  EXPECT_FALSE(Stored()[kSettingsKeyPath].contains("UserDurationMS"));
}

TEST_F(SettingsTest, ValuesThatWouldBreakTheProgramAreRefused) {
  StoreSettings(R"("SnapTimeExpand": 0, "SnapDurationMS": 100000000, "SnapIdleTimeoutMS": 4294967295)");
  std::string said = Reload();
  EXPECT_EQ(g_settings.SnapTimeExpand.load(), 10);
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 1000);
  EXPECT_EQ(g_settings.SnapIdleTimeoutMS.load(), 3000);
  EXPECT_NE(said.find("SnapTimeExpand"), std::string::npos);

  std::string error;
  EXPECT_FALSE(SetSettingFromText("SnapDurationMS=-5", &error));
  EXPECT_FALSE(SetSettingFromText("NoSuchValue=1", &error));
  EXPECT_NE(error.find("NoSuchValue"), std::string::npos);
  EXPECT_FALSE(SetSettingFromText("SonoThreshold", &error));
  EXPECT_TRUE(SetSettingFromText("SonoThreshold=33", &error));
  EXPECT_EQ(g_settings.SonoThreshold.load(), 33.0f);
  EXPECT_TRUE(SetSettingFromText("AudioVolume=3", &error));
  EXPECT_EQ(g_settings.AudioVolume.load(), 1.5f);
  EXPECT_TRUE(g_settings.AudioOn.load());
  EXPECT_TRUE(SetSettingFromText("AudioVolume=6", &error));
  EXPECT_EQ(g_settings.AudioVolume.load(), 3.0f);
  EXPECT_TRUE(SetSettingFromText("FTPHostName=127.0.0.1", &error));
  EXPECT_EQ(g_settings.FTPHostName.Get(), "127.0.0.1");
}

TEST_F(SettingsTest, UnwritableFolderWarnsOncePerKey) {
  // A folder path that names a file cannot be written even by root.
  std::ofstream(dir_ / "not-a-folder") << "x";
  std::vector<std::string> warnings;
  static std::vector<std::string>* sink;
  sink = &warnings;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveSettingsAndHistory(dir_ / "not-a-folder", [](const char* t) { sink->push_back(t); }));
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0], "Failed writing one or more save state values");
  EXPECT_EQ(warnings[1], "Failed writing one or more history values");
}

TEST_F(SettingsTest, UnreadableStoreIsNeitherUsedNorWrittenOver) {
  const std::string kUsers = "{\"SOFTWARE\\\\Mirrowen\\\\Halvane\\\\3.3\\\\Settings\": {\"SonoThreshold\": 33}}";
  Store(kUsers);
  chmod(dir_.c_str(), 0777);
  chmod((dir_ / "registry.json").c_str(), 0);
  // Permissions do not hold root back: the check runs as an unprivileged user.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    if (std::ifstream(dir_ / "registry.json").good()) _exit(4);  // still readable: nothing to prove
    testing::internal::CaptureStderr();
    LoadSettingsAndHistory(dir_);
    bool defaults = g_settings.SonoThreshold.load() == 20.0f;
    g_settings.SonoThreshold.store(50.0f);
    bool saved = SaveSettingsAndHistory(dir_, nullptr);
    std::string said = testing::internal::GetCapturedStderr();
    _exit(defaults && !saved && said.find("Cannot read") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 4) GTEST_SKIP() << "the file stays readable here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "defaults in use, save refused with a message";
  chmod((dir_ / "registry.json").c_str(), 0600);
  EXPECT_EQ(testutil::ReadText(dir_ / "registry.json"), kUsers) << "the user's file is left as it was";
}

// Every value a window, slider or menu can produce loads again at the next
// start, and the first value past each end is refused, at load and at --set.
TEST_F(SettingsTest, EveryValueTheWindowsProduceLoadsAndTheNextOneIsRefused) {
  struct Case {
    const char* name;
    uint32_t lowest, highest;  // the values the windows can produce at each end
    bool refusedBelow, refusedAbove;
  };
  const Case kCases[] = {
      {"MenuRecordMode", 1, 4, true, true},          // menu: Audio .. Buffered Snap
      {"AudioVolume", 0, 518, false, true},          // volume slider 1..518 (0: an off volume saved as 0)
      {"TimeStandard", 0, 1, false, true},           // UTC, Local
      {"SnapAutoThreshold", 0, 4294967295u, false, false},  // any number typed in the threshold field
      {"SnapTimeExpand", 1, 10, true, false},        // boxes 1, 2, 4, 10
      {"SnapDurationMS", 100, 600000, false, true},  // boxes, or the user's duration up to 10 minutes
      {"UserDurationMS", 0, 600000, false, true},    // "0.0" .. "600" seconds
      {"SnapIdleTimeoutMS", 0, 3600000, false, true},
      {"SonoThreshold", 1, 100, false, false},       // Tessagram slider 1..100
      {"SonoDetail", 1, 7, false, false},            // slider 1..7
      {"SonoDivisions", 1, 4, false, false},         // slider 1..4
      {"SonoBrightness", 0, 99, false, false},       // 100 - slider position 1..100
      {"SonoContrast", 0, 99, false, false},
      {"SonoMarker1Frequency", 0, 1499, false, false},  // marker field under 150 kHz
  };
  for (const Case& c : kCases) {
    for (uint32_t value : {c.lowest, c.highest}) {
      SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(value));
      ResetSettingsToDefaults();
      std::string error;
      ASSERT_TRUE(SetSettingFromText(std::string(c.name) + "=" + std::to_string(value), &error)) << error;
      ASSERT_TRUE(SaveSettingsAndHistory(dir_));
      EXPECT_EQ(Stored()[kSettingsKeyPath][c.name], value) << "saved as set";
      std::string said = Reload();
      EXPECT_EQ(said, "") << "loaded without a word";
      ASSERT_TRUE(SaveSettingsAndHistory(dir_));
      EXPECT_EQ(Stored()[kSettingsKeyPath][c.name], value) << "the next start keeps it";
    }
    std::string error;
    if (c.refusedBelow) {
      EXPECT_FALSE(SetSettingFromText(std::string(c.name) + "=" + std::to_string(c.lowest - 1), &error)) << c.name;
      EXPECT_NE(error.find("from " + std::to_string(c.lowest)), std::string::npos) << error;
    }
    if (c.refusedAbove) {
      EXPECT_FALSE(SetSettingFromText(std::string(c.name) + "=" + std::to_string(c.highest + 1), &error)) << c.name;
      EXPECT_NE(error.find("to " + std::to_string(c.highest)), std::string::npos) << error;
      StoreSettings("\"" + std::string(c.name) + "\": " + std::to_string(c.highest + 1));
      std::string said = Reload();
      EXPECT_NE(said.find(std::string(c.name) + " = " + std::to_string(c.highest + 1) + " is out of range"),
                std::string::npos) << said;
    }
  }
}

// The longest texts the windows produce come back whole; a stored text too
// long for its value is refused, never cut into another path.
TEST_F(SettingsTest, LongestWindowTextsLoadWholeAndLongerOnesAreRefused) {
  const std::string comment(511, 'c'), path = "/" + std::string(509, 'p'), address(511, '1');
  g_history.Pgm1Comment.Set(comment);   // timer comment field: 511 characters
  g_history.Pgm1FileName.Set(path);     // timer program file: 510
  g_history.OutputDirectory.Set(path);  // the output file dialog: 511
  g_settings.NetworkIPAddress.Set(address);  // Network Parameters: 511
  g_settings.FTPHostName.Set(std::string(259, 'h'));  // File Transfer fields: 259
  ASSERT_TRUE(SaveSettingsAndHistory(dir_));
  EXPECT_EQ(Reload(), "");
  EXPECT_EQ(g_history.Pgm1Comment.Get(), comment);
  EXPECT_EQ(g_history.Pgm1FileName.Get(), path);
  EXPECT_EQ(g_history.OutputDirectory.Get(), path);
  EXPECT_EQ(g_settings.NetworkIPAddress.Get(), address);
  EXPECT_EQ(g_settings.FTPHostName.Get(), std::string(259, 'h'));

  Store(R"({"SOFTWARE\\Mirrowen\\Halvane\\3.3\\History": {"Pgm1Directory": "/)" + std::string(4095, 'd') +
        R"(", "Pgm1Comment": ")" + std::string(512, 'c') + R"("}})");
  std::string said = Reload();
  EXPECT_EQ(g_history.Pgm1Directory.Get(), "");
  EXPECT_EQ(g_history.Pgm1Comment.Get(), "");
  EXPECT_NE(said.find("Pgm1Directory = \"/ddd"), std::string::npos) << said;
  EXPECT_NE(said.find("is longer than 4095 bytes; not used"), std::string::npos) << said;
  EXPECT_NE(said.find("is longer than 511 bytes; not used"), std::string::npos) << said;
  EXPECT_LT(said.size(), 400u) << "a long text is shown cut";
  std::string error;
  EXPECT_FALSE(SetSettingFromText("FTPHostName=" + std::string(260, 'h'), &error));
}

TEST_F(SettingsTest, TimerTimesMustBeTimesOfDay) {
  std::string error;
  EXPECT_TRUE(SetSettingFromText("Pgm1StartTime=23:59:59", &error)) << error;
  EXPECT_TRUE(SetSettingFromText("Pgm2StopTime=", &error)) << "empty: no time set";
  for (const char* bad : {"Pgm1StartTime=25:99:99", "Pgm1StopTime=24:00:00", "Pgm2StartTime=12:00",
                          "Pgm2StopTime=12:00:00 "}) {
    EXPECT_FALSE(SetSettingFromText(bad, &error)) << bad;
    EXPECT_NE(error.find("is not a time of day"), std::string::npos) << error;
  }
  EXPECT_EQ(g_settings.Pgm1StartTime.Get(), "23:59:59");
  EXPECT_EQ(g_settings.Pgm1StopTime.Get(), "");

  StoreSettings(R"("Pgm1StartTime": "25:99:99", "Pgm1StopTime": "06:30:00", "Pgm2StartTime": "1:2:3\n",
                  "Pgm2StopTime": 5)");
  std::string said = Reload();
  EXPECT_EQ(g_settings.Pgm1StartTime.Get(), "");
  EXPECT_EQ(g_settings.Pgm1StopTime.Get(), "06:30:00");
  EXPECT_EQ(g_settings.Pgm2StartTime.Get(), "");
  EXPECT_EQ(g_settings.Pgm2StopTime.Get(), "");
  EXPECT_NE(said.find("Pgm1StartTime = \"25:99:99\" is not a time of day"), std::string::npos) << said;
  EXPECT_NE(said.find("Pgm2StartTime = \"1:2:3\\n\" is not a time of day"), std::string::npos)
      << "the line break is shown escaped: " << said;
  EXPECT_NE(said.find("Pgm2StopTime = 5 is not a text"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << "one line for each refused value: " << said;
}

// Each corrupt store (truncated, not JSON, oversized) is kept aside as it was,
// under its own name, and the defaults are used.
TEST_F(SettingsTest, EachCorruptStoreIsKeptAsideUnderItsOwnNameAndDefaultsAreUsed) {
  const std::string kFirst = R"({"SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": {"SonoThreshold": 3)",
                    kSecond = "not json at all", kThird = std::string(kMaxRegistryBytes + 1, ' ');
  for (const std::string& text : {kFirst, kSecond, kThird}) {
    Store(text);
    std::string said = Reload();
    if (text == kFirst) {
      EXPECT_NE(said.find("registry.json.bad"), std::string::npos) << said;
    }
    EXPECT_EQ(g_settings.SonoThreshold.load(), 20.0f);
  }
  EXPECT_EQ(testutil::ReadText(dir_ / "registry.json.bad"), kFirst);
  EXPECT_EQ(testutil::ReadText(dir_ / "registry.json.bad.1"), kSecond);
  EXPECT_EQ(testutil::ReadText(dir_ / "registry.json.bad.2").size(), kThird.size()) << "an oversized file too";
  EXPECT_TRUE(nlohmann::json::accept(testutil::ReadText(dir_ / "registry.json"))) << "a new store in their place";
}

TEST_F(SettingsTest, MissingParentFoldersAreCreated) {
  const fs::path config = dir_ / "home" / ".config" / "halvane";
  g_settings.SonoThreshold.store(33.0f);
  ASSERT_TRUE(SaveSettingsAndHistory(config));
  ResetSettingsToDefaults();
  LoadSettingsAndHistory(config);
  EXPECT_EQ(g_settings.SonoThreshold.load(), 33.0f);
  struct stat st {};
  ASSERT_EQ(stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700) << "the settings folder is the user's alone";

  // A file where a folder belongs: refused with a message, nothing replaced.
  std::ofstream(dir_ / "file") << "keep";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveSettingsAndHistory(dir_ / "file" / "halvane"));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("is not a folder"), std::string::npos) << said;
  EXPECT_EQ(testutil::ReadText(dir_ / "file"), "keep");
}

// A named pipe where the store belongs: nothing waits for a writer, the
// defaults are used and the pipe is left as it is.
TEST_F(SettingsTest, StoreThatIsANamedPipeIsNotReadNorReplaced) {
  ASSERT_EQ(mkfifo((dir_ / "registry.json").c_str(), 0600), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // a blocked open would end the child here
    testing::internal::CaptureStderr();
    LoadSettingsAndHistory(dir_);
    bool saved = SaveSettingsAndHistory(dir_, nullptr);
    std::string said = testing::internal::GetCapturedStderr();
    _exit(!saved && said.find("is a named pipe") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the load blocked";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st {};
  ASSERT_EQ(lstat((dir_ / "registry.json").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(RegistryStore, TextsAreCutToTheirCapacityAndOtherTypesAreMissing) {
  RegistryStore store("/nonexistent");
  ASSERT_TRUE(store.Parse(R"({"K": {"t": "abcdef", "n": 5, "f": 1.5, "b": true, "big": 4294967296}})"));
  EXPECT_EQ(store.ReadText("K", "t", 4).value(), "abc");
  EXPECT_FALSE(store.ReadText("K", "n", 10).has_value());
  EXPECT_EQ(store.ReadNumber("K", "n").value(), 5u);
  EXPECT_FALSE(store.ReadNumber("K", "f").has_value());
  EXPECT_FALSE(store.ReadNumber("K", "b").has_value());
  EXPECT_FALSE(store.ReadNumber("K", "big").has_value());
  EXPECT_FALSE(store.Parse("[1, 2]"));
  EXPECT_FALSE(store.Parse(std::string("\0\xff", 2)));
}

}  // namespace
}  // namespace hv
