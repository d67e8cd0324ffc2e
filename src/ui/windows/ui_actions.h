// Small user-interface actions shared by the windows and the worker threads:
// showing and hiding tool windows, the output file and the Record button rule,
// starting and stopping a recording on the interface side, the record mode,
// window titles (device and power save) and the device choice.
// Everything here runs on the main thread unless noted.
#pragma once

#include <string>

#include "ui/windows/main_window_controls.h"

struct XsWindow;

namespace hv {

// Tool windows are named by their Window menu item (kToolPlayback ..).
void ShowToolWindow(int menuId);
void HideToolWindow(int menuId);
XsWindow* ToolWindowFor(int menuId);

// The recording base path (the output file path) and its folder; shared with
// the recorders, which read them on their own threads.
std::string OutputPath();
std::string OutputDirectory();
void SetOutputPathValue(const std::string& path);

// Save dialog for the output file; on OK the path and folder are taken, on
// cancel the path is cleared. Updates the file field and the Record button rule.
bool ChooseOutputFile();
// Takes a given path (operation timer programs) and updates the field and the rule.
void SetOutputFile(const std::string& path, const std::string& directory);
// The mode as the windows show it: Continuous, Auto Snap and Buffered Snap are
// themselves; every other value shows as Audio and is treated as Audio.
int ShownRecordMode(int mode);
// Enables the Record button and menu item only when there is an output path, no
// recording runs, and the audio is on or the mode (as shown) is not Audio.
void RefreshRecordButtonRule();
// The record prompt of File/Record... and the File... button.
void RecordPrompt();
// Interface side of starting and stopping: buttons, menu items, Record switch.
void StartRecordingUi();
void StopRecordingUi();
// Stores the mode (1..4), checks its menu item, shows it in the mode field, shows or hides
// Record Setup and sets its control groups, then refreshes the Record button.
void SetRecordMode(int mode);
// Enables the Record Setup control groups of the mode.
void ApplyRecordSetupGroups(int mode);

// Titles with the device name ("Halvane [usb-0]"), or the plain titles.
void SetDeviceTitles(bool receiverFound);
// Selects a receiver by device name and checks exactly one device menu item.
void SelectDevice(const std::string& deviceName);
// Response (Natural / Compensated) and time standard menu actions.
void SetResponse(bool compensated);
void SetTimeStandard(int standard);

// Folder browser for the archive directory ("/" appended); false when cancelled.
bool ChooseArchiveDirectory();

}  // namespace hv

namespace hv {
// File/Save Settings: saves settings and history now, with the warning box on failure.
void SaveSettingsNow();
}  // namespace hv
