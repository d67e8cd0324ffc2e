// The EZ-USB driver object over libusb-1.0. Device "\\.\Ezusb-N" is the N-th
// device with the receiver maker's vendor id in libusb's enumeration order.
// Pipe 0 is the first bulk IN endpoint of interface 0, pipe 1 the first bulk OUT
// endpoint. Overlapped bulk reads become asynchronous transfers; an event
// thread (started with the first open handle) completes them and signals the
// request's completion record. Isochronous requests are refused: the receivers
// stream over bulk endpoints.
#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "devices/ezusb_driver.h"
#include "devices/receiver_ids.h"

namespace hv {

namespace {

struct Request;

struct Device {
  libusb_device_handle* handle = nullptr;
  uint8_t bulkIn = 0, bulkOut = 0;
  std::set<Request*> outstanding;  // guarded by the driver lock
};

struct Request {
  class LibusbEzusbDriver* driver = nullptr;
  Device* device = nullptr;
  libusb_transfer* transfer = nullptr;
  EzusbCompletion* completion = nullptr;
};

constexpr int kIoTimeoutMs = 1000;

class LibusbEzusbDriver : public EzusbDriver {
 public:
  ~LibusbEzusbDriver() override {
    for (auto& [h, d] : devices_) CloseDevice(d);
    StopEvents();
    if (context_) libusb_exit(context_);
  }

  int Open(const std::string& path, bool) override {
    const std::string prefix = "\\\\.\\Ezusb-";
    if (path.rfind(prefix, 0) != 0 || path.size() != prefix.size() + 1) return -1;
    int wanted = path.back() - '0';
    if (wanted < 0 || wanted > 3) return -1;
    if (!context_ && libusb_init(&context_) != 0) {
      context_ = nullptr;
      return -1;
    }
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(context_, &list);
    libusb_device* chosen = nullptr;
    for (ssize_t i = 0, seen = 0; i < n && !chosen; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != kReceiverVendorId) continue;
      if (seen++ == wanted) chosen = list[i];
    }
    auto* device = new Device;
    bool ok = chosen && libusb_open(chosen, &device->handle) == 0;
    if (ok) {
      libusb_set_auto_detach_kernel_driver(device->handle, 1);
      ok = libusb_claim_interface(device->handle, 0) == 0;
      if (!ok) libusb_close(device->handle);
    }
    if (ok) FindEndpoints(chosen, device);
    if (n >= 0) libusb_free_device_list(list, 1);
    if (!ok) {
      delete device;
      return -1;
    }
    std::lock_guard<std::mutex> guard(lock_);
    int handle = nextHandle_++;
    devices_[handle] = device;
    StartEvents();
    return handle;
  }

  void Close(int handle) override {
    Device* device = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = devices_.find(handle);
      if (it == devices_.end()) return;
      device = it->second;
      devices_.erase(it);
    }
    CloseDevice(device);
    bool none;
    {
      std::lock_guard<std::mutex> guard(lock_);
      none = devices_.empty();
    }
    if (none) StopEvents();
  }

