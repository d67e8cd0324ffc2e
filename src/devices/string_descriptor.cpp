#include "devices/string_descriptor.h"

namespace hv {

namespace {

// How many whole characters of the descriptor to read: limited by its length
// byte, by the bytes that arrived and by `maxChars`; 0 without a full header.
size_t CharacterCount(const uint8_t* bytes, size_t received, size_t maxChars) {
  if (!bytes || received < 2) return 0;
  size_t length = bytes[0] < received ? bytes[0] : received;
  if (length < 2) return 0;
  size_t chars = (length - 2) / 2;
  return chars < maxChars ? chars : maxChars;
}

}  // namespace

std::string StringDescriptorText(const uint8_t* bytes, size_t received, size_t maxChars) {
  std::string text;
  const size_t chars = CharacterCount(bytes, received, maxChars);
  for (size_t i = 0; i < chars; ++i) text.push_back(static_cast<char>(bytes[2 + 2 * i]));
  return text;
}

std::string StringDescriptorAscii(const uint8_t* bytes, size_t received, size_t maxChars) {
  std::string text;
  const size_t chars = CharacterCount(bytes, received, maxChars);
  for (size_t i = 0; i < chars; ++i) {
    uint8_t lo = bytes[2 + 2 * i], hi = bytes[3 + 2 * i];
    text.push_back(hi == 0 && lo >= 0x20 && lo < 0x7F ? static_cast<char>(lo) : '?');
  }
  return text;
}

}  // namespace hv
