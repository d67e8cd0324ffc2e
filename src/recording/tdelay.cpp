#include "recording/tdelay.h"

#include <cmath>
#include <cstring>
#include <new>

namespace hv {

TDelay::~TDelay() { delete[] storage_; }

bool TDelay::SetFormat(const WaveFormat& format) {
  format_.formatTag = format.formatTag;
  format_.channels = format.channels;
  format_.bitsPerSample = format.bitsPerSample;
  format_.sampleRate = format.sampleRate;
  format_.blockAlign = static_cast<uint16_t>(format.channels * (format.bitsPerSample / 8));
  format_.avgBytesPerSec = format_.blockAlign * format_.sampleRate;
  format_.extraSize = 0;
  return true;
}

bool TDelay::SetDelay(float seconds) {
  delay_ = seconds;
  if (seconds > 0) {
    double frames = std::floor(double(seconds) * double(format_.sampleRate));
    double bytes = frames * format_.blockAlign;
    length_ = bytes > 4.0e9 ? 0 : uint32_t(bytes);
    if (capacity_ < length_) {
      delete[] storage_;
      storage_ = new (std::nothrow) uint8_t[length_];
      capacity_ = storage_ ? length_ : 0;
    }
  } else {
    length_ = 0;
  }
  position_ = 0;
  full_ = false;
  return length_ == 0 || storage_ != nullptr;
}

bool TDelay::FormatChanged(const WaveFormat& f) const {
  return f.formatTag != format_.formatTag || f.channels != format_.channels ||
         f.bitsPerSample != format_.bitsPerSample || f.sampleRate != format_.sampleRate;
}

bool TDelay::Process(uint8_t* bytes, uint32_t count) {
  // A failed allocation leaves the line without storage: chunks pass undelayed.
  if (!storage_ || length_ < 1 || capacity_ < length_) return true;
  if (format_.blockAlign == 0 || count % format_.blockAlign != 0) return false;
  const bool wasFull = full_;
  uint32_t done = 0;
  while (done < count) {
    uint32_t run = length_ - position_;
    if (run > count - done) run = count - done;
    // Exchange a run of bytes with the storage.
    uint8_t* s = storage_ + position_;
    uint8_t* b = bytes + done;
    for (uint32_t i = 0; i < run; ++i) {
      uint8_t t = s[i];
      s[i] = b[i];
      b[i] = t;
    }
    done += run;
    position_ += run;
    if (position_ >= length_) {
      position_ = 0;
      full_ = true;
    }
  }
  return wasFull;
}

}  // namespace hv
