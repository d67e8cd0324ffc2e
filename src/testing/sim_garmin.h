// A simulated GPS receiver behind the USB seam: it answers the start of a
// session, answers product requests after a set number of them, and sends
// queued packets on the interrupt pipe or, announced by a data-available
// packet, on the bulk pipe. Reads of an empty pipe time out at once.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gps/garmin_link.h"
#include "gps/garmin_packet.h"

namespace hv {

struct SimGarminState {
  bool present = true;
  bool answersSession = true;
  uint32_t packetSize = 64;
  int productAfterRequests = 1;  // the request number that gets an answer
  std::string product = "eTrex Sim Software Version 2.90";
  std::vector<std::vector<uint8_t>> afterStartPvt;  // queued when start PVT arrives

  int opens = 0, closes = 0, productRequests = 0, startPvtCommands = 0;
  std::vector<std::vector<uint8_t>> writes;  // every bulk write, zero-length ones too
  std::deque<std::vector<uint8_t>> interruptPieces, bulkPieces;

  // Queues a packet on the interrupt pipe in pieces of 64 bytes (an empty
  // piece ends a packet that fills its last piece).
  void QueueInterrupt(const std::vector<uint8_t>& packet);
  // Queues a data-available packet on the interrupt pipe and `packet` on the
  // bulk pipe, followed by a zero-length read.
  void QueueBulk(const std::vector<uint8_t>& packet);
};

class SimGarminLink : public GarminLink {
 public:
  explicit SimGarminLink(std::shared_ptr<SimGarminState> state) : s_(std::move(state)) {}
  bool Open() override;
  void Close() override;
  bool PacketSize(uint32_t* size, int timeoutMs) override;
  int InterruptRead(uint8_t* buffer, int capacity, int timeoutMs) override;
  int BulkRead(uint8_t* buffer, int capacity, int timeoutMs) override;
  bool BulkWrite(const uint8_t* data, int length, int timeoutMs) override;

 private:
  std::shared_ptr<SimGarminState> s_;
  bool open_ = false;
};

// A position packet: latitude and longitude in degrees, altitude in metres.
std::vector<uint8_t> MakePvtPacket(double latDegrees, double lonDegrees, float altitude, int16_t fixType,
                                   size_t dataSize = kGarminPvtSize);
std::vector<uint8_t> MakeSatellitePacket(const std::vector<SatelliteSignal>& satellites);

}  // namespace hv
