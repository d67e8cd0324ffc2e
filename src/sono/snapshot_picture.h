// The picture the station writes beside each finished snapshot when the
// SnapshotPictures setting is on: same base name, ".png".
#pragma once

#include <string>

namespace hv {

// "night/0101_2030.wav" -> "night/0101_2030.png".
std::string PicturePathFor(const std::string& recording);

// Runs on the Auto Snap recording thread after the snapshot's rename (the
// application installs it as the recorder's snapshot-finished hook). Writes
// the picture when the setting is on; a failure is reported once per cause
// on the diagnostics and never stops recording. The work is bounded: at most
// kMaxFramesPerColumn windows per column of a 1024 x 400 picture plus one
// read of the file.
void WriteSnapshotPicture(const std::string& recording);

}  // namespace hv
