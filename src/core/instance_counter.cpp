#include "core/instance_counter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/runtime.h"

namespace hv {

namespace {
constexpr int kMaxSlots = 99;
}

std::string InstanceCounter::Folder() {
  if (const char* d = std::getenv("HALVANE_INSTANCE_DIR"); d && *d) return d;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) return std::string(r) + "/halvane";
  return "/tmp/halvane-" + std::to_string(getuid());
}

int InstanceCounter::Enter() {
  Leave();
  std::string folder = Folder();
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    DiagPrint("Instance folder %s: %s\n", folder.c_str(), std::strerror(errno));
    return 0;
  }
  int countFd = open((folder + "/count.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (countFd < 0 || flock(countFd, LOCK_EX) != 0) {
    DiagPrint("Instance count %s: %s\n", folder.c_str(), std::strerror(errno));
    if (countFd >= 0) close(countFd);
    return 0;
  }
  int live = 0;
  int freeFd = -1;
  for (int slot = 0; slot < kMaxSlots; ++slot) {
    std::string path = folder + "/slot-" + std::to_string(slot);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ++live;  // held by a running copy
      close(fd);
    } else if (freeFd < 0) {
      freeFd = fd;  // keep the first free slot locked: it becomes ours
    } else {
      flock(fd, LOCK_UN);
      close(fd);
    }
  }
  slotFd_ = freeFd;
  flock(countFd, LOCK_UN);
  close(countFd);
  return live;
}

void InstanceCounter::Leave() {
  if (slotFd_ >= 0) {
    flock(slotFd_, LOCK_UN);
    close(slotFd_);
    slotFd_ = -1;
  }
}

std::string UsbDeviceNameForIndex(int index) {
  if (index < 0) index = 0;
  return "Ezusb-" + std::to_string(index > 3 ? 3 : index);
}

}  // namespace hv
