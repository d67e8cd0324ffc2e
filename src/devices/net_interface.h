// NetInterface: a network receiver on TCP port 5041.
//
// The stream: after the connection is made the receiver sends 16-bit
// little-endian two's-complement samples, one channel at 250000 per second,
// with no framing and no header; the program sends nothing. The connection
// ending or failing is the loss of the receiver. Bytes are handed on as they
// arrive, so a delivery may end inside a sample.
//
// Receiving costs a wake-up and two system calls per receive, so the interface
// takes everything the socket holds in one receive and, once the stream flows,
// asks the kernel (SO_RCVLOWAT) to wake it only when a useful amount has come
// (setWakeBytes: about 8 ms of the stream). A receive then waits at most
// kNetCoalesceMs for that amount and takes whatever has arrived, so no sample
// waits longer than that in the socket. When nothing at all arrived within that
// wait, the stream has paused: the interface wakes on the first byte again and
// waits kNetPollMs at a time, so a silent receiver costs ten wake-ups a second.
//
// Every wait is bounded for the sake of shutdown: a connect gives up after
// kNetConnectLimitMs, and a receive waits at most kNetPollMs before returning
// with nothing, so its caller looks at the run flag at least that often. A
// connected receiver that stays silent for kNetSilenceLimitMs counts as lost: a
// live receiver delivers a block every 2 ms, so two seconds of silence means a
// hung receiver or a broken path, and reconnecting is the only remedy.
#pragma once

#include <chrono>
#include <cstdint>

namespace hv {

constexpr int kNetReceiverPort = 5041;
constexpr int kNetConnectLimitMs = 2000;
constexpr int kNetPollMs = 100;
constexpr int kNetSilenceLimitMs = 2000;
constexpr int kNetCoalesceMs = 10;

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
  // False with lost() false: nothing arrived within kNetPollMs (try again).
  virtual bool receive(void* dest, int& size, int* count);
  // Wake for at least `bytes` while the stream flows (1: for every arrival,
  // the default). Takes effect with the next receive.
  void setWakeBytes(int bytes) { wakeBytes_ = bytes > 1 ? bytes : 1; }
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
  // Wakes for wakeBytes_ (on) or for every arrival (off). False when refused.
  bool setCoalescing(bool on);

  int socket_ = -1;
  bool lost_ = false;
  const char* lostReason_ = "";
  int wakeBytes_ = 1;
  bool coalescing_ = false;  // SO_RCVLOWAT set to wakeBytes_ (the stream flows)
  std::chrono::steady_clock::time_point lastData_;
};

}  // namespace hv
