// The libusb-1.0 back end of our USB layer. Asynchronous transfers complete
// through libusb's event handling, which Reap runs on the calling thread (the
// acquisition thread) with the caller's time-out, so no extra thread is needed.
#include <libusb.h>

#include <cerrno>
#include <chrono>

#include "devices/usb_backend.h"

namespace hv {

namespace {

int ErrnoFrom(int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_TIMEOUT: return -ETIMEDOUT;
    case LIBUSB_ERROR_NO_DEVICE: return -ENODEV;
    case LIBUSB_ERROR_ACCESS: return -EACCES;
    case LIBUSB_ERROR_BUSY: return -EBUSY;
    case LIBUSB_ERROR_NOT_FOUND: return -ENOENT;
    case LIBUSB_ERROR_INVALID_PARAM: return -EINVAL;
    case LIBUSB_ERROR_NO_MEM: return -ENOMEM;
    case LIBUSB_ERROR_PIPE: return -EPIPE;
    case LIBUSB_ERROR_OVERFLOW: return -EOVERFLOW;
    default: return -EIO;
  }
}

struct Transfer {
  libusb_device_handle* handle = nullptr;
  libusb_transfer* transfer = nullptr;
  uint8_t endpoint = 0;
  bool submitted = false;
  int completed = 1;  // libusb's completion flag: set by the callback
};

// Runs inside libusb event handling on the thread that called Reap or FreeTransfer.
void LIBUSB_CALL OnTransferDone(libusb_transfer* t) { static_cast<Transfer*>(t->user_data)->completed = 1; }

class Libusb1Backend : public UsbBackend {
 public:
  Libusb1Backend() {
    if (libusb_init(&context_) != 0) context_ = nullptr;
  }
  ~Libusb1Backend() override {
    if (context_) libusb_exit(context_);
  }

  std::vector<UsbDeviceInfo> Enumerate() override {
    std::vector<UsbDeviceInfo> result;
    if (!context_) return result;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
      UsbDeviceInfo info;
      info.busNumber = libusb_get_bus_number(list[i]);
      info.address = libusb_get_device_address(list[i]);
      info.id = (uint64_t(info.busNumber) << 8) | info.address;
      info.vendorId = d.idVendor;
      info.productId = d.idProduct;
      result.push_back(info);
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    return result;
  }

  void* Open(uint64_t id) override {
    if (!context_) return nullptr;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(context_, &list);
    libusb_device_handle* handle = nullptr;
    for (ssize_t i = 0; i < n; ++i) {
      uint64_t key = (uint64_t(libusb_get_bus_number(list[i])) << 8) | libusb_get_device_address(list[i]);
      if (key == id && libusb_open(list[i], &handle) != 0) handle = nullptr;
      if (key == id) break;
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    return handle;
  }

  void Close(void* handle) override {
    if (handle) libusb_close(static_cast<libusb_device_handle*>(handle));
  }
  int SetConfiguration(void* h, int c) override { return Result(libusb_set_configuration(Dev(h), c)); }
  int ClaimInterface(void* h, int i) override { return Result(libusb_claim_interface(Dev(h), i)); }
  int SetAltInterface(void* h, int i, int a) override { return Result(libusb_set_interface_alt_setting(Dev(h), i, a)); }
  int ReleaseInterface(void* h, int i) override { return Result(libusb_release_interface(Dev(h), i)); }

  int GetStringDescriptor(void* h, int index, int language, uint8_t* buffer, int size) override {
    int r = libusb_get_string_descriptor(Dev(h), static_cast<uint8_t>(index), static_cast<uint16_t>(language), buffer, size);
    return r < 0 ? ErrnoFrom(r) : r;
  }

  void* NewBulkTransfer(void* h, uint8_t endpoint) override {
    libusb_transfer* t = libusb_alloc_transfer(0);
    if (!t) return nullptr;
    auto* record = new Transfer;
    record->handle = Dev(h);
    record->transfer = t;
    record->endpoint = endpoint;
    return record;
  }

  int Submit(void* transfer, uint8_t* buffer, int size) override {
    auto* t = static_cast<Transfer*>(transfer);
    if (t->submitted) return -EBUSY;
    libusb_fill_bulk_transfer(t->transfer, t->handle, t->endpoint, buffer, size, OnTransferDone, t, 0);
    t->completed = 0;
    int r = libusb_submit_transfer(t->transfer);
    if (r != 0) {
      t->completed = 1;
      return ErrnoFrom(r);
    }
    t->submitted = true;
    return 0;
  }

  int Reap(void* transfer, int timeoutMs) override {
    auto* t = static_cast<Transfer*>(transfer);
    if (!t->submitted) return -EINVAL;
    if (!WaitDone(t, timeoutMs)) {
      libusb_cancel_transfer(t->transfer);
      WaitDone(t, 1000);
      t->submitted = !t->completed;
      return -ETIMEDOUT;
    }
    t->submitted = false;
    switch (t->transfer->status) {
      case LIBUSB_TRANSFER_COMPLETED: return t->transfer->actual_length;
      case LIBUSB_TRANSFER_NO_DEVICE: return -ENODEV;
      case LIBUSB_TRANSFER_STALL: return -EPIPE;
      case LIBUSB_TRANSFER_OVERFLOW: return -EOVERFLOW;
      case LIBUSB_TRANSFER_CANCELLED: return -ECANCELED;
      default: return -EIO;
    }
  }

  int Cancel(void* transfer) override {
    auto* t = static_cast<Transfer*>(transfer);
    if (!t->submitted) return -EINVAL;
    int r = libusb_cancel_transfer(t->transfer);
    return r == 0 ? 0 : ErrnoFrom(r);
  }

  void FreeTransfer(void* transfer) override {
    auto* t = static_cast<Transfer*>(transfer);
    if (!t) return;
    if (t->submitted && !t->completed) {
      libusb_cancel_transfer(t->transfer);
      WaitDone(t, 1000);
    }
    // A transfer that never completed after cancelling is leaked rather than
    // freed under libusb's feet.
    if (t->completed) libusb_free_transfer(t->transfer);
    delete t;
  }

 private:
  static libusb_device_handle* Dev(void* h) { return static_cast<libusb_device_handle*>(h); }
  static int Result(int r) { return r < 0 ? ErrnoFrom(r) : r; }

  bool WaitDone(Transfer* t, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!t->completed) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      timeval tv{static_cast<time_t>(left.count() / 1000000), static_cast<suseconds_t>(left.count() % 1000000)};
      libusb_handle_events_timeout_completed(context_, &tv, &t->completed);
    }
    return t->completed != 0;
  }

  libusb_context* context_ = nullptr;
};

}  // namespace

std::unique_ptr<UsbBackend> MakeLibusb1Backend() { return std::make_unique<Libusb1Backend>(); }

}  // namespace hv
