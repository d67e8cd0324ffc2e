// The kinds of recording file the station reads and writes, in one table.
// Reading a recording tries each kind in the table's order on the file's
// content and takes the first whose reader accepts it; a recording's name ends
// in its kind's extension (".<ext>" when finished, ".tmp_<ext>" while being
// written). A new kind is its RecordingFile implementation and one line in the
// table (recording_kinds.cpp).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.h"

namespace hv {

enum class RecordingKindId { kWave, kWavPack };

struct RecordingKind {
  RecordingKindId id;
  const char* name;       // in messages: "WAV", "WavPack"
  const char* extension;  // without the dot: "wav", "wv"
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

// The kind whose extension `extension` (with its dot: ".wav") is, compared
// exactly or, with `anyCase`, in any case; nullptr for none.
const RecordingKind* RecordingKindOfExtension(std::string_view extension, bool anyCase = false);

}  // namespace hv
