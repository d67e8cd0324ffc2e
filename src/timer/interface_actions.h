// Recording controls of the main window as the operation timer drives them:
// set the output file (the recording base path), start and stop recording on
// the interface side. The recording threads react to the Record switch.
#pragma once

#include <string>

namespace hv {

// Makes `path` the recording base path (g_recordBasePath) and `directory` the output folder, then
// updates the main window's file text (301) and the Record enable rule.
void UiSetOutputFile(const std::string& path, const std::string& directory);
// Start recording: buttons 300/302 off, 303 on, the menu items of a running
// recording, then the Record switch on.
void UiStartRecording();
// Stop recording: the reverse, then the Record switch off.
void UiStopRecording();

}  // namespace hv
