// The Playback window: choose a recording, play, pause and stop its replay,
// loop it, and pick the time base (1:1, 1:2 or 1:N). Runs on the
// user-interface thread; the playback thread reaches it only through the stop
// action and the position display it installs.
#pragma once

#include <string>

struct XsWindow;

namespace hv {

// The window's event handler (user-interface thread).
int PlaybackWindowHandler(XsWindow* window, int event, int* data);
// Adds the controls to g_playbackWindow (made by the window-set start-up with
// the handler above) and installs the playback thread's stop action and
// position display.
void BuildPlaybackWindow(XsWindow* window);
// Creates the window (hidden) with its title, size and place, sets
// g_playbackWindow and builds it: for a station without the whole window set.
XsWindow* CreatePlaybackWindow();

// Window menu: shows the window, checks menu item 240 and turns the playback
// mode on (the replay, not the receiver, then feeds conduit1); ShowToolWindow.
void ShowPlaybackWindow();
// As the close box: refused with a message box while a file plays or is
// paused; otherwise stops, hides the window, unchecks 240 and turns the
// playback mode off. Returns whether the window was hidden.
bool HidePlaybackWindow();

// File/Playback...: the open dialog, then the window is shown. While a file
// plays or is paused, cancelling keeps it playing and another file stops the
// replay before it is selected.
void ChoosePlaybackFile();

// Command line: selects `file`, sets loop and time base ("1:1", "1:2" or "1:N";
// empty keeps the window's choice), shows the window and starts playing.
// False when the file could not be selected or the time base is refused.
bool StartPlaybackFromCommandLine(const std::string& file, bool loop, const std::string& timeBase);

}  // namespace hv
