// The sound device layer: what the streaming sound output needs from an audio
// back end, behind one interface. A device plays one looping buffer at a time;
// whenever its play position passes one of the buffer's notification points it
// counts the crossing and signals the event registered with the buffer.
//
// Back ends (chosen by SetAudioBackend, see CreateSoundDevice):
//   default  - PortAudio, the system's output device;
//   null     - no sound card: the play position advances by the clock;
//   wav:FILE - as null, and every byte played is appended to a WAV file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/wave_format.h"

namespace hv {

// Status of a device operation: 0 success, negative on failure.
using SoundStatus = int32_t;
constexpr SoundStatus kSoundOk = 0;
constexpr SoundStatus kSoundFail = static_cast<int32_t>(0x80004005);
constexpr SoundStatus kSoundBadArgument = static_cast<int32_t>(0x80070057);
// The buffer's memory was taken away (device lost); restore it and fill it again.
constexpr SoundStatus kSoundBufferLost = static_cast<int32_t>(0x88790096);
// A lock that should have been one piece came back in two.
constexpr SoundStatus E_UNEXPECTED = static_cast<int32_t>(0x8000FFFF);

inline bool SoundFailed(SoundStatus s) { return s < 0; }

// A looping device buffer with position notification.
class SoundBuffer {
 public:
  virtual ~SoundBuffer() = default;
  virtual uint32_t Size() const = 0;
  virtual SoundStatus GetStatus(bool* playing, bool* lost) = 0;
  // Gives the buffer its memory back after a loss (contents are then silence);
  // kSoundBufferLost while the device is still unavailable.
  virtual SoundStatus Restore() = 0;
  // Locks `bytes` from `offset` for writing: one piece, or two when the range
  // wraps past the end (the second then starts at offset 0). Unlock with the
  // same pieces before locking again.
  virtual SoundStatus Lock(uint32_t offset, uint32_t bytes, uint8_t** piece1, uint32_t* size1, uint8_t** piece2,
                           uint32_t* size2) = 0;
  virtual SoundStatus Unlock(uint8_t* piece1, uint32_t size1, uint8_t* piece2, uint32_t size2) = 0;
  // Plays looping from the current position.
  virtual SoundStatus Play() = 0;
  virtual SoundStatus Stop() = 0;
  virtual SoundStatus SetPosition(uint32_t offset) = 0;
  // Attenuation in hundredths of a dB (0 full, -10000 silent); pan -10000..10000.
  virtual SoundStatus SetVolume(int32_t hundredthsDb) = 0;
  virtual SoundStatus SetPan(int32_t pan) = 0;
  // Notification points passed since the buffer was created (never decreases).
  virtual uint64_t NotificationsPassed() const = 0;
};

class SoundDevice {
 public:
  virtual ~SoundDevice() = default;
  // Opens the output (the "priority" cooperative level: this program sets the format).
  virtual SoundStatus Open() = 0;
  virtual SoundStatus SetPrimaryFormat(const WaveFormat& format) = 0;
  // A looping buffer of `bytes` in `format`; each offset in `points` signals
  // `event` when the play position passes it.
  virtual SoundStatus CreateBuffer(const WaveFormat& format, uint32_t bytes, const std::vector<uint32_t>& points,
                                   AutoResetEvent* event, std::unique_ptr<SoundBuffer>* buffer) = 0;
  virtual const char* Name() const = 0;
};

// The back end for this run: "default", "null" or "wav:FILE". Set before the
// sound thread starts (the command line's --audio); "default" when never set.
void SetAudioBackend(const std::string& text);
std::string AudioBackend();

// A device of the chosen back end, not yet opened. For "default" without any
// output device, a headless station gets the null back end (one diagnostic
// line says so); with a screen it gets the PortAudio device, whose Open fails.
std::unique_ptr<SoundDevice> CreateSoundDevice();

}  // namespace hv
