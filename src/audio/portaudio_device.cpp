#include "audio/portaudio_device.h"

#include <portaudio.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace hv {

namespace {

// Host libraries under PortAudio (ALSA, JACK) print pages of chatter to
// standard error while probing for devices that do not exist. This keeps
// standard error in a temporary file for the duration of one PortAudio call
// and passes on every line that is not such chatter (other threads' lines too).
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    capture_ = std::tmpfile();
    saved_ = capture_ ? dup(2) : -1;
    if (saved_ >= 0 && dup2(fileno(capture_), 2) < 0) {
      close(saved_);
      saved_ = -1;
    }
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, 2);
      close(saved_);
    }
    if (!capture_) return;
    std::rewind(capture_);
    char line[1024];
    while (std::fgets(line, sizeof line, capture_))
      if (!IsChatter(line)) std::fputs(line, stderr);
    std::fclose(capture_);
    std::fflush(stderr);
  }

 private:
  static bool IsChatter(const char* line) {
    static const char* const kPrefixes[] = {"ALSA lib ", "Cannot connect to server", "jack server",
                                            "JackShm", "Jack", "Expression '", "bt_audio_service_open"};
    for (const char* p : kPrefixes)
      if (std::strncmp(line, p, std::strlen(p)) == 0) return true;
    return std::strstr(line, "pa_linux_alsa.c") != nullptr;
  }
  std::FILE* capture_ = nullptr;
  int saved_ = -1;
};

// One line per new error, so a device retried every few seconds does not flood.
void ReportError(PaError e) {
  static std::atomic<int> last{paNoError};
  if (last.exchange(e) != e) DiagPrint("PortAudio: %s\n", Pa_GetErrorText(e));
}

PaError QuietInitialize() {
  QuietStderr quiet;
  return Pa_Initialize();
}

void QuietTerminate() {
  QuietStderr quiet;
  Pa_Terminate();
}

// Runs on PortAudio's audio thread: plays the next bytes of the looping buffer.
int StreamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* user) {
  auto* buffer = static_cast<LoopingBuffer*>(user);
  buffer->Render(static_cast<uint8_t*>(output), static_cast<uint32_t>(frames * buffer->Format().blockAlign));
  return paContinue;
}

// The same for an output that only opens in stereo: each mono sample goes to both channels.
int StereoStreamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                         PaStreamCallbackFlags, void* user) {
  auto* buffer = static_cast<LoopingBuffer*>(user);
  auto* out = static_cast<int16_t*>(output);
  int16_t mono[256];
  while (frames > 0) {
    unsigned long n = frames < 256 ? frames : 256;
    buffer->Render(reinterpret_cast<uint8_t*>(mono), static_cast<uint32_t>(n * 2));
    for (unsigned long i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = mono[i];
    out += 2 * n;
    frames -= n;
  }
  return paContinue;
}

// Runs on PortAudio's audio thread when the stream has ended on its own.
void StreamFinished(void* user) { static_cast<LoopingBuffer*>(user)->MarkLost(); }

// The buffer of a PortAudio device; closes the stream before its memory goes.
class PortAudioBuffer : public LoopingBuffer {
 public:
  PortAudioBuffer(const WaveFormat& format, uint32_t bytes, std::vector<uint32_t> points, AutoResetEvent* event,
                  BufferHost* host, PortAudioDevice* device)
      : LoopingBuffer(format, bytes, std::move(points), event, host), device_(device) {}
  ~PortAudioBuffer() override { device_->DetachBuffer(this); }

 private:
  PortAudioDevice* device_;
};

}  // namespace

bool PortAudioHasOutput() {
  if (QuietInitialize() != paNoError) return false;
  bool has = Pa_GetDefaultOutputDevice() != paNoDevice;
  QuietTerminate();
  return has;
}

PortAudioDevice::~PortAudioDevice() {
  std::lock_guard<std::mutex> guard(lock_);
  CloseStream();
  if (initialised_) QuietTerminate();
  initialised_ = false;
}

