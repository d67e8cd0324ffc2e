// The USB access under the GPS interface: find the first receiver, learn its
// USB packet size, read its interrupt and bulk pipes and write its bulk pipe.
// The station uses the libusb implementation; tests put a simulated receiver
// behind the same calls. Every call waits at most its time-out.
#pragma once

#include <cstdint>
#include <memory>

namespace hv {

class GarminLink {
 public:
  virtual ~GarminLink() = default;
  // Opens the first receiver present; false when there is none.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // The bulk pipe's USB packet size in bytes; false when not learned in time.
  virtual bool PacketSize(uint32_t* size, int timeoutMs) = 0;
  // Read up to `capacity` bytes: the count read (0 for a zero-length packet),
  // or -1 on time-out or error.
  virtual int InterruptRead(uint8_t* buffer, int capacity, int timeoutMs) = 0;
  virtual int BulkRead(uint8_t* buffer, int capacity, int timeoutMs) = 0;
  // Writes `length` bytes (0: a zero-length packet); true when all went out in time.
  virtual bool BulkWrite(const uint8_t* data, int length, int timeoutMs) = 0;
};

// The receiver on the USB bus through libusb-1.0 (vendor 0x091e).
std::unique_ptr<GarminLink> MakeLibusbGarminLink();

}  // namespace hv
