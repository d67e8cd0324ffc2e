// The About window's text lines by id.
#pragma once

namespace hv {

enum AboutControl : int {
  kAboutName = 320, kAboutVersion = 321, kAboutCopyright = 322,
  kAboutCodecName = 323, kAboutCodecVersion = 324, kAboutCodecLicence = 325,
};

}  // namespace hv
