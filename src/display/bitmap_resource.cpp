// BMP format read here (little-endian):
//   file header, 14 bytes: "BM", u32 file size, u32 reserved, u32 offset of the pixel rows;
//   info header, at least 40 bytes: u32 header size, i32 width, i32 height (negative:
//   rows stored top-down), u16 planes (1), u16 bits per pixel, u32 compression (0 = none),
//   then sizes, resolution and colour counts, which are not needed here;
//   pixel rows, each padded to a multiple of 4 bytes; 24-bit pixels are blue, green, red.
// Only uncompressed images are accepted; every size is checked against the bytes present.
#include "display/bitmap_resource.h"

#include <cstring>

#include "core/le_bytes.h"
#include "core/runtime.h"
#include "display/display_colours.h"

// The embedded resource files, placed by the assembler (see resource_data.cpp).
extern "C" const uint8_t hv_resource_103_begin[];
extern "C" const uint8_t hv_resource_103_end[];

namespace hv {

bool ParseBitmap(const uint8_t* bytes, size_t size, BitmapView* out) {
  if (!bytes || size < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  uint32_t offset = GetLe32(bytes + 10);
  uint32_t headerSize = GetLe32(bytes + 14);
  if (headerSize < 40 || 14 + uint64_t(headerSize) > size) return false;
  int32_t width = int32_t(GetLe32(bytes + 18));
  int32_t height = int32_t(GetLe32(bytes + 22));
  uint16_t planes = GetLe16(bytes + 26);
  uint16_t bits = GetLe16(bytes + 28);
  uint32_t compression = GetLe32(bytes + 30);
  if (planes != 1 || compression != 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (width <= 0 || width > 65536 || height == 0 || height < -65536 || height > 65536) return false;
  bool topDown = height < 0;
  int rows = topDown ? -height : height;
  uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  if (offset < 14 + uint64_t(headerSize) || offset > size) return false;
  if (stride * uint64_t(rows) > size - offset) return false;
  out->width = width;
  out->height = rows;
  out->bitsPerPixel = bits;
  out->topDown = topDown;
  out->stride = size_t(stride);
  out->rows = bytes + offset;
  return true;
}

bool FindBitmapResource(int id, BitmapView* out) {
  if (id == 103)
    return ParseBitmap(hv_resource_103_begin, size_t(hv_resource_103_end - hv_resource_103_begin), out);
  return false;
}

std::vector<uint32_t> BuildWindowBackground(int resourceId, int width, int height) {
  std::vector<uint32_t> pixels(size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0),
                               kButtonFacePixel);
  BitmapView bmp;
  if (!FindBitmapResource(resourceId, &bmp)) return pixels;
  if (bmp.bitsPerPixel != 24) {
    DiagPrint("Unsupported BMP format BPP: \n");
    return pixels;
  }
  int rows = height < bmp.height ? height : bmp.height;
  int columns = width < bmp.width ? width : bmp.width;
  for (int y = 0; y < rows; ++y) {
    const uint8_t* src = bmp.row(y);
    for (int x = 0; x < columns; ++x) {
      uint8_t blue = src[3 * x], green = src[3 * x + 1], red = src[3 * x + 2];
      if (blue == 255 && green == 255) continue;
      pixels[size_t(y) * width + x] = PackPixel(red, green, blue);
    }
  }
  return pixels;
}

}  // namespace hv
