// The sound thread: reads the tuned float audio from conduit2 in blocks of
// 1024 samples and hands each block to the sound output (conversion, level
// meter, queue, start of play). It never stops reading conduit2 while the run
// flag is set, so the conditioning thread is never held up by the sound device.
#include "audio/sound_output.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "model/station_model.h"

namespace hv {

namespace {

constexpr uint32_t kBlockBytes = 4096;  // 1024 float32 samples
// Runs on the sound thread: the level meter's value, which the main window shows.
void ShowLevel(int value) { SetModelNumber(ModelItem::kAudioLevel, value); }

}  // namespace

// Runs on the sound thread until the run flag falls.
int SoundThread(void*) {
  SoundOutput::Options options;
  options.meter = ShowLevel;
  SoundOutput output(std::move(options));
  output.Start();

  float block[kBlockBytes / sizeof(float)];
  while (IsRunning()) {
    uint32_t got = 0;
    uint32_t status = conduit2.Read(kBlockBytes, block, &got);
    if (status == kStatusNotInitialized) {
      WaveFormat* format = conduit2.TakeFormat();
      output.FormatChanged(format ? format->sampleRate : 44100);
      continue;
    }
    if (got == 0) {
      // Less than a block waiting: wait until a whole block is there.
      conduit2.WaitReadable(kReaderIdleWaitMs, kBlockBytes);
      continue;
    }
    output.ProcessBlock(block, got / sizeof(float));
  }
  output.Shutdown();
  return 0;
}

}  // namespace hv
