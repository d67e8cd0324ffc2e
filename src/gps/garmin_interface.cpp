#include "gps/garmin_interface.h"

#include <vector>

#include "core/station_state.h"

namespace hv {

namespace {
constexpr int kSendWaitMs = 100;
constexpr int kPacketSizeWaitMs = 100;
constexpr int kOpenReadWaitMs = 1000;
constexpr int kBulkWaitMs = 100;
constexpr int kInterruptPiece = 64;
constexpr int kBulkPiece = 4096;
// A receiver that keeps talking without ever ending a packet, or never answers
// the start of a session, is given up on after this much.
constexpr size_t kMaxPacketBytes = 1 << 16;
constexpr int kMaxPacketsBeforeSession = 64;
}  // namespace

GarminInterface::GarminInterface(std::unique_ptr<GarminLink> link)
    : link_(link ? std::move(link) : MakeLibusbGarminLink()) {}

GarminInterface::~GarminInterface() { Close(); }

bool GarminInterface::Open(const char*) {
  Close();
  if (!link_ || !link_->Open()) return false;
  open_ = true;
  if (!link_->PacketSize(&packetSize_, kPacketSizeWaitMs) || packetSize_ == 0) {
    Close();
    return false;
  }
  Send(kGarminUsbLayer, kGarminStartSession);
  for (int n = 0; n < kMaxPacketsBeforeSession && IsRunning(); ++n) {
    GarminPacket* packet = ReadPacket(kOpenReadWaitMs);
    if (!packet) break;
    bool started = packet->type == kGarminUsbLayer && packet->id == kGarminSessionStarted;
    FreePacket(packet);
    if (started) return true;
  }
  Close();
  return false;
}

void GarminInterface::Close() {
  if (open_ && link_) link_->Close();
  open_ = false;
}

bool GarminInterface::Send(uint8_t type, uint16_t id, const std::vector<uint8_t>& data) {
  if (!open_) return false;
  std::vector<uint8_t> bytes = EncodeGarminPacket(type, id, data);
  if (!link_->BulkWrite(bytes.data(), static_cast<int>(bytes.size()), kSendWaitMs)) return false;
  // A transfer that fills its last USB packet exactly is ended by a zero-length one.
  if (packetSize_ != 0 && bytes.size() % packetSize_ == 0) return link_->BulkWrite(nullptr, 0, kSendWaitMs);
  return true;
}

void GarminInterface::RequestProduct() { Send(kGarminApplication, kGarminProductRequest); }

bool GarminInterface::StartPvt() {
  return Send(kGarminApplication, kGarminCommand, {static_cast<uint8_t>(kGarminStartPvt), 0});
}

bool GarminInterface::StopPvt() {
  return Send(kGarminApplication, kGarminCommand, {static_cast<uint8_t>(kGarminStopPvt), 0});
}

GarminPacket* GarminInterface::ReadPacket(int waitMs) {
  if (!open_) return nullptr;
  std::vector<uint8_t> bytes;
  uint8_t piece[kBulkPiece];
  for (;;) {
    int n = link_->InterruptRead(piece, kInterruptPiece, waitMs);
    if (n < 0) return nullptr;
    bytes.insert(bytes.end(), piece, piece + n);
    if (n < kInterruptPiece) break;
    if (bytes.size() > kMaxPacketBytes || !IsRunning()) return nullptr;
  }
  GarminPacket header;
  if (DecodeFirstGarminPacket(bytes.data(), bytes.size(), &header) && header.type == kGarminUsbLayer &&
      header.id == kGarminDataAvailable) {
    // The packet itself waits on the bulk pipe; it ends with a read of 0 bytes.
    bytes.clear();
    for (;;) {
      int n = link_->BulkRead(piece, kBulkPiece, kBulkWaitMs);
      if (n < 0) {
        if (bytes.empty()) return nullptr;
        break;
      }
      if (n == 0) break;
      bytes.insert(bytes.end(), piece, piece + n);
      if (bytes.size() > kMaxPacketBytes || !IsRunning()) return nullptr;
    }
  }
  auto* packet = new GarminPacket;
  if (!DecodeFirstGarminPacket(bytes.data(), bytes.size(), packet)) {
    // Too short for its own header: keep what came as an unknown packet so the
    // caller sees that the receiver is alive.
    packet->type = 0xff;
    packet->id = 0;
    packet->data.clear();
  }
  return packet;
}

void GarminInterface::FreePacket(GarminPacket* packet) { delete packet; }

int GarminInterface::PacketId(const GarminPacket* packet) const { return packet ? packet->id : -1; }

int GarminInterface::PacketType(const GarminPacket* packet) const { return packet ? packet->type : -1; }

}  // namespace hv
