// Feeds arbitrary bytes to the BMP reader and touches every row it accepts.
#include <cstddef>
#include <cstdint>

#include "display/bitmap_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hv::BitmapView view;
  if (!hv::ParseBitmap(data, size, &view)) return 0;
  unsigned sum = 0;
  for (int y = 0; y < view.height; ++y) {
    const uint8_t* row = view.row(y);
    sum += row[0] + row[view.stride - 1];
  }
  return int(sum & 0);
}