  bool DeviceControl(int handle, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* returned, EzusbCompletion* completion) override {
    if (returned) *returned = 0;
    Device* device = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = devices_.find(handle);
      if (it == devices_.end()) return false;
      device = it->second;
    }
    auto* o = static_cast<uint8_t*>(out);
    const auto* i = static_cast<const uint8_t*>(in);
    int r = -1;
    switch (code) {
      case kEzusbGetDeviceDescriptor:
        r = libusb_control_transfer(device->handle, 0x80, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_DEVICE << 8, 0, o,
                                    static_cast<uint16_t>(outSize), kIoTimeoutMs);
        break;
      case kEzusbGetStringDescriptor:
        if (inSize < 4) return false;
        r = libusb_get_string_descriptor(device->handle, i[0], static_cast<uint16_t>(i[2] | (i[3] << 8)), o,
                                         static_cast<int>(outSize));
        break;
      case kEzusbResetPipe:
        r = libusb_clear_halt(device->handle, device->bulkIn) == 0 ? 0 : -1;
        break;
      case kEzusbBulkRead:
      case kEzusbBulkWrite: {
        uint8_t endpoint = code == kEzusbBulkRead ? device->bulkIn : device->bulkOut;
        if (endpoint == 0) return false;
        if (completion) return Submit(device, endpoint, o, outSize, completion);
        int done = 0;
        if (libusb_bulk_transfer(device->handle, endpoint, o, static_cast<int>(outSize), &done, kIoTimeoutMs) != 0)
          return false;
        r = done;
        break;
      }
      default:
        return false;  // isochronous requests: not provided
    }
    if (r < 0) return false;
    if (returned) *returned = static_cast<uint32_t>(r);
    if (completion) {
      completion->bytes.store(static_cast<uint32_t>(r));
      completion->ok.store(true);
      completion->event.Signal();
    }
    return true;
  }

  // Runs on the driver's event thread inside libusb event handling.
  static void LIBUSB_CALL OnDone(libusb_transfer* t) {
    auto* request = static_cast<Request*>(t->user_data);
    request->driver->Finish(request);
  }

 private:
  static void FindEndpoints(libusb_device* dev, Device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) != 0 || !config) return;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
      const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & 3) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        if ((ep.bEndpointAddress & 0x80) && !device->bulkIn) device->bulkIn = ep.bEndpointAddress;
        if (!(ep.bEndpointAddress & 0x80) && !device->bulkOut) device->bulkOut = ep.bEndpointAddress;
      }
    }
    libusb_free_config_descriptor(config);
  }

  bool Submit(Device* device, uint8_t endpoint, uint8_t* buffer, uint32_t size, EzusbCompletion* completion) {
    auto* request = new Request{this, device, libusb_alloc_transfer(0), completion};
    if (!request->transfer) {
      delete request;
      return false;
    }
    completion->ok.store(false);
    completion->bytes.store(0);
    libusb_fill_bulk_transfer(request->transfer, device->handle, endpoint, buffer, static_cast<int>(size), OnDone,
                              request, 0);
    std::lock_guard<std::mutex> guard(lock_);
    if (libusb_submit_transfer(request->transfer) != 0) {
      libusb_free_transfer(request->transfer);
      delete request;
      return false;
    }
    device->outstanding.insert(request);
    return true;
  }

  void Finish(Request* request) {
    libusb_transfer* t = request->transfer;
    bool ok = t->status == LIBUSB_TRANSFER_COMPLETED;
    request->completion->bytes.store(ok ? static_cast<uint32_t>(t->actual_length) : 0);
    request->completion->ok.store(ok);
    request->completion->event.Signal();
    {
      std::lock_guard<std::mutex> guard(lock_);
      request->device->outstanding.erase(request);
    }
    drained_.notify_all();
    libusb_free_transfer(t);
    delete request;
  }

  void CloseDevice(Device* device) {
    {
      std::unique_lock<std::mutex> guard(lock_);
      for (Request* r : device->outstanding) libusb_cancel_transfer(r->transfer);
      drained_.wait_for(guard, std::chrono::seconds(1), [&] { return device->outstanding.empty(); });
      if (!device->outstanding.empty()) return;  // libusb still owns the buffers: keep the device open
    }
    libusb_release_interface(device->handle, 0);
    libusb_close(device->handle);
    delete device;
  }

  void StartEvents() {
    if (events_.joinable()) return;
    eventsRun_.store(true);
    events_ = std::thread([this] {
      // Runs on the driver's own event thread until the last handle closes.
      while (eventsRun_.load()) {
        timeval tv{0, 100000};
        libusb_handle_events_timeout_completed(context_, &tv, nullptr);
      }
    });
  }

  void StopEvents() {
    eventsRun_.store(false);
    if (events_.joinable()) events_.join();
  }

  libusb_context* context_ = nullptr;
  std::mutex lock_;
  std::condition_variable drained_;
  std::map<int, Device*> devices_;
  int nextHandle_ = 1;
  std::thread events_;
  std::atomic<bool> eventsRun_{false};
};

std::mutex s_driverLock;
std::unique_ptr<EzusbDriver> s_driver;

}  // namespace

std::unique_ptr<EzusbDriver> MakeLibusbEzusbDriver() { return std::make_unique<LibusbEzusbDriver>(); }

EzusbDriver* GetEzusbDriver() {
  std::lock_guard<std::mutex> guard(s_driverLock);
  if (!s_driver) s_driver = MakeLibusbEzusbDriver();
  return s_driver.get();
}

void SetEzusbDriver(std::unique_ptr<EzusbDriver> driver) {
  std::lock_guard<std::mutex> guard(s_driverLock);
  s_driver = std::move(driver);
}

}  // namespace hv
