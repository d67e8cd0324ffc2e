#include "recording/record_startup.h"

#include <filesystem>

#include "core/file_ops.h"
#include "core/station_state.h"
#include "recording/record_control.h"
#include "recording/record_paths.h"
#include "recording/recorder_texts.h"
#include "settings/settings.h"

namespace hv {

void PrepareRecording(const std::string& basePath) {
  if (!basePath.empty()) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(basePath, ec);
    const std::string path = ec ? basePath : full.lexically_normal().string();
    g_recordBasePath.Set(path);
    g_history.OutputDirectory.Set(FolderPart(path));
  }
  EnsureRecorderControls();
  RegisterRecordingShutdown();
}

void StartRecordingFromCommandLine(const std::string& basePath) {
  if (!basePath.empty()) g_recordOn.store(true, std::memory_order_relaxed);
}

}  // namespace hv
