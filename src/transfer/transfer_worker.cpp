#include "transfer/transfer_worker.h"

#include <cstdio>

#include "core/file_ops.h"
#include "core/station_state.h"
#include "model/station_model.h"
#include "recording/record_paths.h"
#include "settings/settings.h"
#include "transfer/upload_search.h"

namespace hv {

namespace {

constexpr double kNextTurn = 0.1, kShortPause = 1, kSitePause = 15;
constexpr const char* kUnsentFolder = "unsent";

bool Relaxed(const std::atomic<bool>& flag) { return flag.load(std::memory_order_relaxed); }

// The turn's time stamp: the replayed time in playback, else the clock; local
// time when TimeStandard is 1.
std::tm TimeStamp() {
  return NameTime(CurrentStreamTime(), g_settings.TimeStandard.load(std::memory_order_relaxed));
}

std::string Format(const char* format, const std::string& value) {
  char text[600];
  std::snprintf(text, sizeof text, format, value.c_str());
  return text;
}

}  // namespace

void FileTransferWorker::SetStatus(const std::string& text) {
  SetModelText(ModelItem::kTransferStatus, text);
  status_ = text;
}

void FileTransferWorker::Log(const char* message, const std::string& detail) {
  AppendDailyLog(message, stamp_, detail.c_str());
}

double FileTransferWorker::Turn() {
  stamp_ = TimeStamp();
  if (!Relaxed(g_settings.FileTransferEnable) ||
      (Relaxed(g_settings.FileTransferDuringIdle) && !Relaxed(g_powerSave))) {
    SetStatus("InActive");
    return kShortPause;
  }
  SetStatus("Active");

  std::string name, folder;
  switch (source_) {
    case 0:
      if (Relaxed(g_recordOn)) name = g_recordBasePath.Get(), folder = g_history.OutputDirectory.Get();
      break;
    case 1:
      if (Relaxed(g_settings.Program1Enable)) name = g_history.Pgm1FileName.Get(), folder = g_history.Pgm1Directory.Get();
      break;
    default:
      if (Relaxed(g_settings.Program2Enable)) name = g_history.Pgm2FileName.Get(), folder = g_history.Pgm2Directory.Get();
      break;
  }
  source_ = (source_ + 1) % 3;
  if (name.empty()) return kNextTurn;

  // The recordings lie beside their base path; a bare name uses the source's folder.
  const std::string pattern = UploadSearchPattern(name);
  if (!FolderPart(pattern).empty()) folder = FolderPart(pattern);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  const std::string found = FindUploadCandidate(folder, FileNamePart(pattern), stuck_);
  if (found.empty()) return kNextTurn;
  const std::string localPath = folder + found;

  const bool fresh = !xfer_.connected();
  const std::string host = g_settings.FTPHostName.Get();
  bool in = Relaxed(g_settings.FileTransferLoginEnable)
                ? xfer_.login(host, g_settings.FTPUserName.Get(), g_settings.FTPPassWord.Get())
                : xfer_.loginAnonymous(host);
  if (!in) {
    SetStatus(Format("Error opening site %s", host));
    Log("Could not open site: ", host);
    return kSitePause;
  }
  // The remote folder is entered once per login, so a relative folder is not
  // entered again inside itself on the next file.
  const std::string root = g_history.FTPRootDirectory.Get();
  if (fresh && !root.empty() && root != "/" && !xfer_.changeDirectory(root)) {
    SetStatus(Format("Error setting root directory %s", root));
    Log("Could not set root directory: ", root);
    xfer_.close();
    return kSitePause;
  }

  SetStatus(Format("Transfering file %s", found));
  Log("Transfering file: ", found);
  if (xfer_.put(localPath, retry_)) {
    retry_ = 0;
    stamp_ = TimeStamp();
    Log("File transfered: ", found);
    DisposeOfSent(localPath, found);
    return kNextTurn;
  }

  DiagPrint("Upload of %s failed: %s\n", localPath.c_str(), xfer_.lastError().c_str());
  if (!IsRunning()) {
    // Cut off by shutdown: not an attempt that counts against the file.
    xfer_.close();
    return kNextTurn;
  }
  SetStatus(Format("Error transfering file %s", found));
  Log("Error transfering file: ", found);
  xfer_.close();
  if (++retry_ >= kAttempts) {
    KeepUnsent(localPath, found);
    retry_ = 0;
  }
  return kShortPause;
}

void FileTransferWorker::DisposeOfSent(const std::string& localPath, const std::string& name) {
  if (Relaxed(g_settings.FileTransferArchiveEnable)) {
    if (MoveFileInto(localPath, g_history.ArchiveDirectory.Get())) {
      Log("Archive local copy: ", name);
    } else if (DeleteFileSilently(localPath)) {
      Log("Deleted local copy (forced): ", name);
    } else {
      Log("Error archiving local file: ", name);
      stuck_.insert(localPath);
    }
    return;
  }
  if (DeleteFileSilently(localPath)) {
    Log("Delete local copy: ", name);
  } else {
    Log("Error removing local file: ", name);
    stuck_.insert(localPath);
  }
}

void FileTransferWorker::KeepUnsent(const std::string& localPath, const std::string& name) {
  if (MoveFileInto(localPath, FolderPart(localPath) + kUnsentFolder)) {
    Log("Failed to send (kept in unsent): ", name);
  } else {
    Log("Failed to send (kept in place): ", name);
    stuck_.insert(localPath);
  }
}

}  // namespace hv
