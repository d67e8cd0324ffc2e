// Build-time tool: draws the Spectral Trace window's background picture and
// writes it as an uncompressed 24-bit BMP file (576 x 320): a red frame around
// a pale plot area (512 x 196 at (32, 32)); everything else white, which the
// window replaces by its button-face colour.
//
// BMP layout written: 14-byte file header ("BM", file size, 0, pixel offset 54),
// 40-byte info header (size 40, width, positive height = bottom-up rows, 1
// plane, 24 bits, no compression, image size, 2835 pixels/m, 0 colours), then
// the rows from the bottom up, each pixel blue, green, red, rows padded to 4 bytes.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct Rgb {
  uint8_t r, g, b;
};

Rgb PixelAt(int x, int y) {
  const int left = 32, top = 32, right = 32 + 512, bottom = 32 + 196;  // plot area, exclusive ends
  const int frame = 2;
  bool inFrame = x >= left - frame && x < right + frame && y >= top - frame && y < bottom + frame;
  bool inPlot = x >= left && x < right && y >= top && y < bottom;
  if (inPlot) {
    // A faint vertical shade so the plot is not a flat block.
    uint8_t shade = uint8_t(236 + (y - top) * 12 / 196);
    return Rgb{255, 253, shade};
  }
  if (inFrame) return Rgb{200, 0, 0};
  return Rgb{255, 255, 255};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
    return 2;
  }
  const int width = 576, height = 320;
  const uint32_t stride = (width * 3 + 3) & ~3u;
  const uint32_t imageBytes = stride * height;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + imageBytes);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, imageBytes);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int row = height - 1; row >= 0; --row) {
    size_t start = out.size();
    for (int x = 0; x < width; ++x) {
      Rgb p = PixelAt(x, row);
      out.push_back(p.b);
      out.push_back(p.g);
      out.push_back(p.r);
    }
    while (out.size() - start < stride) out.push_back(0);
  }
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 1;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return (std::fclose(f) == 0 && ok) ? 0 : 1;
}
