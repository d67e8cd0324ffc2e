// Writes pictures as PNG files through libpng: 8-bit RGB, no interlace, the
// library's default compression. Pixels come in the display's layout,
// 0x00RRGGBB words, rows top-down.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

// False (with a reason in `error`) when the file cannot be made.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height, std::string* error);

}  // namespace hv
