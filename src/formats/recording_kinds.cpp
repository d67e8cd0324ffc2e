#include "formats/recording_kinds.h"

#include <cctype>

#include "formats/wave_file.h"
#include "formats/wavpack_file.h"

namespace hv {

namespace {

template <class File>
std::unique_ptr<RecordingFile> Make() {
  return std::make_unique<File>();
}

// Reading tries the kinds in this order: a RIFF/WAVE header first (a quick
// check that refuses anything else at once), then a WavPack stream.
constexpr RecordingKind kKinds[] = {
    {RecordingKindId::kWave, "WAV", "wav", 0, &Make<WaveFile>},
    {RecordingKindId::kWavPack, "WavPack", "wv", 1, &Make<WavPackFile>},
};

bool SameText(std::string_view a, std::string_view b, bool anyCase) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (anyCase ? std::tolower(x) != std::tolower(y) : x != y) return false;
  }
  return true;
}

}  // namespace

std::span<const RecordingKind> RecordingKinds() { return kKinds; }

const RecordingKind& RecordingKindOf(RecordingKindId id) {
  for (const RecordingKind& kind : kKinds)
    if (kind.id == id) return kind;
  return kKinds[0];
}

std::unique_ptr<RecordingFile> OpenRecording(const std::string& path, FormatWithAttribute* record,
                                             const RecordingKind** kind) {
  for (const RecordingKind& k : kKinds) {
    *record = FormatWithAttribute();
    std::unique_ptr<RecordingFile> file = k.make();
    if (file->Open(path.c_str(), record, RecordingFile::kRead) == kFileOk) {
      if (kind) *kind = &k;
      return file;
    }
  }
  *record = FormatWithAttribute();
  if (kind) *kind = nullptr;
  return nullptr;
}

const RecordingKind& RecordingKindForOutputFormat(int outputFileFormat) {
  for (const RecordingKind& kind : kKinds)
    if (kind.outputFormat == outputFileFormat) return kind;
  return RecordingKindOf(RecordingKindId::kWavPack);
}

const RecordingKind* RecordingKindOfExtension(std::string_view extension, bool anyCase) {
  if (extension.empty() || extension[0] != '.') return nullptr;
  for (const RecordingKind& kind : kKinds)
    if (SameText(extension.substr(1), kind.extension, anyCase)) return &kind;
  return nullptr;
}

RecordingFile* RecordingFileSet::Of(const RecordingKind& kind) {
  const size_t index = size_t(&kind - kKinds);
  if (files_.size() <= index) files_.resize(std::size(kKinds));
  if (!files_[index]) files_[index] = kind.make();
  return files_[index].get();
}

}  // namespace hv
