// The shared playback state: written by the Playback window (user-interface
// thread) and read by the playback thread, or written by the thread and read by
// the recorders, the conditioning and spectrum threads and the Record Setup
// window. Single values are atomics; texts are SharedText.
//
// The replayed stream's rate (samples per second delivered into conduit1),
// channel count and device (DEV of the selected file) are the recorders'
// g_playbackStreamRate, g_playbackStreamChannels and g_playbackDeviceText
// (recording/recorder_texts.h); playback writes them.
//
// The playback mode (g_playbackActive) says that the playback thread, not the
// acquisition thread, writes conduit1. Turning it off stops the replay first and
// clears the flag only once the playback thread has stopped writing, so that the
// two writers never overlap.
#pragma once

#include <atomic>
#include <string>

#include "core/station_state.h"

namespace hv {

enum PlaybackCommand : int { kPlaybackStop = 0, kPlaybackPlay = 1, kPlaybackPause = 2 };

struct PlaybackState {
  // The idle playback thread waits for changes of the command (station changes).
  NotifyingAtomic<int> command{kPlaybackStop};
  SharedText filePath;                 // the selected file; empty when none
  std::atomic<bool> loop{false};
  std::atomic<int> timeBase{0};        // TimeBase: 0 = 1:1, 1 = 1:2, 2 = 1:N
  std::atomic<float> ratio{4.0f};      // N of the 1:N time base
  // Written by the playback thread: the replay position in recording seconds.
  std::atomic<double> position{0.0};
  // Set when Record is to take the replay from its first sample (the command
  // line with both a file to play and a file to record): the playback thread
  // turns Record on once the file is open and its stream time stands, and waits
  // for the recorder's start mark before it replays a sample.
  std::atomic<bool> recordFromStart{false};
  // Written by the playback thread: replays refused (a file that is not one, or
  // not playable) or cut short by a read error, since the start.
  std::atomic<int> failures{0};
  // Set when the replay is the only job of the run (a headless command line):
  // a failed replay then ends the run, as nothing else was asked for.
  std::atomic<bool> endRunOnFailure{false};
};

extern PlaybackState g_playback;

// Performs the window's Stop action: command stop and the controls of a stopped
// replay. The Playback window installs it; without a window only the command changes.
using PlaybackStopAction = void (*)();
void SetPlaybackStopAction(PlaybackStopAction action);
void PerformPlaybackStop();

// Shows the replay position ("%02d:%02d:%02d" text); the Playback window
// installs it. Called on the playback thread whenever the text changes.
using PlaybackPositionDisplay = void (*)(const char* text);
void SetPlaybackPositionDisplay(PlaybackPositionDisplay display);
void ShowPlaybackPosition(const char* text);

// Turns the playback mode on: the acquisition thread stands still and the
// recorders take rate, device and time from the replay.
void PlaybackModeOn();
// Stops the replay and turns the playback mode off. While the playback thread
// runs, it clears the flag itself at the end of its current pass (a few ms);
// otherwise the flag falls at once.
void PlaybackModeOff();

// The selected file's start stream time (set when a file's information is read;
// published at once while the playback mode is on, else when it is turned on).
void SetSelectedStreamTime(const StreamTime& t);

// Playback thread side.
// Registers the running thread (mode-off requests are then left to it).
void PlaybackThreadStarted();
// Called at the end of the thread; completes a pending mode-off request.
void PlaybackThreadEnded();
// Called by the thread at points where it is not writing conduit1: completes a
// pending mode-off request. Returns true when the playback mode is (still) on.
bool PlaybackThreadIdlePoint();

}  // namespace hv
