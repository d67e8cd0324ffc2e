// USB identities of the receivers.
#pragma once

#include <cstdint>

namespace hv {

// The receiver maker's USB vendor id.
constexpr uint16_t kReceiverVendorId = 0x2A4E;
// Product ids: "Ezxmt" devices and every other receiver.
constexpr uint16_t kReceiverProductXmt = 0x0201;
constexpr uint16_t kReceiverProductUsb = 0x0102;
// The receivers' bulk IN endpoint for samples.
constexpr unsigned char kReceiverBulkInEndpoint = 0x86;

}  // namespace hv
