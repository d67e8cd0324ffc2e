// Conduit: a single-writer, single-reader byte ring with a format record and an
// in-band format change. The writer announces a new format at the current end of
// the stream; the reader sees "not initialised" exactly when it has consumed every
// byte written before the announcement, takes the format and reads on.
//
// No lock on the data path: each side owns one position, published with release
// and read by the other side with acquire. Announce, take and the writer's view
// of the pending block size are serialised by a small lock (the writer reads a
// copy of the block size kept in an atomic, updated under that lock).
// A reader may wait for data (WaitReadable): it says how many bytes it needs,
// and the writer wakes it only once that many are waiting, so an idle or
// slowly filling conduit costs its reader no polling. A station change (the
// run flag falling, a switch; core/station_change.h) ends every reader's wait.
//
// One writer at a time: a thread's first Write or AnnounceFormat takes the
// writer's turn when no thread holds it, and keeps it until it calls
// EndWriterTurn. A write from another thread while the turn is held is a
// fault of the caller (two writers on one ring corrupt it): it is counted,
// reported once per conduit, and done as asked. Conduit1, which the
// acquisition and playback threads feed by turns, relies on this check.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/wave_format.h"

namespace hv {

constexpr uint32_t kStatusOk = 0;
constexpr uint32_t kStatusFail = 0x80004005;
constexpr uint32_t kStatusBadArgument = 0x80070057;
constexpr uint32_t kStatusNotInitialized = 0x800401F0;  // CO_E_NOTINITIALIZED

// Wait of a reader that also keeps duties of its own in time (a recording open
// while no data comes); writers, announcements and station changes end it sooner.
constexpr int kReaderWaitMs = 50;
// Wait of a reader with nothing to do but read: data, a format announcement, a
// station change or Wake end it. The bound only guards against a wake-up that
// never comes; it is no polling period.
constexpr int kReaderIdleWaitMs = 5000;

class Conduit {
 public:
  Conduit() = default;
  ~Conduit();
  Conduit(const Conduit&) = delete;
  Conduit& operator=(const Conduit&) = delete;

  // Points the current format at `format` (no copy; the caller keeps it alive),
  // allocates `capacity` zero bytes, empties the ring and drops any pending format.
  // Called once per conduit, before any reader or writer runs.
  uint32_t Create(uint32_t capacity, WaveFormat* format);
  bool IsCreated() const { return buffer_ != nullptr; }
  uint32_t Capacity() const { return capacity_; }

  // Writer: the new format takes effect at the current write position.
  uint32_t AnnounceFormat(const WaveFormat& format);
  // For a conduit on which both sides announce (the recording conduit): an
  // announcement that never replaces one the reader has not yet taken. False,
  // with nothing changed, while an earlier announcement is pending.
  bool TryAnnounceFormat(const WaveFormat& format);
  // Reader: marks the current end of the stream by announcing the format in
  // force there once more, so the reader learns when it has read every byte
  // written before now. False, with nothing changed, while a format change is
  // pending (that change comes first; the reader places its mark after it).
  bool PlaceMark();
  // True while an announced format waits for the reader to take it.
  bool FormatPending() const;
  // Reader: at the mark, makes the pending format current. Returns the current
  // record (none if the conduit was never created).
  WaveFormat* TakeFormat();
  // Reader: the format in force at the read position, nothing taken (none if
  // the conduit was never created).
  const WaveFormat* CurrentFormat() const { return current_; }
  // Free space for the writer: what Write would accept now (it keeps one block
  // of the pending format, or else of the current one, free).
  uint32_t Space(int64_t* space) const;
  // Accepts min(count, space) bytes; never blocks or overwrites unread bytes.
  uint32_t Write(uint32_t count, const void* bytes, uint32_t* accepted);
  // Without a mark: exactly `count` bytes or nothing. With a mark: up to the
  // mark, and kStatusNotInitialized (0 bytes) when standing at it.
  uint32_t Read(uint32_t count, void* dest, uint32_t* bytesRead);
  // Empties the ring (pending format and mark are left as they are).
  uint32_t Reset();
  // Bytes waiting for the reader.
  uint32_t Available() const;
  // Reader: waits up to `milliseconds` until at least `bytes` bytes or a format
  // mark are waiting, or someone calls Wake. Without `bytes`, as many as the
  // read that last came back empty asked for (at least one). Returns at once
  // when that is already so, and when Wake was called since the reader's last
  // wait ended (a change made while the reader was busy is never slept
  // through). Spurious returns are harmless.
  void WaitReadable(int milliseconds, uint32_t bytes = 0);
  // Ends a reader's wait, or its next one (announcements, station changes).
  void Wake();
  // Wakes the reader of every created conduit (a station change).
  static void WakeAllReaders();

  // Writer's turn (see the top of this file). True when the calling thread
  // holds the turn: it had it, or no one did and it takes it now.
  bool TakeWriterTurn();
  // The calling thread gives its turn up; nothing happens when it holds none.
  void EndWriterTurn();
  // Writes and announcements made while another thread held the turn.
  uint64_t WriterCollisions() const { return collisions_.load(std::memory_order_relaxed); }

 private:
  uint32_t Distance(uint32_t from, uint32_t to) const {
    return to >= from ? to - from : capacity_ - from + to;
  }
  int64_t SpaceFor(uint32_t read, uint32_t write, uint32_t block) const;
  // Takes the turn or counts a collision; called by Write and AnnounceFormat.
  void CheckWriter();

  WaveFormat* current_ = nullptr;
  uint8_t* buffer_ = nullptr;
  uint32_t capacity_ = 0;

  alignas(64) std::atomic<uint32_t> readPos_{0};   // owned by the reader
  alignas(64) std::atomic<uint32_t> writePos_{0};  // owned by the writer
  alignas(64) std::atomic<int64_t> mark_{-1};      // write position at the announcement, or -1
  std::atomic<uint32_t> pendingBlock_{0};          // block size of the pending format, 0 if none
  std::atomic<uint32_t> currentBlock_{0};          // block size of the current format

  mutable std::mutex formatLock_;
  WaveFormat* pending_ = nullptr;  // guarded by formatLock_

  std::mutex wakeLock_;
  std::condition_variable wake_;
  uint64_t wakeCount_ = 0;                  // guarded by wakeLock_; counts Wake calls
  uint64_t wakeSeen_ = 0;                   // guarded by wakeLock_; the count when the last wait ended
  std::atomic<uint32_t> readerWants_{0};    // bytes a waiting reader needs, 0 if none waits
  std::atomic<uint32_t> lastAsked_{1};      // reader's own: the count of its last unserved read

  std::atomic<uintptr_t> writer_{0};        // the thread holding the writer's turn, 0 if none
  std::atomic<uint64_t> collisions_{0};
};

}  // namespace hv
