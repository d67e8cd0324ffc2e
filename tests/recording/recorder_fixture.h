// Shared set-up for recorder tests: default settings, the two locks the
// recorders take, the station model's recording context (no GPS fix, a
// comment), and a private folder for the recording base path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/station_state.h"
#include "formats/wave_file.h"
#include "formats/wavpack_file.h"
#include "model/station_model.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "recording/recording_files.h"
#include "settings/settings.h"

namespace hv {

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsToDefaults();
    g_fileLock = CreateMutexRecord();
    g_logLock = CreateMutexRecord();
    g_streamTimeLock = CreateMutexRecord();
    g_deviceSampleRate.store(250000.0f);
    g_deviceChannels.store(1);
    g_recordOn.store(false);
    g_playbackActive.store(false);
    g_productText.Set("HX302");
    ResetModel();
    SetModelText(ModelItem::kRecordComment, "a,b");
    g_recordBasePath.Set(dir / "site.wav");
  }
  void TearDown() override {
    ClearReplayedStreamTime();  // a test may have stopped the clock
    g_recordOn.store(false);
    g_recordBasePath.Set("");
    DestroyMutexRecord(g_fileLock);
    DestroyMutexRecord(g_logLock);
    DestroyMutexRecord(g_streamTimeLock);
    g_fileLock = g_logLock = g_streamTimeLock = nullptr;
  }
  // Files in the folder whose name ends with `suffix`, sorted.
  std::vector<std::string> Files(const std::string& suffix) const { return FilesEndingWith(dir.path, suffix); }
  std::string StatusLine() const { return ModelText(ModelItem::kRecordStatus); }
  std::string FileLine() const { return ModelText(ModelItem::kRecordFile); }

  TempFolder dir;
};

}  // namespace hv
