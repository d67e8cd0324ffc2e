// The seam under our libusb 0.1 layer: what the layer needs from a USB stack.
// The real back end drives libusb-1.0; tests install a simulated bus with
// devices, descriptors, failures and slow completions. All calls are made on the
// thread that uses the layer (the acquisition thread); a back end may use
// threads of its own inside.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

struct UsbDeviceInfo {
  uint64_t id = 0;         // back end's identity of the device, stable while attached
  uint8_t busNumber = 0;
  uint8_t address = 0;     // device number on its bus
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

// Results are 0 or positive for success and negative errno values for failure
// (-ETIMEDOUT for a reap that timed out, -ENODEV for a vanished device ...).
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  virtual std::vector<UsbDeviceInfo> Enumerate() = 0;
  // An opaque open handle, or none.
  virtual void* Open(uint64_t id) = 0;
  virtual void Close(void* handle) = 0;
  virtual int SetConfiguration(void* handle, int configuration) = 0;
  virtual int ClaimInterface(void* handle, int interface) = 0;
  virtual int SetAltInterface(void* handle, int interface, int alternate) = 0;
  virtual int ReleaseInterface(void* handle, int interface) = 0;
  // Raw descriptor bytes of string `index` in `language` into `buffer`; the byte count.
  virtual int GetStringDescriptor(void* handle, int index, int language, uint8_t* buffer, int size) = 0;

  // Asynchronous bulk transfers. A transfer belongs to one handle and endpoint;
  // it may be submitted again once reaped.
  virtual void* NewBulkTransfer(void* handle, uint8_t endpoint) = 0;
  virtual int Submit(void* transfer, uint8_t* buffer, int size) = 0;
  // Waits up to `timeoutMs` for the submitted transfer; the bytes transferred.
  // On time-out the transfer is cancelled and the call returns -ETIMEDOUT only
  // once the buffer is no longer in use. A transfer not submitted: -EINVAL.
  virtual int Reap(void* transfer, int timeoutMs) = 0;
  // Cancels a submitted transfer without waiting.
  virtual int Cancel(void* transfer) = 0;
  // Frees the transfer; one still in flight is cancelled and waited for first.
  virtual void FreeTransfer(void* transfer) = 0;
};

// The libusb-1.0 back end (no devices, not an error, where USB is unavailable).
std::unique_ptr<UsbBackend> MakeLibusb1Backend();

}  // namespace hv
