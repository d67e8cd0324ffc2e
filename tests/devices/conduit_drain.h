// Test helper: drains conduit1 into samples and notes every format taken, a
// byte source of the counter sequence for simulated receivers, and a simulated
// USB bus.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/conduit.h"
#include "core/wave_format.h"
#include "counter_sequence.h"
#include "devices/usb01.h"
#include "testing/usb_sim_bus.h"

namespace hv::test {

struct Drained {
  std::vector<int16_t> samples;
  std::vector<size_t> formatAt;  // sample index where each format took effect
  std::vector<WaveFormat> formats;
};

inline void DrainConduit(Conduit& c, Drained& d) {
  static uint8_t buffer[1 << 16];
  for (;;) {
    uint32_t available = c.Available();
    uint32_t want = available < sizeof buffer ? available : sizeof buffer;
    want &= ~1u;
    uint32_t got = 0;
    if (c.Read(want, buffer, &got) == kStatusNotInitialized) {
      d.formats.push_back(*c.TakeFormat());
      d.formatAt.push_back(d.samples.size());
      continue;
    }
    if (got == 0) return;
    const int16_t* s = reinterpret_cast<const int16_t*>(buffer);
    d.samples.insert(d.samples.end(), s, s + got / 2);
  }
}

// The counter sequence as a byte stream (little-endian), optionally
// offset-binary as USB receivers send it; continues across calls.
struct CounterBytes {
  std::atomic<uint64_t> next{0};
  bool offsetBinary = true;
  void Fill(uint8_t* bytes, int size) {
    uint64_t at = next.fetch_add(static_cast<uint64_t>(size));
    for (int i = 0; i < size; ++i, ++at) {
      uint16_t v = static_cast<uint16_t>(sim::CounterSample(at / 2));
      if (offsetBinary) v ^= 0x8000;
      bytes[i] = static_cast<uint8_t>(at & 1 ? v >> 8 : v & 0xFF);
    }
  }
};

// True when samples [from, to) are one unbroken run of the counter sequence.
inline bool IsCounterRun(const std::vector<int16_t>& s, size_t from, size_t to) {
  if (to - from < 3) return to >= from;
  uint64_t start = 0;
  return sim::CounterFind(s.data() + from, to - from, &start);
}

// A simulated USB bus, the libusb layer's back end for as long as it lives.
struct SimBus {
  std::shared_ptr<SimUsbBus> bus = std::make_shared<SimUsbBus>();
  SimBus() { usb_set_backend(bus->Backend()); }
  ~SimBus() { usb_set_backend(nullptr); }
  SimUsbBus* operator->() const { return bus.get(); }
};

}  // namespace hv::test
