#include "devices/string_descriptor.h"

namespace hv {

std::string StringDescriptorText(const uint8_t* bytes, size_t received, size_t maxChars) {
  std::string text;
  if (!bytes || received < 2) return text;
  size_t length = bytes[0];
  if (length > received) length = received;
  if (length < 2) return text;
  size_t chars = (length - 2) / 2;
  if (chars > maxChars) chars = maxChars;
  text.reserve(chars);
  for (size_t i = 0; i < chars; ++i) text.push_back(static_cast<char>(bytes[2 + 2 * i]));
  return text;
}

std::string StringDescriptorAscii(const uint8_t* bytes, size_t received, size_t maxChars) {
  std::string text;
  if (!bytes || received < 2) return text;
  size_t length = bytes[0];
  if (length > received) length = received;
  if (length < 2) return text;
  size_t chars = (length - 2) / 2;
  if (chars > maxChars) chars = maxChars;
  for (size_t i = 0; i < chars; ++i) {
    uint8_t lo = bytes[2 + 2 * i], hi = bytes[3 + 2 * i];
    text.push_back(hi == 0 && lo >= 0x20 && lo < 0x7F ? static_cast<char>(lo) : '?');
  }
  return text;
}

}  // namespace hv
