// The last step of acquisition: blocks from a receiver into conduit1.
//
// Receivers deliver 16-bit little-endian samples, interleaved by channel; USB
// receivers send them offset-binary (bit 7 of each high byte inverted),
// conduit1 carries two's complement. Deliveries may end inside a frame (the
// network passes bytes as they arrive; a USB transfer may come up short), so
// the feed keeps the stream frame-aligned: it writes or drops whole frames only
// and carries a split frame's leading bytes over to the next delivery.
// Runs on the acquisition thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/conduit.h"
#include "core/wave_format.h"

namespace hv {

class SampleFeed {
 public:
  explicit SampleFeed(Conduit* conduit) : conduit_(conduit) {}

  // A new stream: its format (announced before the next write) and no carry.
  void Start(const WaveFormat& format);
  // Announces the format again before the next write (after playback).
  void RequestAnnounce() { announce_ = true; }
  bool AnnouncePending() const { return announce_; }
  const WaveFormat& Format() const { return format_; }

  // One delivery. `dropping` (playback is active) drops whole frames and sets
  // the announce flag; `offsetBinary` converts USB samples.
  void Deliver(const uint8_t* bytes, uint32_t count, bool offsetBinary, bool dropping);

  // Counters for tests and diagnostics.
  uint64_t written = 0;   // bytes accepted by the conduit
  uint64_t dropped = 0;   // bytes dropped (playback or a full conduit)

 private:
  Conduit* conduit_;
  WaveFormat format_ = MakeWaveFormat(250000, 1, 2, 16);
  bool announce_ = true;
  std::vector<uint8_t> staging_;
  uint32_t carry_ = 0;  // leading bytes of a split frame at the start of staging_
  bool overrunStreak_ = false;  // the last delivery did not fit (reported once per streak)
};

}  // namespace hv
