#include "sono/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace hv {

namespace {

// libpng reports errors by long jump; the message is kept for the caller.
void OnPngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  if (error) *error = message ? message : "PNG error";
  std::longjmp(png_jmpbuf(png), 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The libpng part, without C++ objects that need destructors between setjmp and longjmp.
bool Encode(std::FILE* file, const png_bytep* rows, int width, int height, std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  // Spectrograms are mostly noise, which deflate barely shrinks: the fastest
  // level takes less than half the default's time for files of the same size.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (!pixels || width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    *error = "bad picture size";
    return false;
  }
  std::vector<png_byte> rgb(size_t(width) * size_t(height) * 3);
  std::vector<png_bytep> rows(static_cast<size_t>(height), nullptr);
  for (int y = 0; y < height; ++y) {
    png_bytep row = &rgb[size_t(y) * size_t(width) * 3];
    rows[size_t(y)] = row;
    const uint32_t* source = pixels + size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = png_byte(source[x] >> 16);
      row[3 * x + 1] = png_byte(source[x] >> 8);
      row[3 * x + 2] = png_byte(source[x]);
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = Encode(file, rows.data(), width, height, error);
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    *error = "cannot write " + path;
  }
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace hv
