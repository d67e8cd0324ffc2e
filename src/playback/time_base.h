// Time bases of the replay: the ratio text of the 1:N box, the replay rate that
// a file's real rate and the chosen time base give, the limits of what the
// live chain can carry, and the position text of the Playback window.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

// Time base codes as the playback state holds them.
enum TimeBase : int { kTimeBase1to1 = 0, kTimeBase1to2 = 1, kTimeBase1toN = 2 };

// Replay rates the chain can carry (samples per second delivered into conduit1).
// Below the lower bound the pacing and the tuning path lose their meaning; above
// the upper one the tuning path's step no longer advances.
constexpr uint32_t kMinReplayRate = 1000;
constexpr uint32_t kMaxReplayRate = 2000000;

// The ratio "a:b": two decimal numbers, each with an optional fraction, both
// greater than 0. On success `n` is b / a ("1:4" gives 4).
bool ParseRatio(const std::string& text, float* n);

// The replay rate for a stream really sampled at `realRate` under time base
// `timeBase` (1:2 halves the rate, 1:N multiplies it by 1/N, both truncated),
// with `scale` the factor from replay seconds to recording seconds (1, 0.5 or
// 1/N). Returns 0 when the result would lie outside the carried range.
uint32_t ReplayRate(uint64_t realRate, int timeBase, float n, double* scale);

// "%02d:%02d:%02d": whole minutes, remaining seconds, hundredths.
std::string PositionText(double seconds);

}  // namespace hv
