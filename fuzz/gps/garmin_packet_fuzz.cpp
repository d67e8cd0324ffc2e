// Feeds arbitrary bytes to the GPS packet decoders and, cut into pipe reads,
// through the interface's packet reader and the GPS thread's packet handling.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "gps/garmin_interface.h"
#include "gps/garmin_packet.h"
#include "gps/gps_session.h"

namespace {

// Serves the input as interrupt and bulk reads: each read takes a length byte
// then that many bytes (at most the read's capacity); the end of input is a time-out.
class BytesLink : public hv::GarminLink {
 public:
  BytesLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Open() override { return true; }
  void Close() override {}
  bool PacketSize(uint32_t* size, int) override {
    *size = 64;
    return true;
  }
  int InterruptRead(uint8_t* buffer, int capacity, int) override { return Next(buffer, capacity); }
  int BulkRead(uint8_t* buffer, int capacity, int) override { return Next(buffer, capacity); }
  bool BulkWrite(const uint8_t*, int, int) override { return true; }

 private:
  int Next(uint8_t* buffer, int capacity) {
    if (at_ >= size_) return -1;
    int want = data_[at_++] % (capacity + 1);
    int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(want), size_ - at_));
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class NoFields : public hv::GpsFields {
 public:
  void SetText(int, const std::string&) override {}
  void SetEnabled(int, bool) override {}
};

void NoSleep(double) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hv::GarminPacket packet;
  if (hv::DecodeFirstGarminPacket(data, size, &packet)) {
    hv::PvtFix fix;
    hv::DecodePvt(packet.data, &fix);
    std::vector<hv::SatelliteSignal> sats;
    hv::DecodeSatellites(packet.data, &sats);
    hv::ProductDescription(packet.data);
  }
  // The session opens only when the input answers the start of a session;
  // prefix the answer so the reader and handler always run.
  std::vector<uint8_t> input = {12};
  std::vector<uint8_t> started = hv::EncodeGarminPacket(hv::kGarminUsbLayer, hv::kGarminSessionStarted);
  input.insert(input.end(), started.begin(), started.end());
  input.insert(input.end(), data, data + size);
  hv::GarminInterface gps(std::make_unique<BytesLink>(input.data(), input.size()));
  NoFields fields;
  hv::GpsSession session(gps, fields, NoSleep);
  for (int pass = 0; pass < 8; ++pass) session.Step();
  session.Finish();
  return 0;
}
