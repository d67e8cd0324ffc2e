// The last step of acquisition: blocks from a receiver into conduit1.
//
// Receivers deliver 16-bit little-endian samples, interleaved by channel; USB
// receivers send them offset-binary (bit 7 of each high byte inverted),
// conduit1 carries two's complement. Deliveries may end inside a frame (the
// network passes bytes as they arrive; a USB transfer may come up short), so
// the feed keeps the stream frame-aligned: it writes or drops whole frames only
// and carries a split frame's leading bytes over to the next delivery.
//
// A full conduit1 loses samples. The loss is reported once per streak on the
// diagnostic output, and again when the streak ends, with the bytes lost: a
// streak ends with the first delivery taken in full a second or more after the
// last loss (or when the stream ends), so a chain that keeps up only now and
// then, or a reader that empties the conduit in one go now and then, does not
// turn every delivery into a report.
// Runs on the acquisition thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/conduit.h"
#include "core/wave_format.h"

namespace hv {

class SampleFeed {
 public:
  static constexpr double kOverrunQuietSeconds = 1.0;

  explicit SampleFeed(Conduit* conduit);
  // The clock of overrun streaks (seconds, steady); tests drive their own.
  void SetClock(double (*now)()) { now_ = now; }

  // A new stream: its format (announced before the next write) and no carry.
  // An overrun streak of the previous stream is reported as ended.
  void Start(const WaveFormat& format);
  // Announces the format again before the next write (after playback).
  void RequestAnnounce() { announce_ = true; }
  bool AnnouncePending() const { return announce_; }
  const WaveFormat& Format() const { return format_; }

  // One delivery. `dropping` (playback is active) drops whole frames and sets
  // the announce flag; `offsetBinary` converts USB samples.
  void Deliver(const uint8_t* bytes, uint32_t count, bool offsetBinary, bool dropping);

  // The stream stopped (receiver lost or closed): an overrun streak in
  // progress is reported as ended with its count.
  void EndOverrunStreak();
  bool InOverrunStreak() const { return overrunStreak_; }

  // Counters for tests and diagnostics.
  uint64_t written = 0;    // bytes accepted by the conduit
  uint64_t dropped = 0;    // bytes dropped (playback or a full conduit)
  uint64_t overrunLost = 0;     // bytes lost to a full conduit
  uint64_t overrunStreaks = 0;  // streaks of such losses begun

 private:
  Conduit* conduit_;
  WaveFormat format_ = MakeWaveFormat(250000, 1, 2, 16);
  bool announce_ = true;
  std::vector<uint8_t> staging_;
  uint32_t carry_ = 0;  // leading bytes of a split frame at the start of staging_
  bool overrunStreak_ = false;  // losses since the streak's first report
  uint64_t streakLost_ = 0;     // bytes lost in the current streak
  double lastLoss_ = 0;         // when the streak last lost bytes
  double (*now_)();
};

}  // namespace hv
