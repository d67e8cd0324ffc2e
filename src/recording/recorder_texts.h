// The window texts the recorders read and write, through the toolkit: the main
// window's device field (313), the Record Setup window's comment (388), status
// line (389) and file-name line (390), and the GPS Status window's latitude,
// longitude, altitude and fix fields (482, 484, 486, 487). Headless stations
// also print the status and file-name lines.
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

// Creates the controls above with their initial texts where their window
// exists but does not have them yet (before the windows are laid out).
void EnsureRecorderControls();

// The device text for a new recording (the played file's device during playback),
// up to 127 characters.
std::string RecorderDeviceText();
// The Record Setup comment, up to 255 characters.
std::string RecorderCommentText();
// The GPS texts (up to 31 characters each); false when there is no fix.
bool RecorderGpsTexts(std::string* latitude, std::string* longitude, std::string* altitude);

void SetRecordStatusLine(const char* text);
void SetRecordFileLine(const std::string& text);

}  // namespace hv
