// The PortAudio back end: one output stream on the system's default output
// device whose callback plays the looping buffer from its play position (see
// LoopingBuffer::Render, which signals the notification points). The stream
// runs from buffer creation on; a stopped buffer renders silence. When the
// stream ends on its own (device unplugged, server gone) the buffer reports
// lost; restoring it reopens the stream on whatever default device exists then.
#pragma once

#include <memory>
#include <mutex>

#include "audio/looping_buffer.h"
#include "audio/sound_device.h"

namespace hv {

// True when PortAudio finds an output device (initialises and terminates it).
bool PortAudioHasOutput();

class PortAudioDevice : public SoundDevice, private BufferHost {
 public:
  PortAudioDevice() = default;
  ~PortAudioDevice() override;

  SoundStatus Open() override;
  SoundStatus SetPrimaryFormat(const WaveFormat& format) override;
  SoundStatus CreateBuffer(const WaveFormat& format, uint32_t bytes, const std::vector<uint32_t>& points,
                           AutoResetEvent* event, std::unique_ptr<SoundBuffer>* buffer) override;
  const char* Name() const override { return "default"; }

  // Called by the buffer's destructor (buffers go before their device).
  void DetachBuffer(LoopingBuffer* buffer);

 private:
  bool Reacquire() override;
  bool OpenStream();
  void CloseStream();

  std::mutex lock_;  // guards stream_ and buffer_ against the sound and refill threads
  bool initialised_ = false;
  void* stream_ = nullptr;  // PaStream*
  LoopingBuffer* buffer_ = nullptr;
};

}  // namespace hv
