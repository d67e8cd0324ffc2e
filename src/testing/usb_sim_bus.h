// A simulated USB bus for tests: receivers with string descriptors, a sample
// source, failures on each call, short transfers and stalls. Installed under
// our libusb layer with usb_set_backend(bus->Backend()); the test keeps the
// shared bus to steer it and read its counters from another thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/usb_backend.h"

namespace hv {

// Fills `size` bytes of one bulk IN transfer.
using SimBlockSource = std::function<void(uint8_t* bytes, int size)>;

struct SimUsbDevice {
  uint8_t busNumber = 1;
  uint8_t address = 1;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::vector<std::string> strings;  // index 1.. (index 0 is the language list)
  // Raw descriptor bytes replacing string `rawIndex` (for malformed descriptors).
  int rawIndex = -1;
  std::vector<uint8_t> raw;
  bool failOpen = false, failConfiguration = false, failClaim = false, failAltSetting = false;
  bool failSubmit = false;
  SimBlockSource source;
};

class SimUsbBus : public std::enable_shared_from_this<SimUsbBus> {
 public:
  // Adds a device; returns its index.
  int Add(SimUsbDevice device);
  void Remove(int index);
  // Transfers that may still complete: -1 unlimited; at 0 every reap waits
  // out its time-out (a stalled receiver).
  std::atomic<long> blockBudget{-1};
  // When positive, transfers complete with this many bytes instead of their size.
  std::atomic<int> shortLength{0};

  // Counters for tests.
  std::atomic<int> openHandles{0}, claimed{0}, inFlight{0}, maxInFlight{0};
  std::atomic<int> transfersAlive{0}, completed{0}, cancelled{0};

  std::unique_ptr<UsbBackend> Backend();

  // Back end operations (called through the proxy from Backend()).
  std::vector<UsbDeviceInfo> Enumerate();
  void* Open(uint64_t id);
  void Close(void* handle);
  int SetConfiguration(void* handle, int configuration);
  int ClaimInterface(void* handle, int interface);
  int SetAltInterface(void* handle, int interface, int alternate);
  int ReleaseInterface(void* handle, int interface);
  int GetStringDescriptor(void* handle, int index, int language, uint8_t* buffer, int size);
  void* NewBulkTransfer(void* handle, uint8_t endpoint);
  int Submit(void* transfer, uint8_t* buffer, int size);
  int Reap(void* transfer, int timeoutMs);
  int Cancel(void* transfer);
  void FreeTransfer(void* transfer);

 private:
  struct Slot {
    bool present = false;
    SimUsbDevice device;
  };
  struct Handle {
    int index = -1;
    int claimedInterface = -1;
  };
  struct Transfer {
    Handle* handle = nullptr;
    uint8_t endpoint = 0;
    uint8_t* buffer = nullptr;
    int size = 0;
    bool submitted = false;
  };
  SimUsbDevice* DeviceOf(Handle* h);

  std::mutex lock_;
  std::vector<Slot> slots_;
};

}  // namespace hv
