#include "playback/playback_state.h"

#include <mutex>

namespace hv {

PlaybackState g_playback;

namespace {

std::atomic<PlaybackStopAction> s_stopAction{nullptr};
std::atomic<PlaybackPositionDisplay> s_positionDisplay{nullptr};

// Guards the mode transitions below; held only for a few plain assignments.
std::mutex s_modeLock;
bool s_threadRunning = false;
bool s_offRequested = false;
bool s_haveSelectedTime = false;
StreamTime s_selectedTime;

// Under s_modeLock. On the playback thread it first gives up conduit1's
// writer's turn (elsewhere that does nothing: the thread holds no turn once it
// has ended), so that the acquisition thread, which writes again once the flag
// has fallen, finds the turn free.
void FinishModeOff() {
  s_offRequested = false;
  conduit1.EndWriterTurn();
  // Release pairs with the acquisition thread's acquire load of the flag.
  g_playbackActive.store(false, std::memory_order_release);
  ClearReplayedStreamTime();
}

}  // namespace

void SetPlaybackStopAction(PlaybackStopAction action) { s_stopAction.store(action); }

void PerformPlaybackStop() {
  g_playback.command.store(kPlaybackStop, std::memory_order_relaxed);
  if (PlaybackStopAction action = s_stopAction.load()) action();
}

void SetPlaybackPositionDisplay(PlaybackPositionDisplay display) { s_positionDisplay.store(display); }

void ShowPlaybackPosition(const char* text) {
  if (PlaybackPositionDisplay display = s_positionDisplay.load()) display(text);
}

void PlaybackModeOn() {
  std::lock_guard<std::mutex> guard(s_modeLock);
  s_offRequested = false;
  if (s_haveSelectedTime) SetReplayedStreamTime(s_selectedTime);
  g_playbackActive.store(true, std::memory_order_relaxed);
}

void PlaybackModeOff() {
  g_playback.command.store(kPlaybackStop, std::memory_order_relaxed);
  std::lock_guard<std::mutex> guard(s_modeLock);
  if (s_threadRunning)
    s_offRequested = true;
  else
    FinishModeOff();
  NotifyStationChange();  // the idle playback thread finishes the request
}

void SetSelectedStreamTime(const StreamTime& t) {
  std::lock_guard<std::mutex> guard(s_modeLock);
  s_selectedTime = t;
  s_haveSelectedTime = true;
  if (g_playbackActive.load(std::memory_order_relaxed) && !s_offRequested) SetReplayedStreamTime(t);
}

void PlaybackThreadStarted() {
  std::lock_guard<std::mutex> guard(s_modeLock);
  s_threadRunning = true;
}

void PlaybackThreadEnded() {
  std::lock_guard<std::mutex> guard(s_modeLock);
  conduit1.EndWriterTurn();
  s_threadRunning = false;
  if (s_offRequested) FinishModeOff();
}

bool PlaybackThreadIdlePoint() {
  std::lock_guard<std::mutex> guard(s_modeLock);
  if (s_offRequested) FinishModeOff();
  return g_playbackActive.load(std::memory_order_relaxed);
}

}  // namespace hv
