// Display switches shared between the Tessagram window and the display thread.
#pragma once

#include <atomic>

namespace hv {

// Tessagram Pause button: while set no new capture starts (a running one completes).
extern std::atomic<bool> g_spectrogramPaused;

}  // namespace hv
