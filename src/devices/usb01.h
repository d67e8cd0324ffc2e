// A small USB layer with the libusb 0.1 calls the receiver code uses, written
// over the UsbBackend seam (libusb-1.0 by default). Debian's libusb 0.1 lacks
// the asynchronous bulk calls, and mixing two libraries' handles is worse than
// providing the handful of calls ourselves.
//
// The bus and device lists follow the 0.1 shape: usb_get_busses() returns a
// linked list of busses, each with a linked list of devices carrying the device
// descriptor's vendor and product ids and the device number on the bus. Device
// records stay valid for the life of the process (a record whose device has
// gone is unlinked but not freed), so a caller may hold one across refreshes.
//
// Every call returns a negative errno value on failure, as 0.1 did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "devices/usb_backend.h"

namespace hv {

struct usb_device_descriptor {
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
};

struct usb_bus;

struct usb_device {
  usb_device* next = nullptr;
  usb_device* prev = nullptr;
  usb_bus* bus = nullptr;
  usb_device_descriptor descriptor;
  uint8_t devnum = 0;
  uint64_t backendId = 0;
};

struct usb_bus {
  usb_bus* next = nullptr;
  usb_bus* prev = nullptr;
  uint32_t location = 0;
  usb_device* devices = nullptr;
};

struct usb_dev_handle;

// Replaces the back end (tests install a simulated bus; none restores
// libusb-1.0). Only while no handle is open.
void usb_set_backend(std::unique_ptr<UsbBackend> backend);

void usb_init();
int usb_find_busses();
int usb_find_devices();
usb_bus* usb_get_busses();

usb_dev_handle* usb_open(usb_device* device);
int usb_close(usb_dev_handle* handle);
int usb_set_configuration(usb_dev_handle* handle, int configuration);
int usb_claim_interface(usb_dev_handle* handle, int interface);
int usb_set_altinterface(usb_dev_handle* handle, int alternate);
int usb_release_interface(usb_dev_handle* handle, int interface);
// String `index` in the device's first language, as ASCII ('?' for anything
// else), zero-terminated in `buffer`; the number of characters.
int usb_get_string_simple(usb_dev_handle* handle, int index, char* buffer, size_t size);

int usb_bulk_setup_async(usb_dev_handle* handle, void** context, unsigned char endpoint);
int usb_submit_async(void* context, char* bytes, int size);
// Waits up to `timeout` ms; the bytes transferred, or negative (the request is
// cancelled on time-out).
int usb_reap_async(void* context, int timeout);
int usb_cancel_async(void* context);
// Frees the context (cancelling and waiting for a request still in flight) and
// sets *context to none.
int usb_free_async(void** context);

}  // namespace hv
