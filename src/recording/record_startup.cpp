#include "recording/record_startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/file_ops.h"
#include "core/outside_file.h"
#include "core/station_state.h"
#include "recording/record_control.h"
#include "recording/record_paths.h"
#include "settings/settings.h"

namespace hv {

namespace {

std::string AbsoluteBasePath(const std::string& basePath) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(basePath, ec);
  return ec ? basePath : full.lexically_normal().string();
}

}  // namespace

bool PrepareRecordFolder(const std::string& basePath, std::string* why) {
  if (basePath.empty()) return true;
  const std::string folder = FolderPart(AbsoluteBasePath(basePath));
  std::string reason;
  if (!CreateFolderPath(folder, 0777, &reason)) {
    if (why) *why = "cannot create the folder " + reason;
    return false;
  }
  // Recordings are created there under a temporary name, then renamed.
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    if (why) *why = "cannot write in " + folder + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void PrepareRecording(const std::string& basePath) {
  if (!basePath.empty()) {
    const std::string path = AbsoluteBasePath(basePath);
    g_recordBasePath.Set(path);
    g_history.OutputDirectory.Set(FolderPart(path));
  }
  RegisterRecordingShutdown();
}

void StartRecordingFromCommandLine(const std::string& basePath) {
  if (!basePath.empty()) g_recordOn.store(true, std::memory_order_relaxed);
}

}  // namespace hv
