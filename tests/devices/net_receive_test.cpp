// How the network interface gathers the stream: everything waiting in one
// receive, one read per period while the stream flows (however small the
// sender's segments), never a sample held much longer than that period, and a
// quiet wait once the stream pauses. The peer is a socket in this test on
// 127.0.4.4, 127.0.4.5 or 127.0.23.4.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/station_state.h"
#include "devices/net_interface.h"

namespace hv {
namespace {

using Clock = std::chrono::steady_clock;

// ctest runs each test of this file as a process of its own, side by side with
// the others: each test listens on its own address.
std::string AddressOfThisTest() {
  static const std::map<std::string, std::string> kAddress = {
      {"TakesAllThatWaitsInOneReceiveAndHoldsNoSampleLongerThanAPeriod", "127.0.4.4"},
      {"HangUpWhileFlowingIsLossWithItsReason", "127.0.4.5"},
      {"SmallSegmentsAreReadOncePerPeriodNotOnArrival", "127.0.23.4"},
      {"ABacklogLargerThanTheBufferIsReadWithoutWaitingPeriods", "127.0.23.5"},
      {"AReaderBehindItsStreamReadsAgainAtOnceUntilCaughtUp", "127.0.23.6"},
      {"SilentReceiverWakesEveryPollAndHangUpIsLoss", "127.0.0.14"}};
  return kAddress.at(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

class NetReceive : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kNetReceiverPort);
    const std::string address = AddressOfThisTest();
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener_, 1), 0);
    g_run.store(true);
    testing::internal::CaptureStdout();
    bool opened = net_.open(("IP" + address).c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(opened);
    peer_ = accept(listener_, nullptr, nullptr);
    ASSERT_GE(peer_, 0);
  }
  void TearDown() override {
    net_.close();
    if (peer_ >= 0) close(peer_);
    close(listener_);
  }
  void Send(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(sent_++);
    ASSERT_EQ(write(peer_, bytes.data(), n), static_cast<ssize_t>(n));
  }
  // One receive: the bytes it returned (checked to continue the stream) and how long it took.
  int Receive(double* ms = nullptr) {
    int size = static_cast<int>(buffer_.size()), count = 0;
    auto t0 = Clock::now();
    received_ok_ = net_.receive(buffer_.data(), size, &count);
    if (ms) *ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    for (int i = 0; i < count; ++i) EXPECT_EQ(buffer_[i], static_cast<uint8_t>(received_++));
    return count;
  }

  NetInterface net_;
  int listener_ = -1, peer_ = -1;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(65536);
  size_t sent_ = 0, received_ = 0;
  bool received_ok_ = false;  // what the last receive returned
};

constexpr int kPeriodMs = 8;

TEST_F(NetReceive, TakesAllThatWaitsInOneReceiveAndHoldsNoSampleLongerThanAPeriod) {
  net_.setReadCadence(kPeriodMs, 0);
  Send(3);
  double ms = 0;
  EXPECT_EQ(Receive(&ms), 3);  // the stream starts: the first byte wakes it at once
  EXPECT_LT(ms, kNetPollMs / 2);
  Send(30000);
  usleep(20000);
  EXPECT_EQ(Receive(), 30000);  // all that waited, in one receive
  // Flowing: the next read comes a period later, not at the first arrival.
  Send(100);
  EXPECT_EQ(Receive(&ms), 100);
  EXPECT_GE(ms, kPeriodMs - 2);
  EXPECT_LT(ms, kNetPollMs - 10);
  Send(4000);
  EXPECT_EQ(Receive(&ms), 4000);
  // Nothing comes: the stream paused; the interface then waits a whole poll
  // interval per receive, not the short coalescing one.
  EXPECT_EQ(Receive(&ms), 0);
  EXPECT_EQ(Receive(&ms), 0);
  EXPECT_GE(ms, kNetPollMs - 10);
  EXPECT_FALSE(net_.lost());
  // And the first byte after the pause wakes it at once.
  Send(1);
  EXPECT_EQ(Receive(&ms), 1);
  EXPECT_LT(ms, kNetPollMs / 2);
  EXPECT_EQ(received_, sent_);
}

TEST_F(NetReceive, HangUpWhileFlowingIsLossWithItsReason) {
  net_.setReadCadence(kPeriodMs, 0);
  Send(10);
  EXPECT_EQ(Receive(), 10);
  Send(50);
  close(peer_);
  peer_ = -1;
  int total = 0;
  for (int i = 0; i < 5 && !net_.lost(); ++i) total += Receive();
  EXPECT_EQ(total, 50);  // what came before the end is delivered first
  EXPECT_TRUE(net_.lost());
  EXPECT_STREQ(net_.lostReason(), "the receiver closed the connection");
}

