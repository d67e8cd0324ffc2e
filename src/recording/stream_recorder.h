// The stream recorder: records the conditioned 16-bit stream of Conduit3 for
// the record modes Continuous, Buffered Snap and Audio. It marks the start of
// a recording by announcing the mode's format on the conduit it reads, opens
// the file when it reaches that mark, and closes and renames it when Record
// goes off (Continuous, Audio) or when the snapshot's bytes are written
// (Buffered Snap, whose chunks pass through a delay line of the snapshot
// duration so the file holds the stream from before Record went on).
// A Continuous or Audio recording that would pass the 4 GiB a WAV file can
// hold is closed and continued in a new file with a new start time.
#pragma once

#include <cstdint>
#include <string>

#include "core/conduit.h"
#include "recording/attribute_record.h"
#include "recording/format_record.h"
#include "recording/record_control.h"
#include "recording/tdelay.h"
#include "recording/wave_file.h"
#include "recording/wavpack_file.h"

namespace hv {

class StreamRecorder {
 public:
  static constexpr uint32_t kChunkBytes = 512;
  explicit StreamRecorder(Conduit* input);

  // One pass of the thread loop: reads one chunk and runs the state step.
  // Returns true when a chunk was read (the caller waits briefly otherwise).
  bool Pass();
  int State() const { return state_; }
  // Sample bytes a file may take before the recording rolls over to a new file.
  void SetRollOverBytes(uint64_t bytes) { rollOverBytes_ = bytes; }
  // The final name of the last file finished (tests and reports).
  const std::string& LastFinishedName() const { return lastFinished_; }
  // Closes an open file (thread end): it keeps its temporary name.
  void Abandon();

 private:
  // The mode's format record (rate, channels, 16 bits) as the stream is now.
  static WaveFormat ModeFormat(int mode);
  void Step(uint32_t got);
  void SetState(int state);
  void Fail(const char* message);
  bool OpenFile(bool rollOver);
  bool CloseAndRename(bool settle = true);
  RecordingFile* File() { return wavPack_ ? static_cast<RecordingFile*>(&wavPackFile_) : &waveFile_; }

  Conduit* input_;
  int state_ = kStreamIdle;
  uint8_t chunk_[kChunkBytes];
  int64_t bytesToRecord_ = 0;
  uint64_t fileBytes_ = 0;
  uint64_t rollOverBytes_ = 0xFFFFFFFFull - 1024 - 7;
  int mode_ = 0;  // the record mode of the recording in progress
  bool wavPack_ = false;
  WaveFile waveFile_;
  WavPackFile wavPackFile_;
  TDelay delay_;
  FormatWithAttribute record_;   // the open file's record (kept for a roll-over)
  AttributeInputs attribute_;    // the open file's attribute inputs
  bool hasAttribute_ = false;
  std::string temporary_, final_, lastFinished_;
  bool uninitialisedReported_ = false;
  int64_t lastStartMs_ = 0;  // start of the last file opened, ms since the epoch
};

}  // namespace hv
