#include "gps/garmin_packet.h"

#include <cstring>

#include "core/le_bytes.h"

namespace hv {

namespace {
float F32(const uint8_t* p) {
  uint32_t bits = GetLe32(p);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
double F64(const uint8_t* p) {
  uint64_t bits = static_cast<uint64_t>(GetLe32(p)) | static_cast<uint64_t>(GetLe32(p + 4)) << 32;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
}  // namespace

std::vector<uint8_t> EncodeGarminPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(kGarminHeaderSize + data.size(), 0);
  out[0] = type;
  out[4] = static_cast<uint8_t>(id);
  out[5] = static_cast<uint8_t>(id >> 8);
  uint32_t size = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<uint8_t>(size >> (8 * i));
  if (!data.empty()) std::memcpy(out.data() + kGarminHeaderSize, data.data(), data.size());
  return out;
}

bool DecodeFirstGarminPacket(const uint8_t* bytes, size_t length, GarminPacket* packet) {
  if (!bytes || length < kGarminHeaderSize) return false;
  uint32_t size = GetLe32(bytes + 8);
  if (size > length - kGarminHeaderSize) return false;
  packet->type = bytes[0];
  packet->id = GetLe16(bytes + 4);
  packet->data.assign(bytes + kGarminHeaderSize, bytes + kGarminHeaderSize + size);
  return true;
}

bool DecodePvt(const std::vector<uint8_t>& data, PvtFix* fix) {
  if (data.size() != kGarminPvtSize) return false;
  const uint8_t* p = data.data();
  fix->altitude = F32(p);
  fix->fixType = static_cast<int16_t>(GetLe16(p + 16));
  fix->latitude = F64(p + 26);
  fix->longitude = F64(p + 34);
  return true;
}

bool DecodeSatellites(const std::vector<uint8_t>& data, std::vector<SatelliteSignal>* satellites) {
  if (data.size() % kGarminSatelliteRecordSize != 0) return false;
  satellites->clear();
  for (size_t at = 0; at < data.size(); at += kGarminSatelliteRecordSize) {
    const uint8_t* p = data.data() + at;
    satellites->push_back(SatelliteSignal{p[0], static_cast<int16_t>(GetLe16(p + 1))});
  }
  return true;
}

std::string ProductDescription(const std::vector<uint8_t>& data) {
  if (data.size() <= 4) return std::string();
  const char* text = reinterpret_cast<const char*>(data.data() + 4);
  size_t room = data.size() - 4;
  return std::string(text, strnlen(text, room));
}

}  // namespace hv
