// The kinds of recording file the station reads and writes, in one table.
// Reading a recording tries each kind in the table's order on the file's
// content and takes the first whose reader accepts it; a recording's name ends
// in its kind's extension (".<ext>" when finished, ".tmp_<ext>" while being
// written); a new recording takes the kind its output-format setting names. A
// new kind is its RecordingFile implementation and one line in the table
// (recording_kinds.cpp).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/format_record.h"

namespace hv {

enum class RecordingKindId { kWave, kWavPack };

struct RecordingKind {
  RecordingKindId id;
  const char* name;       // in messages: "WAV", "WavPack"
  const char* extension;  // without the dot: "wav", "wv"
  int outputFormat;       // the OutputFileFormat setting that chooses it for new recordings
  std::unique_ptr<RecordingFile> (*make)();
};

// Every kind, in the order reading tries them.
std::span<const RecordingKind> RecordingKinds();
const RecordingKind& RecordingKindOf(RecordingKindId id);

// Opens `path` for reading with the first kind whose reader accepts it and
// fills `record` with its format and attribute. Returns the open file and sets
// `*kind` (when given); nullptr when no kind accepts the file.
std::unique_ptr<RecordingFile> OpenRecording(const std::string& path, FormatWithAttribute* record,
                                             const RecordingKind** kind = nullptr);

// The kind new recordings take under an OutputFileFormat setting: the kind
// that claims the value; a value no kind claims is WavPack, as stored settings
// have always meant (0 WAV, anything else WavPack).
const RecordingKind& RecordingKindForOutputFormat(int outputFileFormat);

// The kind whose extension `extension` (with its dot: ".wav") is, compared
// exactly or, with `anyCase`, in any case; nullptr for none.
const RecordingKind* RecordingKindOfExtension(std::string_view extension, bool anyCase = false);

// One file object per kind, each made on first use: what a recorder writes
// through, taking the kind of each new file from the setting.
class RecordingFileSet {
 public:
  RecordingFile* Of(const RecordingKind& kind);

 private:
  std::vector<std::unique_ptr<RecordingFile>> files_;
};

}  // namespace hv
