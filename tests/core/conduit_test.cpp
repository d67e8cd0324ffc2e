// Conduit behaviour: all-or-nothing reads, the writer's safety gap, wrap-around,
// in-band format changes, and a two-thread stress run checking every byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "core/conduit.h"

namespace hv {
namespace {

WaveFormat Format(uint32_t rate, uint16_t block) { return MakeWaveFormat(rate, 1, block, block * 8); }

// A conduit created over a format record of its own (it keeps a pointer to it).
struct Ring : Conduit {
  Ring(uint32_t capacity, uint32_t rate, uint16_t block) : f(Format(rate, block)) {
    EXPECT_EQ(Create(capacity, &f), kStatusOk);
  }
  WaveFormat f;
};

TEST(Conduit, EveryOperationOnAnUncreatedConduitIsNotInitialised) {
  Conduit c;
  uint8_t b[4] = {};
  uint32_t n = 99;
  int64_t space = 99;
  EXPECT_EQ(c.Write(4, b, &n), kStatusNotInitialized);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(c.Read(4, b, &n), kStatusNotInitialized);
  EXPECT_EQ(c.Space(&space), kStatusNotInitialized);
  EXPECT_EQ(c.AnnounceFormat(Format(1, 2)), kStatusNotInitialized);
  EXPECT_EQ(c.Reset(), kStatusNotInitialized);
  EXPECT_EQ(c.TakeFormat(), nullptr);
  EXPECT_FALSE(c.PlaceMark());
  EXPECT_FALSE(c.TryAnnounceFormat(Format(1, 2)));
}

TEST(Conduit, ReadsWholeChunksOnlyAndWriterKeepsOneBlockFree) {
  Ring c(88200, 44100, 2);
  std::vector<uint8_t> data(88200, 7), out(1024);
  uint32_t n = 0;
  ASSERT_EQ(c.Write(88200, data.data(), &n), kStatusOk);
  EXPECT_EQ(n, 88198u) << "a full ring keeps one block between writer and reader";
  EXPECT_EQ(c.Write(2, data.data(), &n), kStatusOk);
  EXPECT_EQ(n, 0u);

  Ring small(4096, 44100, 2);
  small.Write(1023, data.data(), &n);
  EXPECT_EQ(small.Read(1024, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 0u) << "1023 available: nothing read";
  small.Write(1, data.data(), &n);
  EXPECT_EQ(small.Read(1024, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 1024u);
}

TEST(Conduit, WrapsAroundInOrder) {
  Ring c(10, 1000, 1);
  uint8_t in[7] = {1, 2, 3, 4, 5, 6, 7}, out[7] = {};
  uint32_t n = 0;
  c.Write(7, in, &n);
  c.Read(7, out, &n);
  uint8_t in2[8] = {10, 11, 12, 13, 14, 15, 16, 17}, out2[8] = {};
  c.Write(8, in2, &n);
  ASSERT_EQ(n, 8u);  // crosses the end of the ring
  c.Read(8, out2, &n);
  ASSERT_EQ(n, 8u);
  EXPECT_EQ(std::vector<uint8_t>(out2, out2 + 8), std::vector<uint8_t>(in2, in2 + 8));
}

TEST(Conduit, FormatChangeTakesEffectExactlyAtTheMarkAlsoOnAnEmptyRing) {
  Ring c(4096, 250000, 2);
  std::vector<uint8_t> data(100, 1), out(512);
  uint32_t n = 0;
  c.Write(100, data.data(), &n);
  ASSERT_EQ(c.AnnounceFormat(Format(500000, 4)), kStatusOk);
  c.Write(100, data.data(), &n);
  EXPECT_EQ(c.Read(512, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 100u) << "a read stops at the mark";
  EXPECT_EQ(c.Read(512, out.data(), &n), kStatusNotInitialized);
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(c.TakeFormat(), &c.f);
  EXPECT_EQ(c.f.sampleRate, 500000u);
  EXPECT_EQ(c.f.blockAlign, 4);
  EXPECT_EQ(c.Read(100, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 100u);
  // Announced on an empty ring: the very next read stops at the mark.
  c.AnnounceFormat(Format(100, 2));
  EXPECT_EQ(c.Read(2, out.data(), &n), kStatusNotInitialized);
  c.TakeFormat();
  EXPECT_EQ(c.f.sampleRate, 100u);
  EXPECT_EQ(c.Read(2, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 0u);
}

TEST(Conduit, LaterAnnouncementReplacesPendingOneAndPendingBlockGuardsTheGap) {
  Ring c(100, 250000, 2);
  uint8_t data[100] = {};
  uint32_t n = 0;
  c.AnnounceFormat(Format(1, 8));
  c.Write(100, data, &n);
  EXPECT_EQ(n, 92u) << "the pending format's block size is the writer's gap";
  c.AnnounceFormat(Format(2, 16));
  uint8_t out[100];
  c.Read(100, out, &n);
  EXPECT_EQ(n, 92u) << "the mark moved to the newer announcement";
  EXPECT_EQ(c.Read(100, out, &n), kStatusNotInitialized);
  c.TakeFormat();
  EXPECT_EQ(c.f.sampleRate, 2u);
}

// Two announcers on one conduit (the recording conduit): neither replaces the
// other's pending announcement, and the reader's mark carries the format in
// force at the end of the stream.
TEST(Conduit, TwoAnnouncersNeverReplaceEachOthersMark) {
  Ring c(4096, 44100, 2);
  std::vector<uint8_t> data(100, 1), out(512);
  uint32_t n = 0;
  ASSERT_TRUE(c.TryAnnounceFormat(Format(500000, 4)));  // the writer's change
  EXPECT_TRUE(c.FormatPending());
  EXPECT_FALSE(c.PlaceMark()) << "the reader's mark waits behind the change";
  EXPECT_FALSE(c.TryAnnounceFormat(Format(7, 2)));
  c.Write(100, data.data(), &n);
  EXPECT_EQ(c.Read(512, out.data(), &n), kStatusNotInitialized);
  c.TakeFormat();
  EXPECT_FALSE(c.FormatPending());
  EXPECT_EQ(c.f.sampleRate, 500000u);

  ASSERT_TRUE(c.PlaceMark());  // after the 100 bytes of the new format
  EXPECT_FALSE(c.TryAnnounceFormat(Format(250000, 2))) << "the writer waits behind the reader's mark";
  c.Write(100, data.data(), &n);
  EXPECT_EQ(c.Read(512, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 100u);
  EXPECT_EQ(c.Read(512, out.data(), &n), kStatusNotInitialized);
  c.TakeFormat();
  EXPECT_EQ(std::tuple(c.f.sampleRate, c.f.blockAlign), std::tuple(500000u, uint16_t(4)));
  EXPECT_TRUE(c.TryAnnounceFormat(Format(250000, 2)));
}

// The writer's turn: taken by the first write, refused to other threads while
// held, handed over by EndWriterTurn; a write without the turn is counted,
// whether it is a write or an announcement, and Create clears the record.
TEST(Conduit, WriterTurnIsHeldByOneThreadAndCollisionsAreCounted) {
  Ring c(4096, 44100, 2);
  std::vector<uint8_t> data(64, 1);
  uint32_t n = 0;
  auto onOtherThread = [](auto step) { std::thread t(step); t.join(); };
  c.Write(64, data.data(), &n);  // this thread takes the turn
  bool taken = true;
  onOtherThread([&] { taken = c.TakeWriterTurn(); });
  EXPECT_FALSE(taken);
  onOtherThread([&] { c.EndWriterTurn(); });  // not the holder: nothing changes
  onOtherThread([&] { c.Write(64, data.data(), &n); });
  onOtherThread([&] { c.AnnounceFormat(Format(8000, 2)); });
  EXPECT_EQ(c.WriterCollisions(), 2u);

  c.EndWriterTurn();
  onOtherThread([&] {
    EXPECT_TRUE(c.TakeWriterTurn());
    c.Write(64, data.data(), &n);
    c.EndWriterTurn();
  });
  c.Write(64, data.data(), &n);
  EXPECT_EQ(c.WriterCollisions(), 2u);
  // The reader's marks are not writes.
  onOtherThread([&] { c.PlaceMark(); });
  EXPECT_EQ(c.WriterCollisions(), 2u);

  WaveFormat f = Format(44100, 2);
  c.Create(4096, &f);
  EXPECT_EQ(c.WriterCollisions(), 0u);
  onOtherThread([&] { EXPECT_TRUE(c.TakeWriterTurn()); });
}

// A reader of whole chunks waits until its chunk is there: a part chunk does
// not wake it (no spinning), the write that completes the chunk does.
TEST(Conduit, WaitReadableWaitsForTheWholeChunk) {
  Ring c(8192, 250000, 2);
  std::vector<uint8_t> data(1024, 3), out(1024);
  uint32_t n = 0;
  c.Write(100, data.data(), &n);
  ASSERT_EQ(c.Read(1024, out.data(), &n), kStatusOk);
  ASSERT_EQ(n, 0u);
  auto start = std::chrono::steady_clock::now();
  c.WaitReadable(50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40)) << "woke for a part chunk";
  c.Read(1024, out.data(), &n);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t m = 0;
    c.Write(924, data.data(), &m);
  });
  start = std::chrono::steady_clock::now();
  c.WaitReadable(2000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000)) << "not woken by the write";
  writer.join();
  EXPECT_EQ(c.Read(1024, out.data(), &n), kStatusOk);
  EXPECT_EQ(n, 1024u);
}

// A writer sends a counter in random chunk sizes and announces formats at random
// points; the reader checks every byte and that each format starts at the exact
// byte where it was announced.
TEST(ConduitStress, TwoThreadsRandomChunksAndFormatChanges) {
  constexpr uint64_t kTotal = 20'000'000;
  Ring c(65537, 0, 1);
  std::atomic<bool> failed{false};
  // Format k is announced just before byte announceAt[k]; its rate carries k.
  std::vector<uint64_t> announceAt;
  {
    std::mt19937_64 rng(7);
    uint64_t at = 0;
    while (at < kTotal) announceAt.push_back(at += 1 + rng() % 2'000'000);
  }
  std::thread writer([&] {
    std::mt19937 rng(1);
    std::vector<uint8_t> chunk(5000);
    uint64_t sent = 0;
    size_t next = 0;
    while (sent < kTotal && !failed) {
      uint64_t limit = next < announceAt.size() ? announceAt[next] : kTotal;
      if (sent == limit) {
        c.AnnounceFormat(Format(static_cast<uint32_t>(next + 1), 1));
        ++next;
        continue;
      }
      uint32_t want = 1 + rng() % 4999;
      if (sent + want > limit) want = static_cast<uint32_t>(limit - sent);
      if (sent + want > kTotal) want = static_cast<uint32_t>(kTotal - sent);
      for (uint32_t i = 0; i < want; ++i) chunk[i] = static_cast<uint8_t>((sent + i) * 2654435761u >> 13);
      uint32_t accepted = 0;
      c.Write(want, chunk.data(), &accepted);
      sent += accepted;
      if (!accepted) std::this_thread::yield();
    }
  });
  std::mt19937 rng(2);
  std::vector<uint8_t> buf(5000);
  uint64_t got = 0;
  uint32_t expectedFormat = 0;
  int fullWaits = 0;  // waits that ran to their bound: a lost wake-up
  while (got < kTotal && !failed) {
    uint32_t want = 1 + rng() % 4999;
    if (want > kTotal - got) want = static_cast<uint32_t>(kTotal - got);
    uint32_t n = 0;
    uint32_t status = c.Read(want, buf.data(), &n);
    if (status == kStatusNotInitialized) {
      WaveFormat* now = c.TakeFormat();
      ++expectedFormat;
      if (now->sampleRate != expectedFormat || announceAt[expectedFormat - 1] != got) {
        ADD_FAILURE() << "format " << now->sampleRate << " at byte " << got;
        failed = true;
      }
      continue;
    }
    for (uint32_t i = 0; i < n; ++i) {
      if (buf[i] != static_cast<uint8_t>((got + i) * 2654435761u >> 13)) {
        ADD_FAILURE() << "wrong byte at " << got + i;
        failed = true;
        break;
      }
    }
    got += n;
    if (!n) {
      auto start = std::chrono::steady_clock::now();
      c.WaitReadable(3000, want);
      if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(2500)) ++fullWaits;
    }
  }
  writer.join();
  EXPECT_EQ(got, kTotal);
  EXPECT_EQ(fullWaits, 0);
}

TEST(Conduit, WaitingReaderWakesForItsBlockForAWakeAndForAnAnnouncement) {
  Ring c(1000, 0, 1);
  auto waited = [&](uint32_t bytes, auto&& other) {
    auto start = std::chrono::steady_clock::now();
    std::thread t(other);
    c.WaitReadable(5000, bytes);
    t.join();
    return std::chrono::steady_clock::now() - start;
  };
  const auto kPrompt = std::chrono::milliseconds(2500);
  uint8_t bytes[1000] = {};
  uint32_t accepted = 0;
  // A block written in pieces: the wait ends once the block is whole, not at
  // the first piece (a reader that returned early would spin, starving the
  // writer when it runs at real-time priority).
  auto pieces = waited(300, [&] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      c.Write(100, bytes, &accepted);
    }
  });
  EXPECT_GE(pieces, std::chrono::milliseconds(55));
  EXPECT_LT(pieces, kPrompt);
  EXPECT_EQ(c.Available(), 300u);
  // Already there: no wait at all; more than the ring holds: capped, not stuck.
  EXPECT_LT(waited(300, [] {}), kPrompt);
  EXPECT_LT(waited(5000, [&] {
              do c.Write(600, bytes, &accepted);
              while (accepted);
            }),
            kPrompt);
  uint32_t read = 0;
  ASSERT_EQ(c.Read(c.Available(), bytes, &read), kStatusOk);
  // Shutdown's wake and a format announcement end a wait on an empty ring.
  EXPECT_LT(waited(1, [&] {
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
              c.Wake();
            }),
            kPrompt);
  EXPECT_LT(waited(1, [&] {
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
              c.AnnounceFormat(Format(1, 1));
            }),
            kPrompt);
}

}  // namespace
}  // namespace hv
