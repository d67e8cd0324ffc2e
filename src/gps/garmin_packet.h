// Packets of the GPS receiver's USB protocol.
//
// Every packet, in either direction, is a 12-byte little-endian header
// followed by its data:
//   offset 0   uint8   packet type: 0 USB protocol layer, 20 application layer
//   offset 1   3 bytes reserved (0)
//   offset 4   uint16  packet id
//   offset 6   2 bytes reserved (0)
//   offset 8   uint32  data size in bytes
//   offset 12  data
// Packets used here (type, id): start session (0, 5) and session started
// (0, 6); data available (0, 2), which tells the host to read the bulk pipe;
// product request (20, 254) and product data (20, 255: uint16 product id,
// int16 software version, zero-terminated description); command (20, 10: a
// uint16 command, 49 start and 50 stop the position stream); position,
// velocity and time (20, 51: a 64-byte record); satellites (20, 114: 7-byte
// records).
// Position record fields used: altitude float32 at 0 (metres), fix type int16
// at 16, latitude float64 at 26 and longitude float64 at 34 (radians).
// Satellite record: satellite number uint8 at 0, signal-to-noise int16 at 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hv {

enum GarminPacketType : uint8_t { kGarminUsbLayer = 0, kGarminApplication = 20 };
enum GarminPacketId : uint16_t {
  kGarminDataAvailable = 2, kGarminStartSession = 5, kGarminSessionStarted = 6,
  kGarminCommand = 10, kGarminPvtData = 51, kGarminSatelliteData = 114,
  kGarminProductRequest = 254, kGarminProductData = 255,
};
enum GarminCommand : uint16_t { kGarminStartPvt = 49, kGarminStopPvt = 50 };

constexpr size_t kGarminHeaderSize = 12;
constexpr size_t kGarminPvtSize = 64;
constexpr size_t kGarminSatelliteRecordSize = 7;

struct GarminPacket {
  uint8_t type = 0;
  uint16_t id = 0;
  std::vector<uint8_t> data;  // exactly the header's data size
};

// Builds the bytes of a packet.
std::vector<uint8_t> EncodeGarminPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data = {});

// Takes the first packet from `length` bytes. False when fewer than 12 bytes
// arrived or the header's data size runs past the bytes that arrived.
bool DecodeFirstGarminPacket(const uint8_t* bytes, size_t length, GarminPacket* packet);

struct PvtFix {
  float altitude = 0;
  int16_t fixType = 0;
  double latitude = 0;   // radians
  double longitude = 0;  // radians
};
// False unless the data is exactly one 64-byte record.
bool DecodePvt(const std::vector<uint8_t>& data, PvtFix* fix);

struct SatelliteSignal {
  int number = 0;
  int signalToNoise = 0;
};
// False unless the data is a whole number of 7-byte records.
bool DecodeSatellites(const std::vector<uint8_t>& data, std::vector<SatelliteSignal>* satellites);

// The description of a product data packet: the text after the two numbers,
// up to its terminating zero or the end of the data; "" when too short.
std::string ProductDescription(const std::vector<uint8_t>& data);

}  // namespace hv
