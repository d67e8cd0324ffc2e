#include "devices/libusb_interface.h"

#include <cstring>

#include "devices/receiver_ids.h"

namespace hv {

libUSBInterface::libUSBInterface() { usb_init(); }

libUSBInterface::~libUSBInterface() { close(); }

void libUSBInterface::FindKeys(const char* name, uint16_t* productId, int* deviceNumber) {
  *productId = std::strncmp(name, "Ezxmt", 5) == 0 ? kReceiverProductXmt : kReceiverProductUsb;
  const char* rest = std::strlen(name) >= 5 ? name + 5 : "";
  if (std::strcmp(rest, "-1") == 0) *deviceNumber = 2;
  else if (std::strcmp(rest, "-2") == 0) *deviceNumber = 3;
  else if (std::strcmp(rest, "-3") == 0) *deviceNumber = 4;
  else *deviceNumber = 1;
}

bool libUSBInterface::find(const char* deviceName) {
  if (!deviceName || std::strncmp(deviceName, "Ez", 2) != 0) return false;
  uint16_t product = 0;
  int number = 0;
  FindKeys(deviceName, &product, &number);
  usb_find_busses();
  usb_find_devices();
  for (usb_bus* bus = usb_get_busses(); bus; bus = bus->next) {
    for (usb_device* dev = bus->devices; dev; dev = dev->next) {
      if (dev->descriptor.idVendor == kReceiverVendorId && dev->descriptor.idProduct == product &&
          dev->devnum == number) {
        bus_ = bus;
        device_ = dev;
        return true;
      }
    }
  }
  return false;
}

bool libUSBInterface::open(const char*) {
  if (!device_) return false;
  close();
  handle_ = usb_open(device_);
  if (!handle_) return false;
  bool claimed = false;
  bool ok = usb_set_configuration(handle_, 1) >= 0 && (claimed = usb_claim_interface(handle_, 0) >= 0) &&
            usb_set_altinterface(handle_, 0) >= 0;
  if (!ok) {
    if (claimed) usb_release_interface(handle_, 0);
    usb_close(handle_);
    handle_ = nullptr;
  }
  return ok;
}

void libUSBInterface::close() {
  if (!handle_) return;
  usb_release_interface(handle_, 0);
  usb_close(handle_);
  handle_ = nullptr;
}

bool libUSBInterface::getString(int index, char* dest, int size) {
  if (!handle_ || !dest || size <= 0) return false;
  return usb_get_string_simple(handle_, index, dest, static_cast<size_t>(size)) > 0;
}

bool libUSBInterface::setupRequest(void** context, unsigned char endpoint) {
  if (!handle_) return false;
  return usb_bulk_setup_async(handle_, context, endpoint) >= 0;
}

bool libUSBInterface::submitRequest(void* context, char* buffer, int size) {
  return usb_submit_async(context, buffer, size) >= 0;
}

bool libUSBInterface::reapRequest(void* context, int timeoutMs, int* transferred) {
  int r = usb_reap_async(context, timeoutMs);
  if (transferred) *transferred = r > 0 ? r : 0;
  return r >= 0;
}

bool libUSBInterface::freeRequest(void** context) { return usb_free_async(context) >= 0; }

}  // namespace hv
