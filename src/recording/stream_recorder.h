// The stream recorder: records the conditioned 16-bit stream of Conduit3 for
// the record modes Continuous, Buffered Snap and Audio. It marks the start of
// a recording by placing a mark at the end of the stream it reads (the
// conduit's format in force there, announced once more), and when it reaches
// the mark it waits for the stream's first samples: the file opens with them,
// in the format the conduit's writer announced for them, so a recording
// switched on before the receiver is known takes the receiver's own format. It
// closes and renames the file when Record goes off (Continuous, Audio) or when
// the snapshot's bytes are written (Buffered Snap, whose chunks pass through a
// delay line of the snapshot duration so the file holds the stream from
// before Record went on).
// A change of the stream's format (rate, channels or receiver) announced by
// the writer finishes the file in progress: a Continuous or Audio recording
// goes on in a new file of the new format from the first sample after the
// change; a Buffered Snap takes the rest of its snapshot, which lies before
// the change, from its delay line. A file that would pass the most sample
// bytes a file holds (kMaxRecordingDataBytes) is finished the same way and the
// recording goes on in a new file with a new start time.
#pragma once

#include <cstdint>
#include <string>

#include "core/conduit.h"
#include "formats/attribute_record.h"
#include "formats/format_record.h"
#include "formats/recording_kinds.h"
#include "recording/free_recording_name.h"
#include "recording/record_control.h"
#include "recording/tdelay.h"

namespace hv {

class StreamRecorder {
 public:
  static constexpr uint32_t kChunkBytes = 512;
  explicit StreamRecorder(Conduit* input);

  // One pass of the thread loop: reads one chunk and runs the state step.
  // Returns true when a chunk was read (the caller waits briefly otherwise).
  bool Pass();
  int State() const { return state_; }
  // The file being written, or none.
  RecordingFile* OpenRecording() { return File()->IsOpen() ? File() : nullptr; }
  // The final name of the last file finished (tests and reports).
  const std::string& LastFinishedName() const { return lastFinished_; }
  // Closes an open file (thread end): it keeps its temporary name.
  void Abandon();

 private:
  void Step(uint32_t got);
  void SetState(int state);
  // Goes to Failed: prints `message` (when given) and reports the recording as
  // not finished because of `what` (kept under its temporary name when `fileLeft`).
  void Fail(const char* message, const std::string& what, bool fileLeft);
  // The writer announced a new stream format (the reader now stands behind it).
  void StreamFormatChanged();
  // The format in force for the bytes the recorder reads now.
  WaveFormat StreamFormat();
  void ConfigureDelay();
  // Waits for the first samples of a (continued) recording from now on.
  void AwaitSamples();
  // Opens the next file under the first free name at or after start_.
  bool OpenFile();
  bool WriteChunk(uint32_t count);
  // False when the close failed (Failed); `renamed` says whether the file got
  // its final name (a failed rename is reported and the recorder goes on).
  bool CloseAndRename(bool settle = true, bool* renamed = nullptr);
  RecordingFile* File() { return files_.Of(*kind_); }

  Conduit* input_;
  int state_ = kStreamIdle;
  uint8_t chunk_[kChunkBytes];
  int64_t bytesToRecord_ = 0;
  int mode_ = 0;            // the record mode of the recording in progress
  const RecordingKind* kind_ = &RecordingKinds()[0];  // of the file in progress
  RecordingFileSet files_;
  TDelay delay_;
  FormatWithAttribute record_;   // the open file's record (kept for a roll-over)
  AttributeInputs attribute_;    // the open file's attribute inputs
  bool hasAttribute_ = false;
  StreamTime start_;             // start time of the next file
  std::string temporary_, final_, lastFinished_;
  bool failureReported_ = false;
  NameMemory names_;  // the start of the last name taken
};

}  // namespace hv
