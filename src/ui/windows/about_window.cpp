#include "ui/windows/about_window.h"

#include <vector>

#include "core/station_state.h"
#include "display/display_colours.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/about_window_controls.h"
#include "ui/windows/background_art.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

std::vector<uint32_t>& Artwork() {
  static std::vector<uint32_t> pixels;
  return pixels;
}

void PaintArtwork(XsWindow* w) {
  if (Artwork().empty()) {
    Artwork() = AboutArtwork();
    ReplaceButtonFace(&Artwork(), kButtonFacePixel);
  }
  LockGuard lock(g_displayLock);
  XsDrawImage(w, Artwork().data(), 384, 384, 0, 0, -1, -1, 0, 0, -1, -1);
}

}  // namespace

void BuildAboutWindow(XsWindow* w) {
  struct Line {
    int id, top;
    const char* text;
  };
  const Line lines[] = {
      {kAboutName, 168, "Halvane - ultrasound receiver station"},
      {kAboutVersion, 192, "Version: 3.4.3"},
      {kAboutCopyright, 216, "Copyright (c) the Halvane developers"},
      {kAboutCodecName, 272, "WAVPACK - Hybrid Lossless Wavefile Compressor"},
      {kAboutCodecVersion, 296, "Version: 4.41"},
      {kAboutCodecLicence, 320, "Used under its BSD-style license"},
  };
  for (const Line& l : lines) AddControl(w, {l.id, kXsStatic, 16, l.top, 280, 24, l.text});
}

int AboutWindowHandler(XsWindow* w, int event, int*) {
  if (event == kXsPaint) PaintArtwork(w);
  if (event == kXsClose) XsQuit();
  return 0;
}

void RunAboutWindow() {
  PaintArtwork(g_aboutWindow);
  XsRunModal(g_aboutWindow);
}

}  // namespace hv
