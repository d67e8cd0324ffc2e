// The EZ-USB general-purpose driver as the receiver code sees it: devices named
// "\\.\Ezusb-0" .. "\\.\Ezusb-3", driven by 32-bit device-control requests.
// Linux has no such kernel driver, so a driver object answers the same requests:
// one over libusb-1.0 for real receivers, a simulated one for tests.
//
// Request layouts (all little-endian):
//   0x222000 get device descriptor   in: none          out: the 18-byte device descriptor
//   0x222035 reset pipe              in: u32 pipe      out: none
//   0x222044 get string descriptor   in: u8 index, u8 reserved, u16 language id
//                                    out: the USB string descriptor (up to out size)
//   0x22204E bulk read               in: u32 pipe (0)  out: data
//   0x222051 bulk write              in: u32 pipe (1)  out: the data to send
//   0x222066 isochronous read        in: iso control   out: packets
//   0x222078 start isochronous       in: iso control   out: none
//   0x22207C stop isochronous        in: none          out: none
//   0x222082 read isochronous buffer in: iso control   out: packets
// Isochronous control: five u32 fields: pipe, packet size, packet count, frames
// per buffer, buffer count. Each packet arrives as its data and a 12-byte status.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/runtime.h"

namespace hv {

constexpr uint32_t kEzusbGetDeviceDescriptor = 0x222000;
constexpr uint32_t kEzusbResetPipe = 0x222035;
constexpr uint32_t kEzusbGetStringDescriptor = 0x222044;
constexpr uint32_t kEzusbBulkRead = 0x22204E;
constexpr uint32_t kEzusbBulkWrite = 0x222051;
constexpr uint32_t kEzusbIsoRead = 0x222066;
constexpr uint32_t kEzusbStartIsoStream = 0x222078;
constexpr uint32_t kEzusbStopIsoStream = 0x22207C;
constexpr uint32_t kEzusbReadIsoBuffer = 0x222082;

struct EzusbIsoControl {
  uint32_t pipeNum;
  uint32_t packetSize;
  uint32_t packetCount;
  uint32_t framesPerBuffer;
  uint32_t bufferCount;
};
static_assert(sizeof(EzusbIsoControl) == 20, "isochronous control is 20 bytes");

// The completion record of one overlapped request: it must stay valid until the
// request completes (or the handle is closed, which completes it as failed).
struct EzusbCompletion {
  AutoResetEvent event;            // signalled when the request completes
  std::atomic<uint32_t> bytes{0};  // bytes transferred
  std::atomic<bool> ok{false};     // the request succeeded
};

class EzusbDriver {
 public:
  virtual ~EzusbDriver() = default;
  // A handle (0 or more), or -1 when no such device exists or it cannot be opened.
  virtual int Open(const std::string& path, bool overlapped) = 0;
  // Cancels the handle's outstanding requests, waits until none of them can still
  // touch its buffer or completion record (each is completed as failed), closes.
  virtual void Close(int handle) = 0;
  // Without a completion record the request completes before the call returns
  // and `returned` holds the output byte count. With one (overlapped handles),
  // true means the driver accepted the request; it completes later through the
  // record. False: the request failed or was refused.
  virtual bool DeviceControl(int handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                             uint32_t outSize, uint32_t* returned, EzusbCompletion* completion) = 0;
};

// The driver in use (libusb-1.0 unless a test installed another one).
EzusbDriver* GetEzusbDriver();
// Installs a driver (none restores libusb-1.0); only while no handle is open.
void SetEzusbDriver(std::unique_ptr<EzusbDriver> driver);
std::unique_ptr<EzusbDriver> MakeLibusbEzusbDriver();

}  // namespace hv
