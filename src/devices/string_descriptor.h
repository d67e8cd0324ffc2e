// USB string descriptors as receivers send them. A descriptor is
//   byte 0      bLength: total length in bytes, header included
//   byte 1      bDescriptorType: 3 for a string
//   bytes 2..   the text in UTF-16LE, (bLength - 2) / 2 characters
// String 0 is special: its characters are the supported language ids.
// The receivers identify themselves with plain ASCII texts ("HX302RevN"), so
// the program keeps the low byte of each character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hv {

// The text of a descriptor received as `received` bytes into `bytes`: the low
// byte of each whole UTF-16 character after the 2-byte header, limited by both
// the descriptor's own length byte and the bytes that actually arrived, and cut
// to `maxChars` characters. A descriptor shorter than its header yields "".
std::string StringDescriptorText(const uint8_t* bytes, size_t received, size_t maxChars);

// The same text with every character outside printable ASCII replaced by '?',
// as the simple string read of the libusb layer returns it.
std::string StringDescriptorAscii(const uint8_t* bytes, size_t received, size_t maxChars);

}  // namespace hv
