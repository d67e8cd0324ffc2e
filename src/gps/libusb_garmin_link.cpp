// The GPS receiver on the USB bus through libusb-1.0: the first device of
// vendor 0x091e whose first interface has an interrupt IN, a bulk IN and a
// bulk OUT endpoint. The USB packet size is the bulk OUT endpoint's maximum
// packet size. Every transfer is synchronous with a time-out.
#include <libusb.h>

#include "core/runtime.h"
#include "gps/garmin_link.h"

namespace hv {

namespace {

constexpr uint16_t kVendor = 0x091e;

class LibusbGarminLink : public GarminLink {
 public:
  ~LibusbGarminLink() override {
    Close();
    if (context_) libusb_exit(context_);
  }

  bool Open() override {
    Close();
    if (!context_ && libusb_init(&context_) != 0) {
      context_ = nullptr;
      return false;
    }
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count && !handle_; ++i) TryDevice(list[i]);
    if (list) libusb_free_device_list(list, 1);
    return handle_ != nullptr;
  }

  void Close() override {
    if (!handle_) return;
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
    handle_ = nullptr;
  }

  bool PacketSize(uint32_t* size, int) override {
    if (!handle_ || packetSize_ == 0) return false;
    *size = packetSize_;
    return true;
  }

  int InterruptRead(uint8_t* buffer, int capacity, int timeoutMs) override {
    return Transfer(interruptIn_, buffer, capacity, timeoutMs, true);
  }
  int BulkRead(uint8_t* buffer, int capacity, int timeoutMs) override {
    return Transfer(bulkIn_, buffer, capacity, timeoutMs, false);
  }
  bool BulkWrite(const uint8_t* data, int length, int timeoutMs) override {
    uint8_t none = 0;
    int n = Transfer(bulkOut_, const_cast<uint8_t*>(data ? data : &none), length, timeoutMs, false);
    return n == length;
  }

 private:
  int Transfer(uint8_t endpoint, uint8_t* buffer, int length, int timeoutMs, bool interrupt) {
    if (!handle_) return -1;
    int done = 0;
    int rc = interrupt ? libusb_interrupt_transfer(handle_, endpoint, buffer, length, &done, timeoutMs)
                       : libusb_bulk_transfer(handle_, endpoint, buffer, length, &done, timeoutMs);
    return rc == 0 ? done : -1;
  }

  void TryDevice(libusb_device* device) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) != 0 || d.idVendor != kVendor) return;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 || !config) return;
    uint8_t intIn = 0, bulkIn = 0, bulkOut = 0;
    uint16_t outSize = 0;
    int number = -1;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
      const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
      number = alt.bInterfaceNumber;
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        int type = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
        bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
        if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && in) intIn = ep.bEndpointAddress;
        if (type == LIBUSB_TRANSFER_TYPE_BULK && in) bulkIn = ep.bEndpointAddress;
        if (type == LIBUSB_TRANSFER_TYPE_BULK && !in) bulkOut = ep.bEndpointAddress, outSize = ep.wMaxPacketSize;
      }
    }
    libusb_free_config_descriptor(config);
    if (number < 0 || !intIn || !bulkIn || !bulkOut) return;
    libusb_device_handle* h = nullptr;
    if (libusb_open(device, &h) != 0) return;
    libusb_set_auto_detach_kernel_driver(h, 1);
    if (libusb_claim_interface(h, number) != 0) {
      DiagPrint("GPS receiver found but its interface is in use\n");
      libusb_close(h);
      return;
    }
    handle_ = h;
    interface_ = number;
    interruptIn_ = intIn, bulkIn_ = bulkIn, bulkOut_ = bulkOut;
    packetSize_ = outSize;
  }

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  int interface_ = 0;
  uint8_t interruptIn_ = 0, bulkIn_ = 0, bulkOut_ = 0;
  uint32_t packetSize_ = 0;
};

}  // namespace

std::unique_ptr<GarminLink> MakeLibusbGarminLink() { return std::make_unique<LibusbGarminLink>(); }

}  // namespace hv
