// One turn of the upload thread: pick the next source (the manual recording,
// then timer programs 1 and 2), find one finished recording of it, send it
// through the FileXfer session, then archive or delete the local copy. What
// happens is published as the upload status line in the station model (the
// File Transfer window shows it) and written to the daily log. A file that fails three times is kept in an "unsent" folder
// beside it; a local copy is only removed after the server confirmed it.
#pragma once

#include <ctime>
#include <set>
#include <string>

#include "transfer/file_xfer.h"

namespace hv {

class FileTransferWorker {
 public:
  explicit FileTransferWorker(FileXfer& xfer) : xfer_(xfer) {}

  // Runs one turn; returns the pause in seconds before the next.
  double Turn();

  std::string Status() const { return status_; }
  int RetryNumber() const { return retry_; }

  static constexpr int kAttempts = 3;

 private:
  void SetStatus(const std::string& text);
  void Log(const char* message, const std::string& detail);
  // After a confirmed upload: archive or delete the local copy.
  void DisposeOfSent(const std::string& localPath, const std::string& name);
  // After the last failed attempt: move the file into "unsent" beside it.
  void KeepUnsent(const std::string& localPath, const std::string& name);

  FileXfer& xfer_;
  int source_ = 0;
  int retry_ = 0;
  std::tm stamp_{};
  std::string status_;
  // Files that must not be picked again: sent but not removable, or failed
  // and not movable.
  std::set<std::string> stuck_;
};

}  // namespace hv
