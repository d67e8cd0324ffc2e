// libUSBInterface: a receiver reached through our libusb 0.1 layer (usb01.h).
// Finds the receiver by product id and device number, opens it (configuration
// 1, interface 0, alternate setting 0), reads its ASCII identification strings
// and streams samples with asynchronous bulk requests. Used by one thread at a
// time (the acquisition thread).
#pragma once

#include "devices/usb01.h"

namespace hv {

class libUSBInterface {
 public:
  libUSBInterface();  // initialises the USB layer
  virtual ~libUSBInterface();
  libUSBInterface(const libUSBInterface&) = delete;
  libUSBInterface& operator=(const libUSBInterface&) = delete;

  // "Ez..." names: product 0x0201 for "Ezxmt...", else 0x0102; the characters
  // after the fifth select the device number ("-1" 2, "-2" 3, "-3" 4, else 1).
  virtual bool find(const char* deviceName);
  virtual bool open(const char* deviceName);
  virtual void close();
  virtual bool getString(int index, char* dest, int size);
  virtual bool setupRequest(void** context, unsigned char endpoint);
  virtual bool submitRequest(void* context, char* buffer, int size);
  // The bytes transferred go to *transferred when given.
  virtual bool reapRequest(void* context, int timeoutMs, int* transferred = nullptr);
  virtual bool freeRequest(void** context);

  bool isOpen() const { return handle_ != nullptr; }
  // The product id and device number the last find looked for (for tests).
  static void FindKeys(const char* deviceName, uint16_t* productId, int* deviceNumber);

 private:
  usb_dev_handle* handle_ = nullptr;
  usb_bus* bus_ = nullptr;
  usb_device* device_ = nullptr;
};

}  // namespace hv
