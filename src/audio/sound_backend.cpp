// Chooses the audio back end named on the command line.
#include <atomic>

#include "audio/clock_device.h"
#include "audio/portaudio_device.h"
#include "audio/sound_device.h"
#include "core/station_state.h"
#include "core/status_print.h"

namespace hv {

namespace {
SharedText s_backend{"default"};
std::atomic<bool> s_fallbackTold{false};
}  // namespace

void SetAudioBackend(const std::string& text) { s_backend.Set(text.empty() ? "default" : text); }

std::string AudioBackend() { return s_backend.Get(); }

std::unique_ptr<SoundDevice> CreateSoundDevice() {
  std::string backend = AudioBackend();
  if (backend == "null") return std::make_unique<ClockDevice>();
  if (backend.rfind("wav:", 0) == 0) return std::make_unique<ClockDevice>(backend.substr(4));
  if (g_headless.load(std::memory_order_relaxed) && !PortAudioHasOutput()) {
    if (!s_fallbackTold.exchange(true)) DiagPrint("No sound output device; audio goes to the null output\n");
    return std::make_unique<ClockDevice>();
  }
  return std::make_unique<PortAudioDevice>();
}

}  // namespace hv
