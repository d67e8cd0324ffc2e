#include "devices/usb01.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "devices/string_descriptor.h"

namespace hv {

struct usb_dev_handle {
  void* backendHandle = nullptr;
  usb_device* device = nullptr;
  int claimedInterface = -1;
  std::set<struct AsyncContext*> contexts;
};

struct AsyncContext {
  usb_dev_handle* handle = nullptr;  // none once the handle was closed
  void* transfer = nullptr;
};

namespace {

std::mutex s_lock;  // guards the lists and the back end pointer
std::unique_ptr<UsbBackend> s_backend;
usb_bus* s_busses = nullptr;
// Every bus and device record ever made, never freed (callers may hold them);
// the lists themselves are never destroyed either, so the records stay reachable.
std::vector<usb_bus*>& s_allBusses = *new std::vector<usb_bus*>;
std::vector<usb_device*>& s_allDevices = *new std::vector<usb_device*>;

UsbBackend* Backend() {
  std::lock_guard<std::mutex> guard(s_lock);
  if (!s_backend) s_backend = MakeLibusb1Backend();
  return s_backend.get();
}

usb_bus* BusRecord(uint8_t number) {
  for (usb_bus* b : s_allBusses)
    if (b->location == number) return b;
  auto* b = new usb_bus;
  b->location = number;
  s_allBusses.push_back(b);
  return b;
}

}  // namespace

void usb_set_backend(std::unique_ptr<UsbBackend> backend) {
  std::lock_guard<std::mutex> guard(s_lock);
  s_backend = std::move(backend);
  // Device records of the old back end no longer describe anything.
  for (usb_bus* b : s_allBusses) b->devices = nullptr;
  s_busses = nullptr;
}

void usb_init() { Backend(); }

int usb_find_busses() { return 0; }

int usb_find_devices() {
  UsbBackend* backend = Backend();
  std::vector<UsbDeviceInfo> found = backend->Enumerate();
  std::lock_guard<std::mutex> guard(s_lock);
  int changes = 0;
  std::vector<usb_device*> keep;
  for (const UsbDeviceInfo& info : found) {
    usb_device* record = nullptr;
    for (usb_device* d : s_allDevices)
      if (d->backendId == info.id && d->bus && d->bus->location == info.busNumber && d->devnum == info.address &&
          d->descriptor.idVendor == info.vendorId && d->descriptor.idProduct == info.productId)
        record = d;
    if (!record) {
      record = new usb_device;
      record->backendId = info.id;
      record->devnum = info.address;
      record->descriptor.idVendor = info.vendorId;
      record->descriptor.idProduct = info.productId;
      record->bus = BusRecord(info.busNumber);
      s_allDevices.push_back(record);
      ++changes;
    }
    keep.push_back(record);
  }
  // Relink the lists in enumeration order; records of vanished devices stay allocated.
  for (usb_bus* b : s_allBusses) b->devices = nullptr;
  s_busses = nullptr;
  usb_bus* lastBus = nullptr;
  for (usb_device* d : keep) {
    d->next = d->prev = nullptr;
    usb_bus* b = d->bus;
    if (!b->devices) {
      b->next = nullptr;
      b->prev = lastBus;
      if (lastBus) lastBus->next = b;
      else s_busses = b;
      lastBus = b;
      b->devices = d;
    } else {
      usb_device* tail = b->devices;
      while (tail->next) tail = tail->next;
      tail->next = d;
      d->prev = tail;
    }
  }
  return changes;
}

usb_bus* usb_get_busses() {
  std::lock_guard<std::mutex> guard(s_lock);
  return s_busses;
}

usb_dev_handle* usb_open(usb_device* device) {
  if (!device) return nullptr;
  void* h = Backend()->Open(device->backendId);
  if (!h) return nullptr;
  auto* handle = new usb_dev_handle;
  handle->backendHandle = h;
  handle->device = device;
  return handle;
}

int usb_close(usb_dev_handle* handle) {
  if (!handle) return -EINVAL;
  UsbBackend* backend = Backend();
  // Requests still outstanding are cancelled and waited for, so no transfer
  // writes into a caller's buffer after the close; their contexts stay valid
  // (reap and free answer -ENODEV) until the owner frees them.
  for (AsyncContext* c : handle->contexts) {
    if (c->transfer) backend->FreeTransfer(c->transfer);
    c->transfer = nullptr;
    c->handle = nullptr;
  }
  backend->Close(handle->backendHandle);
  delete handle;
  return 0;
}

int usb_set_configuration(usb_dev_handle* handle, int configuration) {
  if (!handle) return -EINVAL;
  return Backend()->SetConfiguration(handle->backendHandle, configuration);
}

int usb_claim_interface(usb_dev_handle* handle, int interface) {
  if (!handle) return -EINVAL;
  int r = Backend()->ClaimInterface(handle->backendHandle, interface);
  if (r >= 0) handle->claimedInterface = interface;
  return r;
}

int usb_set_altinterface(usb_dev_handle* handle, int alternate) {
  if (!handle || handle->claimedInterface < 0) return -EINVAL;
  return Backend()->SetAltInterface(handle->backendHandle, handle->claimedInterface, alternate);
}

int usb_release_interface(usb_dev_handle* handle, int interface) {
  if (!handle) return -EINVAL;
  int r = Backend()->ReleaseInterface(handle->backendHandle, interface);
  if (r >= 0 && handle->claimedInterface == interface) handle->claimedInterface = -1;
  return r;
}

int usb_get_string_simple(usb_dev_handle* handle, int index, char* buffer, size_t size) {
  if (!handle || !buffer || size == 0) return -EINVAL;
  buffer[0] = 0;
  UsbBackend* backend = Backend();
  uint8_t raw[255];
  // String 0 lists the languages; the first one is used.
  int n = backend->GetStringDescriptor(handle->backendHandle, 0, 0, raw, sizeof raw);
  if (n < 0) return n;
  if (n < 4 || raw[0] < 4) return -EIO;
  int language = raw[2] | (raw[3] << 8);
  n = backend->GetStringDescriptor(handle->backendHandle, index, language, raw, sizeof raw);
  if (n < 0) return n;
  if (n < 2 || raw[1] != 3) return -EIO;
  std::string text = StringDescriptorAscii(raw, static_cast<size_t>(n), size - 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = 0;
  return static_cast<int>(text.size());
}

int usb_bulk_setup_async(usb_dev_handle* handle, void** context, unsigned char endpoint) {
  if (!handle || !context) return -EINVAL;
  void* transfer = Backend()->NewBulkTransfer(handle->backendHandle, endpoint);
  if (!transfer) return -ENOMEM;
  auto* c = new AsyncContext;
  c->handle = handle;
  c->transfer = transfer;
  handle->contexts.insert(c);
  *context = c;
  return 0;
}

int usb_submit_async(void* context, char* bytes, int size) {
  auto* c = static_cast<AsyncContext*>(context);
  if (!c || !bytes || size < 0) return -EINVAL;
  if (!c->transfer) return -ENODEV;
  return Backend()->Submit(c->transfer, reinterpret_cast<uint8_t*>(bytes), size);
}

int usb_reap_async(void* context, int timeout) {
  auto* c = static_cast<AsyncContext*>(context);
  if (!c) return -EINVAL;
  if (!c->transfer) return -ENODEV;
  return Backend()->Reap(c->transfer, timeout);
}

int usb_cancel_async(void* context) {
  auto* c = static_cast<AsyncContext*>(context);
  if (!c) return -EINVAL;
  if (!c->transfer) return -ENODEV;
  return Backend()->Cancel(c->transfer);
}

int usb_free_async(void** context) {
  if (!context || !*context) return -EINVAL;
  auto* c = static_cast<AsyncContext*>(*context);
  if (c->transfer) Backend()->FreeTransfer(c->transfer);
  if (c->handle) c->handle->contexts.erase(c);
  delete c;
  *context = nullptr;
  return 0;
}

}  // namespace hv
