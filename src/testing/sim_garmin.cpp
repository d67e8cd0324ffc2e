#include "testing/sim_garmin.h"

#include <algorithm>
#include <cstring>

namespace hv {

void SimGarminState::QueueInterrupt(const std::vector<uint8_t>& packet) {
  size_t at = 0;
  for (; packet.size() - at >= 64; at += 64) interruptPieces.emplace_back(packet.begin() + at, packet.begin() + at + 64);
  interruptPieces.emplace_back(packet.begin() + at, packet.end());
}

void SimGarminState::QueueBulk(const std::vector<uint8_t>& packet) {
  QueueInterrupt(EncodeGarminPacket(kGarminUsbLayer, kGarminDataAvailable));
  for (size_t at = 0; at < packet.size(); at += 4096)
    bulkPieces.emplace_back(packet.begin() + at, packet.begin() + std::min(packet.size(), at + 4096));
  bulkPieces.emplace_back();
}

bool SimGarminLink::Open() {
  if (!s_->present) return false;
  ++s_->opens;
  open_ = true;
  return true;
}

void SimGarminLink::Close() {
  if (open_) ++s_->closes;
  open_ = false;
}

bool SimGarminLink::PacketSize(uint32_t* size, int) {
  if (!open_) return false;
  *size = s_->packetSize;
  return true;
}

namespace {
// Hands out the next piece of a pipe, as much of it as fits; -1 when none is queued.
int TakePiece(std::deque<std::vector<uint8_t>>& pieces, uint8_t* buffer, int capacity) {
  if (pieces.empty()) return -1;
  std::vector<uint8_t> piece = std::move(pieces.front());
  pieces.pop_front();
  int n = std::min<int>(capacity, static_cast<int>(piece.size()));
  if (n > 0) std::memcpy(buffer, piece.data(), n);
  return n;
}
}  // namespace

int SimGarminLink::InterruptRead(uint8_t* buffer, int capacity, int) {
  return open_ ? TakePiece(s_->interruptPieces, buffer, capacity) : -1;
}

int SimGarminLink::BulkRead(uint8_t* buffer, int capacity, int) {
  return open_ ? TakePiece(s_->bulkPieces, buffer, capacity) : -1;
}

bool SimGarminLink::BulkWrite(const uint8_t* data, int length, int) {
  if (!open_) return false;
  s_->writes.emplace_back(data, data + length);
  GarminPacket p;
  if (!DecodeFirstGarminPacket(data, length, &p)) return true;
  if (p.type == kGarminUsbLayer && p.id == kGarminStartSession && s_->answersSession) {
    s_->QueueInterrupt(EncodeGarminPacket(kGarminUsbLayer, kGarminSessionStarted, {0, 0, 0, 0}));
  } else if (p.type == kGarminApplication && p.id == kGarminProductRequest) {
    if (++s_->productRequests == s_->productAfterRequests) {
      std::vector<uint8_t> data(4 + s_->product.size() + 1, 0);
      data[0] = 0x2a, data[1] = 0x01, data[2] = 0x22, data[3] = 0x01;
      std::memcpy(data.data() + 4, s_->product.data(), s_->product.size());
      s_->QueueBulk(EncodeGarminPacket(kGarminApplication, kGarminProductData, data));
    }
  } else if (p.type == kGarminApplication && p.id == kGarminCommand && p.data.size() == 2 &&
             p.data[0] == kGarminStartPvt) {
    ++s_->startPvtCommands;
    for (const auto& packet : s_->afterStartPvt) s_->QueueInterrupt(packet);
  }
  return true;
}

namespace {
void Put(std::vector<uint8_t>& d, size_t at, const void* value, size_t n) {
  if (at + n <= d.size()) std::memcpy(d.data() + at, value, n);
}
}  // namespace

std::vector<uint8_t> MakePvtPacket(double latDegrees, double lonDegrees, float altitude, int16_t fixType,
                                   size_t dataSize) {
  std::vector<uint8_t> d(dataSize, 0);
  double lat = latDegrees / 57.29577957855229, lon = lonDegrees / 57.29577957855229;
  Put(d, 0, &altitude, 4);
  Put(d, 16, &fixType, 2);
  Put(d, 26, &lat, 8);
  Put(d, 34, &lon, 8);
  return EncodeGarminPacket(kGarminApplication, kGarminPvtData, d);
}

std::vector<uint8_t> MakeSatellitePacket(const std::vector<SatelliteSignal>& satellites) {
  std::vector<uint8_t> d;
  for (const SatelliteSignal& s : satellites) {
    int16_t snr = static_cast<int16_t>(s.signalToNoise);
    uint8_t record[7] = {static_cast<uint8_t>(s.number), static_cast<uint8_t>(snr & 0xff),
                         static_cast<uint8_t>((snr >> 8) & 0xff), 0, 0, 0, 0};
    d.insert(d.end(), record, record + 7);
  }
  return EncodeGarminPacket(kGarminApplication, kGarminSatelliteData, d);
}

}  // namespace hv
