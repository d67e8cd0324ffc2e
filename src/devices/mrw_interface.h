// MRWInterface: a receiver reached through the EZ-USB driver (see ezusb_driver.h).
// Opens the device, reads its string descriptors and reads samples with bulk
// reads on pipe 0; also carries the driver's isochronous operations, which the
// acquisition thread does not use. Diagnostic lines go to standard output.
// Used by one thread at a time (the acquisition thread).
#pragma once

#include <cstdint>
#include <string>

#include "devices/ezusb_driver.h"

namespace hv {

// Language id sent with every string descriptor request.
constexpr uint16_t kEzusbLanguageId = 27;

class MRWInterface {
 public:
  MRWInterface() = default;
  virtual ~MRWInterface();
  MRWInterface(const MRWInterface&) = delete;
  MRWInterface& operator=(const MRWInterface&) = delete;

  virtual bool open(const char* deviceName);
  virtual void close();
  virtual std::string pipeTypeText(int pipeType);
  virtual std::string endpointText(uint8_t address);
  // Text of string `index` (the low byte of each character), at most size - 1
  // characters, zero-terminated in `dest`.
  virtual bool getStringDescriptor(int index, char* dest, int size);
  virtual bool getDeviceDescriptor(void* dest, uint32_t size, uint32_t* returned);
  virtual bool bulkRead(void* dest, uint32_t size, uint32_t* returned);
  virtual bool bulkWrite(void* source, uint32_t size, uint32_t* returned);
  virtual bool openOverlapped(const char* deviceName);
  // One overlapped bulk read of `size` bytes on pipe 0; `completion` (its event and
  // byte count) must stay valid until the read completes or the device closes.
  virtual bool asyncBulkRead(void* dest, uint32_t size, EzusbCompletion* completion);
  virtual bool startISOStream();
  virtual bool stopISOStream();
  virtual bool inputData(void* dest, uint32_t size, uint32_t* returned);
  virtual bool isoInput(void* dest, uint32_t size, uint32_t* returned);

  bool isOpen() const { return handle_ >= 0; }

 private:
  bool OpenWith(const char* deviceName, bool overlapped);
  bool Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t* returned,
               EzusbCompletion* completion = nullptr);
  bool ResetPipe0();

  int handle_ = -1;
};

}  // namespace hv
