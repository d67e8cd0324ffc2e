// A simulated EZ-USB driver for tests: receivers with string descriptors and a
// sample source, failures per request, short and paced completions and stalls.
// Overlapped bulk reads complete in issue order on the driver's own completion
// thread; the test keeps a shared pointer to steer it from another thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devices/ezusb_driver.h"

namespace hv {

struct SimEzusbDevice {
  std::vector<std::string> strings;  // string indexes 1..
  int rawIndex = -1;                 // string index answered with `raw` instead
  std::vector<uint8_t> raw;
  bool failOpen = false;
  bool failStrings = false;
  std::function<void(uint8_t*, int)> source;  // fills one bulk read
  // When positive, the receiver's stream rate: bulk reads complete as the
  // stream would fill them, on the steady clock (paceMicros is then unused).
  uint32_t bytesPerSecond = 0;
};

class SimEzusbDriver : public EzusbDriver {
 public:
  SimEzusbDriver();
  ~SimEzusbDriver() override;

  // Device "\\.\Ezusb-N" is the N-th added one that is present.
  int Add(SimEzusbDevice device);
  void Remove(int index);

  std::atomic<long> blockBudget{-1};      // reads that may still complete (-1 unlimited)
  std::atomic<int> shortLength{0};        // when positive, reads complete with this many bytes
  std::atomic<int> paceMicros{0};         // pause between completions
  // A completion thread held up (a loaded machine) catches up on its stream's
  // clock by at most this much in one burst; the rest is later, not faster.
  static constexpr int kMostCatchUpMicros = 20000;
  std::atomic<bool> failAsync{false};     // refuse overlapped reads
  std::atomic<int> opens{0}, openHandles{0}, outstanding{0}, maxOutstanding{0}, completed{0}, cancelled{0};
  std::atomic<int> requests{0};           // every request received

  int Open(const std::string& path, bool overlapped) override;
  void Close(int handle) override;
  bool DeviceControl(int handle, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* returned, EzusbCompletion* completion) override;

 private:
  struct Pending {
    int handle;
    uint8_t* buffer;
    uint32_t size;
    EzusbCompletion* completion;
  };
  void CompletionLoop();
  SimEzusbDevice* DeviceOf(int handle);

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::pair<bool, SimEzusbDevice>> devices_;
  std::vector<int> handles_;  // handle -> device index, -1 when closed
  std::deque<Pending> pending_;
  bool busy_ = false;  // the completion thread works on a request outside the lock
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace hv
