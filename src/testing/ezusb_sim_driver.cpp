#include "testing/ezusb_sim_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace hv {

SimEzusbDriver::SimEzusbDriver() : thread_([this] { CompletionLoop(); }) {}

SimEzusbDriver::~SimEzusbDriver() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

int SimEzusbDriver::Add(SimEzusbDevice device) {
  std::lock_guard<std::mutex> guard(lock_);
  devices_.emplace_back(true, std::move(device));
  return static_cast<int>(devices_.size()) - 1;
}

void SimEzusbDriver::Remove(int index) {
  std::lock_guard<std::mutex> guard(lock_);
  if (index >= 0 && index < static_cast<int>(devices_.size())) devices_[index].first = false;
}

SimEzusbDevice* SimEzusbDriver::DeviceOf(int handle) {
  if (handle < 0 || handle >= static_cast<int>(handles_.size())) return nullptr;
  int index = handles_[handle];
  if (index < 0 || !devices_[index].first) return nullptr;
  return &devices_[index].second;
}

int SimEzusbDriver::Open(const std::string& path, bool) {
  const std::string prefix = "\\\\.\\Ezusb-";
  if (path.rfind(prefix, 0) != 0 || path.size() != prefix.size() + 1) return -1;
  int wanted = path.back() - '0';
  std::lock_guard<std::mutex> guard(lock_);
  int seen = 0;
  for (size_t i = 0; i < devices_.size(); ++i) {
    if (!devices_[i].first) continue;
    if (seen++ != wanted) continue;
    if (devices_[i].second.failOpen) return -1;
    handles_.push_back(static_cast<int>(i));
    openHandles.fetch_add(1);
    opens.fetch_add(1);
    return static_cast<int>(handles_.size()) - 1;
  }
  return -1;
}

void SimEzusbDriver::Close(int handle) {
  std::unique_lock<std::mutex> guard(lock_);
  if (handle < 0 || handle >= static_cast<int>(handles_.size()) || handles_[handle] == -2) return;
  // Wait for a completion in progress, then fail every request still queued.
  changed_.wait(guard, [&] { return !busy_; });
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->handle != handle) {
      ++it;
      continue;
    }
    it->completion->bytes.store(0);
    it->completion->ok.store(false);
    it->completion->event.Signal();
    outstanding.fetch_sub(1);
    cancelled.fetch_add(1);
    it = pending_.erase(it);
  }
  handles_[handle] = -2;
  openHandles.fetch_sub(1);
}

bool SimEzusbDriver::DeviceControl(int handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                                   uint32_t outSize, uint32_t* returned, EzusbCompletion* completion) {
  if (returned) *returned = 0;
  std::unique_lock<std::mutex> guard(lock_);
  requests.fetch_add(1);
  SimEzusbDevice* device = DeviceOf(handle);
  if (!device) return false;
  auto* o = static_cast<uint8_t*>(out);
  switch (code) {
    case kEzusbGetStringDescriptor: {
      if (device->failStrings || inSize < 4) return false;
      int index = static_cast<const uint8_t*>(in)[0];
      std::vector<uint8_t> bytes;
      if (index == device->rawIndex) {
        bytes = device->raw;
      } else if (index == 0) {
        bytes = {4, 3, 0x09, 0x04};
      } else if (index <= static_cast<int>(device->strings.size())) {
        const std::string& s = device->strings[index - 1];
        bytes.push_back(static_cast<uint8_t>(std::min<size_t>(2 + 2 * s.size(), 254)));
        bytes.push_back(3);
        for (char c : s) bytes.push_back(static_cast<uint8_t>(c)), bytes.push_back(0);
        bytes.resize(bytes[0]);
      } else {
        return false;
      }
      uint32_t n = std::min<uint32_t>(outSize, static_cast<uint32_t>(bytes.size()));
      if (n) std::memcpy(o, bytes.data(), n);
      if (returned) *returned = n;
      return true;
    }
    case kEzusbGetDeviceDescriptor: {
      uint8_t d[18] = {18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0x4E, 0x2A, 0x02, 0x01, 0, 1, 1, 2, 0, 1};
      uint32_t n = std::min<uint32_t>(outSize, 18);
      std::memcpy(o, d, n);
      if (returned) *returned = n;
      return true;
    }
    case kEzusbResetPipe:
    case kEzusbStartIsoStream:
    case kEzusbStopIsoStream:
      return true;
    case kEzusbBulkWrite:
      if (returned) *returned = outSize;
      return true;
    case kEzusbIsoRead:
    case kEzusbReadIsoBuffer:
      std::memset(o, 0, outSize);
      if (returned) *returned = outSize;
      return true;
    case kEzusbBulkRead:
      break;
    default:
      return false;
  }
  if (!completion) {
    if (device->source) device->source(o, static_cast<int>(outSize));
    if (returned) *returned = outSize;
    return true;
  }
  if (failAsync.load()) return false;
  completion->ok.store(false);
  completion->bytes.store(0);
  pending_.push_back(Pending{handle, o, outSize, completion});
  int now = outstanding.fetch_add(1) + 1;
  int seen = maxOutstanding.load();
  while (now > seen && !maxOutstanding.compare_exchange_weak(seen, now)) {}
  guard.unlock();
  changed_.notify_all();
  return true;
}

// Runs on the simulated driver's completion thread for the driver's lifetime.
void SimEzusbDriver::CompletionLoop() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point due = Clock::now();  // when the stream has filled the reads completed so far
  std::unique_lock<std::mutex> guard(lock_);
  while (!stop_) {
    if (pending_.empty() || blockBudget.load() == 0) {
      changed_.wait_for(guard, std::chrono::milliseconds(2));
      continue;
    }
    Pending p = pending_.front();
    pending_.pop_front();
    busy_ = true;
    SimEzusbDevice* device = DeviceOf(p.handle);
    auto source = device ? device->source : nullptr;
    const uint32_t rate = device ? device->bytesPerSecond : 0;
    guard.unlock();
    uint32_t n = shortLength.load() > 0 ? std::min<uint32_t>(shortLength.load(), p.size) : p.size;
    if (rate > 0) {
      // The read completes when the stream has filled it: never ahead of the
      // stream's clock, and after a hold-up at most kMostCatchUpMicros behind.
      const Clock::time_point now = Clock::now();
      const auto catchUp = std::chrono::microseconds(kMostCatchUpMicros);
      if (due < now - catchUp) due = now - catchUp;
      due += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(n) / rate));
      std::this_thread::sleep_until(due);
    } else if (int pace = paceMicros.load(); pace > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(pace));
    }
    long budget = blockBudget.load();
    while (budget > 0 && !blockBudget.compare_exchange_weak(budget, budget - 1)) {}
    bool ok = device != nullptr;
    if (ok && source) source(p.buffer, static_cast<int>(n));
    p.completion->bytes.store(ok ? n : 0);
    p.completion->ok.store(ok);
    outstanding.fetch_sub(1);
    completed.fetch_add(1);
    p.completion->event.Signal();
    guard.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace hv
