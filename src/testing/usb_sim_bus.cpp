#include "testing/usb_sim_bus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace hv {

namespace {

class Proxy : public UsbBackend {
 public:
  explicit Proxy(std::shared_ptr<SimUsbBus> bus) : bus_(std::move(bus)) {}
  std::vector<UsbDeviceInfo> Enumerate() override { return bus_->Enumerate(); }
  void* Open(uint64_t id) override { return bus_->Open(id); }
  void Close(void* h) override { bus_->Close(h); }
  int SetConfiguration(void* h, int c) override { return bus_->SetConfiguration(h, c); }
  int ClaimInterface(void* h, int i) override { return bus_->ClaimInterface(h, i); }
  int SetAltInterface(void* h, int i, int a) override { return bus_->SetAltInterface(h, i, a); }
  int ReleaseInterface(void* h, int i) override { return bus_->ReleaseInterface(h, i); }
  int GetStringDescriptor(void* h, int index, int language, uint8_t* b, int s) override {
    return bus_->GetStringDescriptor(h, index, language, b, s);
  }
  void* NewBulkTransfer(void* h, uint8_t e) override { return bus_->NewBulkTransfer(h, e); }
  int Submit(void* t, uint8_t* b, int s) override { return bus_->Submit(t, b, s); }
  int Reap(void* t, int ms) override { return bus_->Reap(t, ms); }
  int Cancel(void* t) override { return bus_->Cancel(t); }
  void FreeTransfer(void* t) override { bus_->FreeTransfer(t); }

 private:
  std::shared_ptr<SimUsbBus> bus_;
};

}  // namespace

std::unique_ptr<UsbBackend> SimUsbBus::Backend() { return std::make_unique<Proxy>(shared_from_this()); }

int SimUsbBus::Add(SimUsbDevice device) {
  std::lock_guard<std::mutex> guard(lock_);
  slots_.push_back(Slot{true, std::move(device)});
  return static_cast<int>(slots_.size()) - 1;
}

void SimUsbBus::Remove(int index) {
  std::lock_guard<std::mutex> guard(lock_);
  if (index >= 0 && index < static_cast<int>(slots_.size())) slots_[index].present = false;
}

std::vector<UsbDeviceInfo> SimUsbBus::Enumerate() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<UsbDeviceInfo> result;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].present) continue;
    const SimUsbDevice& d = slots_[i].device;
    result.push_back(UsbDeviceInfo{i + 1, d.busNumber, d.address, d.vendorId, d.productId});
  }
  return result;
}

SimUsbDevice* SimUsbBus::DeviceOf(Handle* h) {
  if (!h || h->index < 0 || h->index >= static_cast<int>(slots_.size()) || !slots_[h->index].present) return nullptr;
  return &slots_[h->index].device;
}

void* SimUsbBus::Open(uint64_t id) {
  std::lock_guard<std::mutex> guard(lock_);
  int index = static_cast<int>(id) - 1;
  if (index < 0 || index >= static_cast<int>(slots_.size()) || !slots_[index].present) return nullptr;
  if (slots_[index].device.failOpen) return nullptr;
  openHandles.fetch_add(1);
  return new Handle{index, -1};
}

void SimUsbBus::Close(void* handle) {
  auto* h = static_cast<Handle*>(handle);
  if (!h) return;
  if (h->claimedInterface >= 0) claimed.fetch_sub(1);
  openHandles.fetch_sub(1);
  delete h;
}

int SimUsbBus::SetConfiguration(void* handle, int) {
  std::lock_guard<std::mutex> guard(lock_);
  SimUsbDevice* d = DeviceOf(static_cast<Handle*>(handle));
  if (!d) return -ENODEV;
  return d->failConfiguration ? -EIO : 0;
}

int SimUsbBus::ClaimInterface(void* handle, int interface) {
  std::lock_guard<std::mutex> guard(lock_);
  auto* h = static_cast<Handle*>(handle);
  SimUsbDevice* d = DeviceOf(h);
  if (!d) return -ENODEV;
  if (d->failClaim) return -EBUSY;
  if (h->claimedInterface < 0) claimed.fetch_add(1);
  h->claimedInterface = interface;
  return 0;
}

