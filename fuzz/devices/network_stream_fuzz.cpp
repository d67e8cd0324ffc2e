// A network receiver's byte stream cut into deliveries of any sizes, with
// playback switched on and off: conduit1's frames must stay whole.
#include <cstddef>
#include <cstdint>

#include "core/conduit.h"
#include "devices/sample_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static hv::WaveFormat format = hv::MakeWaveFormat(250000, 1, 2, 16);
  hv::Conduit conduit;
  conduit.Create(8192, &format);
  hv::SampleFeed feed(&conduit);
  uint16_t channels = 1 + (data[0] & 3);
  feed.Start(hv::MakeWaveFormat(250000, channels, static_cast<uint16_t>(2 * channels), 16));
  uint64_t total = 0;
  size_t at = 1;
  uint8_t scratch[4096];
  while (at < size) {
    uint8_t control = data[at++];
    size_t n = control & 0x7F;
    if (n > size - at) n = size - at;
    feed.Deliver(data + at, static_cast<uint32_t>(n), (control & 0x80) != 0, (control & 0x40) != 0);
    at += n;
    total += n;
    for (;;) {
      uint32_t want = conduit.Available();
      if (want > sizeof scratch) want = sizeof scratch - sizeof scratch % (2 * channels);
      uint32_t got = 0;
      if (conduit.Read(want, scratch, &got) == hv::kStatusNotInitialized) {
        conduit.TakeFormat();
        continue;
      }
      if (got % (2 * channels) != 0) __builtin_trap();  // a frame split by the feed
      if (got == 0) break;
    }
  }
  if (feed.written + feed.dropped > total) __builtin_trap();
  return 0;
}
