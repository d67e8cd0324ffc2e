// Counts the copies of the program running side by side. The first copy gets
// index 0, the next 1, and so on, counted atomically even when several start at
// once. Each running copy holds a lock on one slot file; the system drops the
// lock when the process ends in any way (SIGKILL included), so a crashed copy
// never leaves the count raised.
//
// Folder: $HALVANE_INSTANCE_DIR, else $XDG_RUNTIME_DIR/halvane, else
// /tmp/halvane-<uid>. Files: "count.lock" (held while counting) and
// "slot-<n>" (held for the life of a copy), all empty.
#pragma once

#include <string>

namespace hv {

class InstanceCounter {
 public:
  ~InstanceCounter() { Leave(); }
  // Counts the live copies (that count is this copy's index) and takes a slot.
  // Returns the index, or 0 with a diagnostic line when the folder is unusable.
  int Enter();
  // Gives the slot back so that the next copy started gets the lower index again.
  void Leave();
  static std::string Folder();

 private:
  int slotFd_ = -1;
};

// "Ezusb-0".."Ezusb-2" for index 0..2, "Ezusb-3" for any higher index.
std::string UsbDeviceNameForIndex(int index);

}  // namespace hv
