#include "sono/snapshot_picture.h"

#include "core/runtime.h"
#include "settings/settings.h"
#include "sono/sono_picture.h"

namespace hv {

std::string PicturePathFor(const std::string& recording) {
  const size_t slash = recording.find_last_of('/');
  const size_t dot = recording.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return recording + ".png";
  return recording.substr(0, dot) + ".png";
}

void WriteSnapshotPicture(const std::string& recording) {
  if (recording.empty() || !g_settings.SnapshotPictures.load(std::memory_order_relaxed)) return;
  SonoOptions options;
  options.brightness = g_settings.SonoBrightness.load(std::memory_order_relaxed);
  options.contrast = g_settings.SonoContrast.load(std::memory_order_relaxed);
  std::string error;
  if (!WriteSonoPicture(recording, PicturePathFor(recording), options, &error))
    DiagPrint("Snapshot picture not written: %s\n", error.c_str());
}

}  // namespace hv
