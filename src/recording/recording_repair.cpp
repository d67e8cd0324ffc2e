#include "recording/recording_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/file_ops.h"
#include "core/le_bytes.h"
#include "core/outside_file.h"
#include "formats/recording_kinds.h"
#include "formats/wave_file.h"

namespace hv {

namespace {

bool PatchAt(int fd, uint64_t offset, uint32_t value) {
  uint8_t b[4];
  PutLe32(b, value);
  return pwrite(fd, b, 4, off_t(offset)) == 4;
}

// Completes the headers of a crash-cut WAV file; false with `message` set.
bool FinishWave(const std::string& path, WaveFile& reader, RepairResult* r) {
  const FormatWithAttribute* rec = reader.ReadRecord();
  const uint32_t block = rec && rec->format.blockAlign ? rec->format.blockAlign : 2;
  const uint64_t dataAt = reader.DataOffset(), size = reader.DataSize(), factAt = reader.FactValueOffset();
  reader.Close();
  if (size > 0xFFFFFFFFull - 1024) {
    r->message = "too long for one WAV file";
    return false;
  }
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    r->message = "cannot open it for writing";
    return false;
  }
  uint64_t end = dataAt + size;
  bool ok = ftruncate(fd, off_t(end)) == 0;  // drops a partial frame
  if (ok && (size & 1)) {
    ok = pwrite(fd, "", 1, off_t(end)) == 1;  // the pad byte of an odd data chunk
    ++end;
  }
  ok = ok && PatchAt(fd, dataAt - 4, uint32_t(size)) && PatchAt(fd, 4, uint32_t(end - 8));
  if (ok && factAt) ok = PatchAt(fd, factAt, 0);
  ok = fsync(fd) == 0 && ok;
  close(fd);
  if (!ok) r->message = "writing the headers failed";
  r->samples = size / block;
  return ok;
}

}  // namespace

RepairResult RepairRecording(const std::string& path) {
  RepairResult r;
  const std::string name = FileNamePart(path);
  const size_t tmp = name.rfind(".tmp_");
  if (tmp == std::string::npos || tmp + 5 >= name.size()) {
    r.message = "not a temporary recording name (.tmp_wav or .tmp_wv)";
    return r;
  }
  r.finalName = FolderPart(path) + name.substr(0, tmp) + "." + name.substr(tmp + 5);

  if (std::string why; !CheckRegularFile(path, &why)) {  // a named pipe would block the readers
    r.message = why;
    return r;
  }
  FormatWithAttribute record;
  const RecordingKind* kind = nullptr;
  std::unique_ptr<RecordingFile> file = OpenRecording(path, &record, &kind);
  if (!file) {
    r.message = "neither a readable WAV nor a WavPack recording";
    return r;
  }
  if (kind->id == RecordingKindId::kWave) {
    WaveFile& wave = static_cast<WaveFile&>(*file);
    if (wave.ReadToEndOfFile()) {
      if (!FinishWave(path, wave, &r)) return r;
    } else {
      r.samples = wave.DataSize() / (record.format.blockAlign ? record.format.blockAlign : 2);
      wave.Close();
    }
  } else {
    // Counted by reading: a stream cut off by a crash may not know its length.
    uint8_t buffer[1024];
    uint32_t got = 0;
    uint64_t bytes = 0;
    while (file->Read(buffer, &got) == kFileOk && got > 0) bytes += got;
    r.samples = bytes / record.format.blockAlign;
    file->Close();
  }
  if (!RenameNoReplace(path, r.finalName)) {
    r.message = "cannot rename it to " + r.finalName + " (the name may exist)";
    return r;
  }
  r.ok = true;
  return r;
}

int RunRepair(const std::string& path) {
  RepairResult r = RepairRecording(path);
  if (!r.ok) {
    std::fprintf(stderr, "halvane: cannot repair %s: %s\n", path.c_str(), r.message.c_str());
    return 1;
  }
  std::printf("Repaired %s as %s: %llu samples saved\n", path.c_str(), r.finalName.c_str(),
              static_cast<unsigned long long>(r.samples));
  return 0;
}

}  // namespace hv
