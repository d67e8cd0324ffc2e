#include "devices/mrw_interface.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "devices/string_descriptor.h"

namespace hv {

namespace {

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

constexpr uint32_t kIsoPacketBytes = 512 + 12;  // data and packet status

}  // namespace

MRWInterface::~MRWInterface() { close(); }

bool MRWInterface::OpenWith(const char* deviceName, bool overlapped) {
  if (!deviceName || std::strncmp(deviceName, "Ez", 2) != 0) return false;
  close();
  std::string path = std::string("\\\\.\\") + deviceName;
  handle_ = GetEzusbDriver()->Open(path, overlapped);
  return handle_ >= 0;
}

bool MRWInterface::open(const char* deviceName) { return OpenWith(deviceName, false); }
bool MRWInterface::openOverlapped(const char* deviceName) { return OpenWith(deviceName, true); }

void MRWInterface::close() {
  if (handle_ < 0) return;
  GetEzusbDriver()->Close(handle_);
  handle_ = -1;
}

std::string MRWInterface::pipeTypeText(int pipeType) {
  static const char* const kTexts[] = {"CTL", "ISO", "BLK", "INT"};
  return pipeType >= 0 && pipeType < 4 ? kTexts[pipeType] : "";
}

std::string MRWInterface::endpointText(uint8_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%s %X", (address & 0x80) ? "IN " : "OUT", address & 0xF);
  return text;
}

bool MRWInterface::Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                           uint32_t* returned, EzusbCompletion* completion) {
  if (handle_ < 0) return false;
  return GetEzusbDriver()->DeviceControl(handle_, code, in, inSize, out, outSize, returned, completion);
}

bool MRWInterface::getStringDescriptor(int index, char* dest, int size) {
  if (handle_ < 0 || !dest || size <= 0) return false;
  dest[0] = 0;
  uint8_t in[4] = {static_cast<uint8_t>(index), 0, kEzusbLanguageId & 0xFF, kEzusbLanguageId >> 8};
  uint8_t head[4] = {};
  uint32_t got = 0;
  if (!Request(kEzusbGetStringDescriptor, in, sizeof in, head, sizeof head, &got)) return false;
  // The first byte is the descriptor's length; anything shorter than its own
  // 2-byte header carries no text.
  uint32_t length = got >= 1 ? head[0] : 0;
  if (length < 2) return true;
  std::vector<uint8_t> whole(length);
  if (!Request(kEzusbGetStringDescriptor, in, sizeof in, whole.data(), length, &got)) return false;
  std::string text = StringDescriptorText(whole.data(), got, static_cast<size_t>(size - 1));
  std::memcpy(dest, text.data(), text.size());
  dest[text.size()] = 0;
  return true;
}

bool MRWInterface::getDeviceDescriptor(void* dest, uint32_t size, uint32_t* returned) {
  return Request(kEzusbGetDeviceDescriptor, nullptr, 0, dest, size, returned);
}

bool MRWInterface::bulkRead(void* dest, uint32_t size, uint32_t* returned) {
  uint32_t pipe = 0;
  return Request(kEzusbBulkRead, &pipe, sizeof pipe, dest, size, returned);
}

bool MRWInterface::bulkWrite(void* source, uint32_t size, uint32_t* returned) {
  uint32_t pipe = 1;
  return Request(kEzusbBulkWrite, &pipe, sizeof pipe, source, size, returned);
}

bool MRWInterface::asyncBulkRead(void* dest, uint32_t size, EzusbCompletion* completion) {
  if (handle_ < 0 || !completion) return false;
  // A fresh request starts unsignalled, as an overlapped request resets its event.
  completion->event.Reset();
  uint32_t pipe = 0;
  if (!Request(kEzusbBulkRead, &pipe, sizeof pipe, dest, size, nullptr, completion)) {
    Say("Async IOCTL READ FAILED");
    return false;
  }
  return true;
}

bool MRWInterface::ResetPipe0() {
  uint32_t pipe = 0;
  if (Request(kEzusbResetPipe, &pipe, sizeof pipe, nullptr, 0, nullptr)) return true;
  Say("Pipe Reset Failed");
  return false;
}

bool MRWInterface::startISOStream() {
  Say("start ISO Stream");
  if (handle_ < 0) {
    Say("startISOStream: ERROR - No driver");
    return false;
  }
  if (!ResetPipe0()) return false;
  EzusbIsoControl control{0, 512, 32, 1, 1};
  bool ok = Request(kEzusbStartIsoStream, &control, sizeof control, nullptr, 0, nullptr);
  Say(ok ? "Started ISO Stream" : "Start ISO Stream failed");
  return ok;
}

bool MRWInterface::stopISOStream() {
  Say("stop ISO Stream");
  if (handle_ < 0) {
    Say("stopISOStream: ERROR - No driver");
    return false;
  }
  bool ok = Request(kEzusbStopIsoStream, nullptr, 0, nullptr, 0, nullptr);
  Say(ok ? "Stopped ISO Stream" : "Start ISO Stream failed");
  return ok;
}

bool MRWInterface::inputData(void* dest, uint32_t size, uint32_t* returned) {
  if (returned) *returned = 0;
  if (handle_ < 0) {
    Say("inputData: ERROR - No driver");
    return false;
  }
  // One stream buffer of 8 packets; only the first packet's data is handed on.
  std::vector<uint8_t> packets(8 * kIsoPacketBytes);
  EzusbIsoControl control{0, 512, 8, 1, 1};
  uint32_t got = 0;
  if (!Request(kEzusbReadIsoBuffer, &control, sizeof control, packets.data(), static_cast<uint32_t>(packets.size()),
               &got)) {
    Say("ISO Transfer failed");
    return false;
  }
  uint32_t n = got < 512 ? got : 512;
  if (n > size) n = size;
  if (dest && n) std::memcpy(dest, packets.data(), n);
  if (returned) *returned = n;
  return true;
}

bool MRWInterface::isoInput(void* dest, uint32_t size, uint32_t* returned) {
  if (returned) *returned = 0;
  Say("ISO Input");
  if (handle_ < 0 || !ResetPipe0()) return false;
  std::vector<uint8_t> packets(32 * kIsoPacketBytes);
  EzusbIsoControl control{0, 512, 32, 1, 1};
  uint32_t got = 0;
  if (!Request(kEzusbIsoRead, &control, sizeof control, packets.data(), static_cast<uint32_t>(packets.size()), &got)) {
    Say("ISO Transfer failed");
    return false;
  }
  // The packets' data without their status records.
  uint32_t total = 32 * 512;
  if (dest) {
    uint32_t copied = 0;
    for (uint32_t p = 0; p < 32 && copied < size; ++p) {
      uint32_t n = size - copied < 512 ? size - copied : 512;
      std::memcpy(static_cast<uint8_t*>(dest) + copied, packets.data() + p * kIsoPacketBytes, n);
      copied += n;
    }
  }
  if (returned) *returned = total;
  std::printf("ISO Transfer success  bytes : %u\n", total);
  std::fflush(stdout);
  return true;
}

}  // namespace hv