int SimUsbBus::SetAltInterface(void* handle, int, int) {
  std::lock_guard<std::mutex> guard(lock_);
  SimUsbDevice* d = DeviceOf(static_cast<Handle*>(handle));
  if (!d) return -ENODEV;
  return d->failAltSetting ? -EIO : 0;
}

int SimUsbBus::ReleaseInterface(void* handle, int interface) {
  auto* h = static_cast<Handle*>(handle);
  if (!h || h->claimedInterface != interface) return -ENOENT;
  h->claimedInterface = -1;
  claimed.fetch_sub(1);
  return 0;
}

int SimUsbBus::GetStringDescriptor(void* handle, int index, int, uint8_t* buffer, int size) {
  std::lock_guard<std::mutex> guard(lock_);
  SimUsbDevice* d = DeviceOf(static_cast<Handle*>(handle));
  if (!d) return -ENODEV;
  std::vector<uint8_t> bytes;
  if (index == d->rawIndex) {
    bytes = d->raw;
  } else if (index == 0) {
    bytes = {4, 3, 0x09, 0x04};  // one language: US English
  } else if (index >= 1 && index <= static_cast<int>(d->strings.size())) {
    const std::string& s = d->strings[index - 1];
    bytes.push_back(static_cast<uint8_t>(std::min<size_t>(2 + 2 * s.size(), 254)));
    bytes.push_back(3);
    for (char c : s) bytes.push_back(static_cast<uint8_t>(c)), bytes.push_back(0);
    bytes.resize(bytes[0]);
  } else {
    return -EPIPE;  // the device stalls the request
  }
  int n = std::min<int>(size, static_cast<int>(bytes.size()));
  if (n > 0) std::memcpy(buffer, bytes.data(), n);
  return n;
}

void* SimUsbBus::NewBulkTransfer(void* handle, uint8_t endpoint) {
  transfersAlive.fetch_add(1);
  auto* t = new Transfer;
  t->handle = static_cast<Handle*>(handle);
  t->endpoint = endpoint;
  return t;
}

int SimUsbBus::Submit(void* transfer, uint8_t* buffer, int size) {
  auto* t = static_cast<Transfer*>(transfer);
  std::lock_guard<std::mutex> guard(lock_);
  SimUsbDevice* d = DeviceOf(t->handle);
  if (!d) return -ENODEV;
  if (d->failSubmit) return -EIO;
  if (t->submitted) return -EBUSY;
  t->buffer = buffer;
  t->size = size;
  t->submitted = true;
  int now = inFlight.fetch_add(1) + 1;
  int seen = maxInFlight.load();
  while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {}
  return 0;
}

int SimUsbBus::Reap(void* transfer, int timeoutMs) {
  auto* t = static_cast<Transfer*>(transfer);
  if (!t->submitted) return -EINVAL;
  long budget = blockBudget.load();
  while (budget != 0 && !blockBudget.compare_exchange_weak(budget, budget > 0 ? budget - 1 : budget)) {}
  if (budget == 0) {
    // A stalled receiver: the request times out and is cancelled.
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    t->submitted = false;
    inFlight.fetch_sub(1);
    cancelled.fetch_add(1);
    return -ETIMEDOUT;
  }
  SimBlockSource source;
  {
    std::lock_guard<std::mutex> guard(lock_);
    SimUsbDevice* d = DeviceOf(t->handle);
    if (!d) {
      t->submitted = false;
      inFlight.fetch_sub(1);
      return -ENODEV;
    }
    source = d->source;
  }
  int n = shortLength.load() > 0 ? std::min(shortLength.load(), t->size) : t->size;
  if (source) source(t->buffer, n);
  t->submitted = false;
  inFlight.fetch_sub(1);
  completed.fetch_add(1);
  return n;
}

int SimUsbBus::Cancel(void* transfer) {
  auto* t = static_cast<Transfer*>(transfer);
  if (!t->submitted) return -EINVAL;
  t->submitted = false;
  inFlight.fetch_sub(1);
  cancelled.fetch_add(1);
  return 0;
}

void SimUsbBus::FreeTransfer(void* transfer) {
  auto* t = static_cast<Transfer*>(transfer);
  if (!t) return;
  if (t->submitted) Cancel(t);
  transfersAlive.fetch_sub(1);
  delete t;
}

}  // namespace hv
