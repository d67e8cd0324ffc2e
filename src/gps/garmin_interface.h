// The GPS receiver's session: open it (start session, wait for the answer),
// ask for the product, start and stop the position stream, and read packets
// (interrupt pipe, then the bulk pipe when the receiver says data is waiting).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gps/garmin_link.h"
#include "gps/garmin_packet.h"

namespace hv {

class GarminInterface {
 public:
  // Without a link, the libusb one.
  explicit GarminInterface(std::unique_ptr<GarminLink> link = nullptr);
  virtual ~GarminInterface();

  // Opens the first receiver; `deviceName` is ignored (there is one kind).
  virtual bool Open(const char* deviceName);
  virtual void Close();
  virtual void RequestProduct();
  virtual bool StartPvt();
  virtual bool StopPvt();
  // The next packet within `waitMs` per piece, or none; free it with FreePacket.
  virtual GarminPacket* ReadPacket(int waitMs);
  virtual void FreePacket(GarminPacket* packet);
  virtual int PacketId(const GarminPacket* packet) const;
  virtual int PacketType(const GarminPacket* packet) const;

  bool IsOpen() const { return open_; }
  uint32_t UsbPacketSize() const { return packetSize_; }

 private:
  bool Send(uint8_t type, uint16_t id, const std::vector<uint8_t>& data = {});

  std::unique_ptr<GarminLink> link_;
  bool open_ = false;
  uint32_t packetSize_ = 0;
};

}  // namespace hv
