// The two background pictures of the tool windows, drawn by the program itself:
// the About artwork (384 x 384) and the Spectral Trace background (576 x 320),
// as 32-bit top-down BGRX pixels. Pixels whose blue and green bytes are both
// 255 stand for "button face" and are replaced by the window colour.
#pragma once

#include <cstdint>
#include <vector>

namespace hv {

std::vector<uint32_t> AboutArtwork();  // 384 x 384
// Replaces every pixel whose blue and green bytes are 255 by `face` (BGRX).
void ReplaceButtonFace(std::vector<uint32_t>* pixels, uint32_t face);

}  // namespace hv
