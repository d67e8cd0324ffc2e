// NetInterface: a network receiver on TCP port 5041.
//
// The stream: after the connection is made the receiver sends 16-bit
// little-endian two's-complement samples, one channel at 250000 per second,
// with no framing and no header; the program sends nothing. The connection
// ending or failing is the loss of the receiver. Bytes are handed on as they
// arrive, so a delivery may end inside a sample.
//
// Receiving costs a wake-up and a system call per receive, so the interface
// takes everything the socket holds in one receive and, once the stream flows,
// reads on a fixed cadence (setReadCadence: about 8 ms of the stream): it
// sleeps until the next read time and then takes what has arrived without
// waiting. A sample therefore waits at most one period in the socket, and the
// thread wakes once a period whatever the sender's segment sizes. (Waking on
// an amount with SO_RCVLOWAT did not hold: with a receiver's 1 KB segments
// the kernel still woke the reader for most segments.) A reader that finds
// itself behind (a backlog after a stall, a sender faster than its rate)
// reads again at once until it has caught up. A read that finds
// nothing means the stream paused: the interface then waits for the first
// byte again, kNetPollMs at a time, so a silent receiver costs ten wake-ups a
// second.
//
// Every wait is bounded for the sake of shutdown: a connect gives up after
// kNetConnectLimitMs, and a receive waits at most kNetPollMs (a read while
// flowing, one period) before returning, so its caller looks at the run flag
// at least that often. A connected receiver that stays silent for
// kNetSilenceLimitMs counts as lost: a live receiver delivers a block every
// 2 ms, so two seconds of silence means a hung receiver or a broken path, and
// reconnecting is the only remedy.
#pragma once

#include <chrono>
#include <cstdint>

namespace hv {

constexpr int kNetReceiverPort = 5041;
constexpr int kNetConnectLimitMs = 2000;
constexpr int kNetPollMs = 100;
constexpr int kNetSilenceLimitMs = 2000;

class NetInterface {
 public:
  NetInterface() = default;
  virtual ~NetInterface();
  NetInterface(const NetInterface&) = delete;
  NetInterface& operator=(const NetInterface&) = delete;

  // "IP" followed by a dotted IPv4 address.
  virtual bool open(const char* deviceName);
  virtual void close();
  // 1 "MRW", 2 "HX302RevN".
  virtual bool getString(int index, char* dest, int size);
  // One receive of at most `size` bytes; true when at least one byte arrived.
  // False with lost() false: nothing arrived within kNetPollMs, or within a
  // period while flowing (try again).
  virtual bool receive(void* dest, int& size, int* count);
  // While the stream flows, read every `ms` milliseconds (0: wake for every
  // arrival, the default); `bytes` is what the stream brings in a period (0:
  // unknown). A read that brings more than twice that, or fills the buffer,
  // is followed by the next one at once. Takes effect with the next receive.
  void setReadCadence(int ms, int bytes) {
    readPeriodMs_ = ms > 0 ? ms : 0;
    periodBytes_ = bytes > 0 ? bytes : 0;
  }
  virtual bool send(const void* source, int& size, int* count);
  virtual bool setupRequest() { return false; }
  virtual bool submitRequest() { return false; }

  bool isOpen() const { return socket_ >= 0; }
  // The connection closed, failed or stayed silent too long.
  bool lost() const { return lost_; }
  // Why, in a few words ("" while not lost).
  const char* lostReason() const { return lost_ ? lostReason_ : ""; }

 private:
  void markLost(const char* reason);
  // Waits for the first byte (at most kNetPollMs); false when none came.
  bool waitForData();
  // One receive of all that waits, without waiting; false when nothing did
  // (or the connection ended: lost() says which).
  bool take(void* dest, int size, int* count);
  bool Behind(int count, int size) const;

  int socket_ = -1;
  bool lost_ = false;
  const char* lostReason_ = "";
  int readPeriodMs_ = 0;
  int periodBytes_ = 0;
  bool flowing_ = false;     // reading on the cadence; false: waiting for the first byte
  bool readAtOnce_ = false;  // the last read found the reader behind: the next one does not wait
  std::chrono::steady_clock::time_point nextRead_;  // when the next read on the cadence is due
  std::chrono::steady_clock::time_point lastData_;
};

}  // namespace hv
