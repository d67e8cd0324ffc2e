// Any bytes as a received string descriptor, with any destination size.
#include <cstddef>
#include <cstdint>

#include "devices/string_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t maxChars = size > 0 ? data[0] : 0;
  const uint8_t* bytes = size > 0 ? data + 1 : data;
  size_t n = size > 0 ? size - 1 : 0;
  std::string a = hv::StringDescriptorText(bytes, n, maxChars);
  std::string b = hv::StringDescriptorAscii(bytes, n, maxChars);
  if (a.size() > maxChars || a.size() != b.size()) __builtin_trap();
  return 0;
}
