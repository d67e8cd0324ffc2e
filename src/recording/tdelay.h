// TDelay: a byte delay line for one stream format. Process exchanges the
// caller's bytes with the line's storage in place, so what comes out is what
// went in `length` bytes earlier; it is valid once the line has been filled
// completely (Process returns whether it was full before the call).
#pragma once

#include <cstdint>

#include "core/wave_format.h"

namespace hv {

class TDelay {
 public:
  TDelay() = default;
  virtual ~TDelay();
  TDelay(const TDelay&) = delete;
  TDelay& operator=(const TDelay&) = delete;

  // Copies tag, channels, bits and rate; derives block size and bytes per second.
  virtual bool SetFormat(const WaveFormat& format);
  // seconds > 0: length = floor(seconds x rate) x block bytes (storage grows to
  // exactly that, uncleared); otherwise length 0. Empties the line. True when
  // the length is 0 or storage exists.
  virtual bool SetDelay(float seconds);
  virtual bool DelayChanged(float seconds) const { return seconds != delay_; }
  virtual bool FormatChanged(const WaveFormat& format) const;
  // false (bytes untouched) for a count that is not whole blocks; true
  // (untouched) with no storage; else the full flag as it was before the call.
  virtual bool Process(uint8_t* bytes, uint32_t count);

  uint32_t Length() const { return length_; }
  // True when the line delays (it has storage for its length).
  bool Delays() const { return storage_ && length_ > 0 && capacity_ >= length_; }
  const WaveFormat& Format() const { return format_; }

 private:
  WaveFormat format_ = MakeWaveFormat(250000, 1, 2, 16);
  uint8_t* storage_ = nullptr;
  uint32_t capacity_ = 0;
  float delay_ = 0.0f;
  uint32_t position_ = 0;
  uint32_t length_ = 0;
  bool full_ = false;
};

}  // namespace hv
