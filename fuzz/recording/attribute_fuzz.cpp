// Arbitrary bytes as an attribute record: parsed, then every field the
// playback reads is looked up and its time and bias texts parsed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/sono_attribute.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // An exact-size copy so any over-read is caught.
  std::string text(reinterpret_cast<const char*>(data), size);
  hv::SonoAttribute a;
  int64_t r = 0, e = 10, k = 0;
  std::string body;
  if (!a.ParseRecord(int(text.size()), text.data(), &r, &e, &k, &body)) body = text;
  for (const char* key : {"DEV", "CMT", "DC", "UTC", "LTB", "GPS"}) {
    std::string value;
    if (!a.GetField(key, body, &value)) continue;
    hv::CalendarTime t;
    a.ParseTime(value, &t);
    uint32_t u = 0;
    a.ParseUnsigned(value, &u);
  }
  return 0;
}
