// Pictures of many recordings at once, for a night's files at a glance: the
// recordings of the folders and files given, one picture each in an output
// folder, and what the contact sheet shows about each (start time, length,
// trigger level, calls). Pictures are never written over an input or over a file
// that is not a PNG picture.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sono/sono_picture.h"

namespace hv {

// What the contact sheet shows of one recording.
struct SheetEntry {
  std::string recording;  // the input path
  std::string picture;    // the picture's file name in the output folder
  std::string error;      // why there is no picture ("" when there is one)
  // The start time: from the attribute record or GUANO, else from the name's
  // "_DYYYYMMDDThhmmssmSSS" stamp (the station's clock, zone unknown), else
  // the file's modification time.
  enum class TimeFrom { kRecording, kName, kFile } timeFrom = TimeFrom::kFile;
  StreamTime start;
  double seconds = 0.0;  // real length
  bool hasTriggerLevel = false;
  float triggerLevel = 0.0f;  // dB, the picture's level scale
  int calls = -1;             // echolocation calls found in it; -1 when not counted
};

// The recordings among `inputs`: each file as given, and each folder's regular
// files ending in ".wav" or ".wv" (any case; not its subfolders; not files
// under a temporary ".tmp_" name), in name order. False with a reason when an
// input does not exist or a folder cannot be read.
bool CollectRecordings(const std::vector<std::string>& inputs, std::vector<std::string>* recordings,
                       std::string* error);

// Why a picture must not be written at `target` ("" when it may): the target
// is one of `inputs` (the same file by any name), its name ends in ".wav" or
// ".wv", or it exists and is not a PNG picture.
std::string PictureTargetRefusal(const std::string& target, const std::vector<std::string>& inputs);

// The picture file name for each recording: its name with ".png" in place of
// its extension; names that would meet get "-2", "-3", ... before ".png".
std::vector<std::string> PictureNames(const std::vector<std::string>& recordings);

// The "_DYYYYMMDDThhmmssmSSS" stamp at the end of a recording's name, read as
// UTC. False when the name has none or it is not a valid time.
bool TimeFromName(const std::string& path, StreamTime* time);

// The strongest level of the picture, over all bins but the lowest two, in the
// columns that show the 256 samples from sample 1024 on (where an Auto Snap
// snapshot holds the frame that started it); over the whole picture when the
// recording is shorter than that.
bool TriggerLevel(const SonoPicture& picture, float* level);

// Makes the picture of each recording into `folder` (which must exist) on up
// to `threads` threads; `progress` is called on the calling thread after each
// picture with the count done so far. Entries come back in the order of
// `recordings`; a failed or refused picture has its reason in `error`. When
// given, `countCalls` is called on the worker thread for each recording drawn
// and its result (-1: not counted) goes into the entry's `calls`.
std::vector<SheetEntry> MakePictures(const std::vector<std::string>& recordings, const std::string& folder,
                                     const SonoOptions& options, int threads,
                                     const std::function<void(size_t done, const SheetEntry& last)>& progress,
                                     const std::function<int(const std::string& recording)>& countCalls = {});

}  // namespace hv
