#include "core/outside_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hv {

namespace {

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "is a named pipe, not a file";
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
  if (S_ISSOCK(mode)) return "is a socket, not a file";
  return "is not a regular file";
}

void Say(std::string* why, const std::string& text) {
  if (why) *why = text;
}

}  // namespace

int OpenRegularFile(const std::string& path, std::string* why) {
  if (path.empty()) {
    Say(why, "no file named");
    errno = ENOENT;
    return -1;
  }
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    int e = errno;
    Say(why, std::strerror(e));
    errno = e;
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int e = errno;
    Say(why, std::strerror(e));
    close(fd);
    errno = e;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    Say(why, KindOf(st.st_mode));
    close(fd);
    errno = EINVAL;
    return -1;
  }
  // Reads of a regular file never wait for a peer; blocking mode is the usual one.
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool CheckRegularFile(const std::string& path, std::string* why) {
  int fd = OpenRegularFile(path, why);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool CreateFolderPath(const std::string& folder, mode_t mode, std::string* why) {
  if (folder.empty()) {
    Say(why, "no folder named");
    return false;
  }
  // Each prefix ending before a "/" is a parent; the whole path comes last.
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (at < path.size() && path[at - 1] == '/') continue;  // "a//b"
    const bool last = at == path.size();
    if (mkdir(part.c_str(), last ? mode : 0777) == 0) continue;
    int e = errno;
    struct stat st {};
    if (e == EEXIST && stat(part.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      Say(why, part + " is not a folder");
      errno = ENOTDIR;
      return false;
    }
    Say(why, part + ": " + std::strerror(e));
    errno = e;
    return false;
  }
  return true;
}

}  // namespace hv