// A receiver's stream: 1000-byte segments every 2 ms for 240 ms (120 of them).
// Read on the cadence that is about 30 receives, each taking several
// segments; a reader woken on every arrival would make over a hundred.
TEST_F(NetReceive, SmallSegmentsAreReadOncePerPeriodNotOnArrival) {
  net_.setReadCadence(kPeriodMs, 0);
  constexpr int kSegments = 120;
  std::atomic<bool> done{false};
  std::thread sender([&] {
    for (int i = 0; i < kSegments; ++i) {
      Send(1000);
      usleep(2000);
    }
    done.store(true);
  });
  int receives = 0;
  auto limit = Clock::now() + std::chrono::seconds(10);
  while ((!done.load() || received_ < sent_) && Clock::now() < limit && !net_.lost())
    if (Receive() > 0) ++receives;
  sender.join();
  EXPECT_EQ(received_, size_t{1000} * kSegments);
  EXPECT_FALSE(net_.lost());
  // Up to 240 ms / 8 ms = 30 reads, with room for a loaded machine's late sends;
  // far from one receive per segment.
  EXPECT_LE(receives, 45);
  EXPECT_GE(receives, 10);
}

// After a stall the socket may hold more than one receive takes: the reads
// that come back full follow one another at once, so the backlog is gone in a
// moment rather than one buffer per period.
TEST_F(NetReceive, ABacklogLargerThanTheBufferIsReadWithoutWaitingPeriods) {
  net_.setReadCadence(kPeriodMs, 0);
  buffer_.resize(4096);
  Send(3);
  EXPECT_EQ(Receive(), 3);
  Send(40000);
  usleep(20000);
  double waited = 0;
  int full = 0;
  while (received_ < sent_) {
    double ms = 0;
    int n = Receive(&ms);
    ASSERT_GT(n, 0);
    if (n == 4096) {
      ++full;
      if (full > 1) waited += ms;  // the first full read waits its turn on the cadence
    }
  }
  EXPECT_EQ(full, 9);
  // Eight reads that each waited a period would take 64 ms.
  EXPECT_LT(waited, 3 * kPeriodMs);
}

// A read that brings more than two periods' worth of the stream means the
// reader is behind (or the sender runs faster than its rate): the next read
// follows at once; once a read comes back empty the cadence goes on (this is
// no pause of the stream).
TEST_F(NetReceive, AReaderBehindItsStreamReadsAgainAtOnceUntilCaughtUp) {
  net_.setReadCadence(kPeriodMs, 1000);
  Send(3);
  EXPECT_EQ(Receive(), 3);
  Send(5000);
  usleep(20000);
  EXPECT_EQ(Receive(), 5000);  // on the cadence, already due
  Send(3000);
  double ms = 0;
  EXPECT_EQ(Receive(&ms), 3000);  // at once: the last read was more than two periods' worth
  EXPECT_LT(ms, kPeriodMs / 2.0);
  EXPECT_EQ(Receive(&ms), 0);  // at once again, and nothing: caught up
  EXPECT_LT(ms, kPeriodMs / 2.0);
  // Still flowing: the next bytes wait for the cadence, not for their arrival.
  Send(100);
  EXPECT_EQ(Receive(&ms), 100);
  EXPECT_GE(ms, kPeriodMs - 2);
  // An amount within the stream's pace keeps the cadence.
  Send(1500);
  EXPECT_EQ(Receive(&ms), 1500);
  Send(100);
  EXPECT_EQ(Receive(&ms), 100);
  EXPECT_GE(ms, kPeriodMs - 2);
  EXPECT_FALSE(net_.lost());
}

// Without a read cadence a silent receiver returns after one poll interval;
// a hang-up is then a loss.
TEST_F(NetReceive, SilentReceiverWakesEveryPollAndHangUpIsLoss) {
  double ms = 0;
  EXPECT_EQ(Receive(&ms), 0);
  EXPECT_FALSE(received_ok_);
  EXPECT_GE(ms, 90);
  EXPECT_LT(ms, 400);
  EXPECT_FALSE(net_.lost());
  Send(3);
  EXPECT_EQ(Receive(), 3);
  EXPECT_TRUE(received_ok_);
  close(peer_);
  peer_ = -1;
  for (int i = 0; i < 20 && !net_.lost(); ++i) Receive();
  EXPECT_TRUE(net_.lost());
}

}  // namespace
}  // namespace hv
