#include "core/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace hv {

namespace {
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

// Copies a file's bytes and syncs the copy; false (copy removed) on any error.
bool CopyAndSync(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    close(in);
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t m = write(out, buffer + done, static_cast<size_t>(n - done));
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) {
        ok = false;
        break;
      }
      done += m;
    }
    if (!ok) break;
  }
  if (ok && fsync(out) != 0) ok = false;
  if (close(out) != 0) ok = false;
  close(in);
  if (!ok) unlink(to.c_str());
  return ok;
}
}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without renameat2 flags: link then unlink never replaces either.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

bool DeleteFileSilently(const std::string& path) {
  if (path.empty()) return false;
  return unlink(path.c_str()) == 0;
}

bool MoveFileInto(const std::string& path, const std::string& folder, std::string* movedTo) {
  if (path.empty() || folder.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string target = folder;
  if (target.back() != '/') target += '/';
  target += FileNamePart(path);
  if (RenameNoReplace(path, target)) {
    if (movedTo) *movedTo = target;
    return true;
  }
  if (errno != EXDEV) return false;
  if (!CopyAndSync(path, target)) return false;
  if (unlink(path.c_str()) != 0) {
    unlink(target.c_str());
    return false;
  }
  if (movedTo) *movedTo = target;
  return true;
}

std::string FileNamePart(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace hv