SoundStatus PortAudioDevice::Open() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!initialised_) {
    PaError e = QuietInitialize();
    if (e != paNoError) {
      ReportError(e);
      return kSoundFail;
    }
    initialised_ = true;
  }
  if (Pa_GetDefaultOutputDevice() == paNoDevice) return kSoundFail;
  return kSoundOk;
}

SoundStatus PortAudioDevice::SetPrimaryFormat(const WaveFormat& format) {
  // The stream of each buffer carries its own format; only check this one is playable.
  if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels == 0) return kSoundBadArgument;
  return kSoundOk;
}

SoundStatus PortAudioDevice::CreateBuffer(const WaveFormat& format, uint32_t bytes,
                                          const std::vector<uint32_t>& points, AutoResetEvent* event,
                                          std::unique_ptr<SoundBuffer>* buffer) {
  if (!buffer || bytes == 0 || format.bitsPerSample != 16 || format.blockAlign == 0 || bytes % format.blockAlign)
    return kSoundBadArgument;
  for (uint32_t p : points)
    if (p >= bytes) return kSoundBadArgument;
  BufferHost* host = this;
  auto made = std::make_unique<PortAudioBuffer>(format, bytes, points, event, host, this);
  std::lock_guard<std::mutex> guard(lock_);
  if (!initialised_) return kSoundFail;
  CloseStream();
  buffer_ = made.get();
  if (!OpenStream()) {
    buffer_ = nullptr;
    return kSoundFail;
  }
  *buffer = std::move(made);
  return kSoundOk;
}

void PortAudioDevice::DetachBuffer(LoopingBuffer* buffer) {
  std::lock_guard<std::mutex> guard(lock_);
  if (buffer_ != buffer) return;
  CloseStream();
  buffer_ = nullptr;
}

// Caller holds lock_.
bool PortAudioDevice::OpenStream() {
  PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice || !buffer_) return false;
  const WaveFormat& f = buffer_->Format();
  PaStreamParameters out{};
  out.device = device;
  out.channelCount = f.channels;
  out.sampleFormat = paInt16;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  out.suggestedLatency = info ? info->defaultLowOutputLatency : 0.02;
  PaStream* stream = nullptr;
  PaError e;
  {
    QuietStderr quiet;
    e = Pa_OpenStream(&stream, nullptr, &out, f.sampleRate, 256, paNoFlag, StreamCallback, buffer_);
    if (e != paNoError && f.channels == 1 && f.bitsPerSample == 16) {
      out.channelCount = 2;  // some outputs open only in stereo
      e = Pa_OpenStream(&stream, nullptr, &out, f.sampleRate, 256, paNoFlag, StereoStreamCallback, buffer_);
    }
  }
  if (e != paNoError) {
    ReportError(e);
    return false;
  }
  Pa_SetStreamFinishedCallback(stream, StreamFinished);
  e = Pa_StartStream(stream);
  if (e != paNoError) {
    ReportError(e);
    Pa_CloseStream(stream);
    return false;
  }
  stream_ = stream;
  return true;
}

// Caller holds lock_. Closing waits for a running callback to return.
void PortAudioDevice::CloseStream() {
  if (!stream_) return;
  PaStream* stream = static_cast<PaStream*>(stream_);
  stream_ = nullptr;
  Pa_SetStreamFinishedCallback(stream, nullptr);
  Pa_AbortStream(stream);
  Pa_CloseStream(stream);
}

// Runs on the thread that restores the buffer (sound or refill thread): a new
// PortAudio session, so a device plugged in since is found.
bool PortAudioDevice::Reacquire() {
  std::lock_guard<std::mutex> guard(lock_);
  CloseStream();
  if (initialised_) QuietTerminate();
  initialised_ = QuietInitialize() == paNoError;
  return initialised_ && OpenStream();
}

}  // namespace hv
