// The texts the recorders read and write, in the station model: the device
// text of a new recording, the recording comment and GPS fix they read, and the
// status and file lines they publish (which the Record Setup window shows and
// a headless station prints).
#pragma once

#include <atomic>
#include <string>

#include "core/station_state.h"

namespace hv {

// What the playback thread tells the recorders while a file is replayed: the
// file's device text and the replayed stream's rate and channel count.
extern SharedText g_playbackDeviceText;
extern std::atomic<float> g_playbackStreamRate;
extern std::atomic<int> g_playbackStreamChannels;

// The device text for a new recording (the played file's device during playback),
// up to 127 characters.
std::string RecorderDeviceText();
// The recording comment, up to 255 characters.
std::string RecorderCommentText();
// The GPS texts (up to 31 characters each); false when there is no fix.
bool RecorderGpsTexts(std::string* latitude, std::string* longitude, std::string* altitude);

void SetRecordStatusLine(const char* text);
void SetRecordFileLine(const std::string& text);

}  // namespace hv
