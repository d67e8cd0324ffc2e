// Settings and history: defaults, encodings, the store's types, what save keeps,
// refused values, and a corrupt or unwritable store.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
      "SnapshotPictures": 0, "TuneFrequency": 40000, "PowerSaverEnable": 1, "Program1Enable": 0,
      "Program2Enable": 0, "FileTransferEnable": 0, "FileTransferDuringIdle": 0, "FileTransferLoginEnable": 0,
      "FileTransferArchiveEnable": 0, "NetworkDefaultEnable": 0})")) << "every number and switch, no empty text";
  EXPECT_EQ(root[kHistoryKeyPath], nlohmann::json::parse(R"({"FTPRootDirectory": ""})"));
  struct stat st {};
  ASSERT_EQ(stat((dir_ / "registry.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600);
}

TEST_F(SettingsTest, EncodingsOfVolumeMarkersAndFloats) {
  Store(R"({"SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": {"AudioVolume": 2, "SonoMarker1Frequency": 600,
            "MenuRecordMode": 7, "SonoThreshold": "33", "TuneFrequency": -5}})");
  LoadSettingsAndHistory(dir_);
  EXPECT_EQ(g_settings.AudioVolume.load(), 1.0f);
  EXPECT_FALSE(g_settings.AudioOn.load());
  EXPECT_EQ(g_settings.SonoMarker1Frequency.load(), 60000.0f);
  EXPECT_EQ(g_settings.MenuRecordMode.load(), 7);
  EXPECT_EQ(g_settings.SonoThreshold.load(), 20.0f) << "a string where a number belongs counts as missing";
  EXPECT_EQ(g_settings.TuneFrequency.load(), 40000.0f) << "a negative JSON number is not a registry number";
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
  Store(R"({"SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": {"SnapTimeExpand": 0, "SnapDurationMS": 100000000,
            "SnapIdleTimeoutMS": 4294967295}})");
  testing::internal::CaptureStderr();
  LoadSettingsAndHistory(dir_);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_settings.SnapTimeExpand.load(), 10);
  EXPECT_EQ(g_settings.SnapDurationMS.load(), 1000);
  EXPECT_EQ(g_settings.SnapIdleTimeoutMS.load(), 3000);
  EXPECT_NE(said.find("SnapTimeExpand"), std::string::npos);

  std::string error;
  EXPECT_FALSE(SetSettingFromText("SnapTimeExpand=0", &error));
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

TEST_F(SettingsTest, CorruptStoreIsKeptAsideAndDefaultsAreUsed) {
  Store("{\"SOFTWARE\\\\Mirrowen\\\\Halvane\\\\3.3\\\\Settings\": {\"SonoThreshold\": 3");  // truncated
  testing::internal::CaptureStderr();
  LoadSettingsAndHistory(dir_);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("registry.json.bad"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "registry.json.bad"));
  EXPECT_EQ(g_settings.SonoThreshold.load(), 20.0f);
  EXPECT_NE(testutil::ReadText(dir_ / "registry.json.bad").find("\"SonoThreshold\": 3"), std::string::npos) << "the user's file is kept as it was";
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
