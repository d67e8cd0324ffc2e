#include "formats/wavpack_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <wavpack/wavpack.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/le_bytes.h"
#include "core/runtime.h"
#include "formats/guano_writer.h"

namespace hv {

namespace {
constexpr int kReadFlags = OPEN_TAGS | OPEN_WRAPPER | OPEN_NORMALIZE;  // 0x16
constexpr int kNormOffset = 15;  // float streams come out scaled to +/-32768
}  // namespace

WavPackFile::~WavPackFile() { Close(); }

uint32_t WavPackFile::Open(const char* name, FormatWithAttribute* record, int mode) {
  if (!name || !*name || !record) return kFileBadArgument;
  if (context_) Close();
  if (mode == kWrite) return OpenWrite(name, record);
  if (mode == kRead) return OpenRead(name, record);
  return kFileBadArgument;
}

// Runs on the thread that writes or closes the file (called back by the library).
int WavPackFile::BlockWriter(void* id, void* data, int32_t count) {
  auto* self = static_cast<WavPackFile*>(id);
  if (self->writeError_) return 0;
  if (!self->out_ || !data || count <= 0) return 1;
  if (std::fwrite(data, 1, size_t(count), self->out_) != size_t(count)) {
    self->systemError_ = errno;
    std::fclose(self->out_);
    self->out_ = nullptr;
    self->writeError_ = true;
    return 0;
  }
  self->totalWritten_ += uint32_t(count);
  if (self->firstBlockLength_ == 0) self->firstBlockLength_ = uint32_t(count);
  return 1;
}

uint32_t WavPackFile::OpenWrite(const char* name, const FormatWithAttribute* record) {
  const WaveFormat& f = record->format;
  if (f.extraSize > kAttributeRoom || f.channels == 0 || f.blockAlign == 0 || f.blockAlign % f.channels != 0 ||
      f.blockAlign / f.channels > 4)
    return kFileBadArgument;
  totalWritten_ = 0;
  dataBytes_ = 0;
  firstBlockLength_ = 0;
  writeError_ = false;
  systemError_ = 0;
  context_ = WavpackOpenFileOutput(BlockWriter, this, nullptr);
  if (!context_) return kFileFail;
  // Created exclusively: an existing file is never truncated.
  const int fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  out_ = fd < 0 ? nullptr : fdopen(fd, "w+b");
  if (!out_) {
    systemError_ = errno;
    if (fd >= 0) {
      ::close(fd);
      unlink(name);
    }
    WavpackCloseFile(context_);
    context_ = nullptr;
    return systemError_ == EEXIST && fd < 0 ? kFileExists : kFileFail;
  }
  std::memcpy(&record_, record, 18 + size_t(f.extraSize));
  WavpackConfig config;
  std::memset(&config, 0, sizeof config);
  config.bits_per_sample = f.bitsPerSample;
  config.bytes_per_sample = f.blockAlign / f.channels;
  config.num_channels = f.channels;
  config.sample_rate = int32_t(f.sampleRate);
  // Front centre for mono, front left and right for stereo; more channels unassigned.
  config.channel_mask = f.channels <= 2 ? 5 - f.channels : 0;
  if (!WavpackSetConfiguration(context_, &config, uint32_t(-1)) || !WavpackPackInit(context_)) {
    WavpackCloseFile(context_);
    context_ = nullptr;
    std::fclose(out_);
    out_ = nullptr;
    unlink(name);  // ours, made above, and holding nothing
    return kFileFail;
  }
  mode_ = kWrite;
  return kFileOk;
}

uint32_t WavPackFile::Write(uint32_t count, const void* bytes, uint32_t* taken) {
  if (taken) *taken = 0;
  if (!context_ || mode_ != kWrite) return kFileNotInitialized;
  if (!bytes && count) return kFileBadArgument;
  const WaveFormat& f = record_.format;
  uint32_t frames = count / f.blockAlign;
  if (dataBytes_ + uint64_t(frames) * f.blockAlign > kMaxRecordingDataBytes) return kFileFail;
  size_t samples = size_t(frames) * f.channels;
  if (samples > samples_.size()) samples_.resize(samples);
  const int bps = f.blockAlign / f.channels;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < samples; ++i, p += bps) {
    int32_t v;
    switch (bps) {
      case 1: v = int32_t(p[0]) - 128; break;  // unsigned 8-bit PCM, re-centred as the library expects
      case 2: v = int16_t(GetLe16(p)); break;
      case 3: v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8; break;
      default: v = int32_t(GetLe32(p)); break;
    }
    samples_[i] = v;
  }
  if (frames && !WavpackPackSamples(context_, samples_.data(), frames)) {
    DiagPrint("Write Error %s\n", WavpackGetErrorMessage(context_));
    return kFileFail;
  }
  dataBytes_ += uint64_t(frames) * f.blockAlign;
  if (taken) *taken = frames * f.blockAlign;
  return kFileOk;
}

bool WavPackFile::PatchFirstBlock() {
  if (!out_ || firstBlockLength_ == 0) return false;
  std::vector<uint8_t> block(firstBlockLength_);
  if (std::fflush(out_) != 0 || std::fseek(out_, 0, SEEK_SET) != 0 ||
      std::fread(block.data(), 1, block.size(), out_) != block.size())
    return false;
  WavpackUpdateNumSamples(context_, block.data());
  return std::fseek(out_, 0, SEEK_SET) == 0 && std::fwrite(block.data(), 1, block.size(), out_) == block.size() &&
         std::fflush(out_) == 0;
}

uint32_t WavPackFile::Close() {
  if (!context_) {
    mode_ = kClosed;
    return kFileNotInitialized;
  }
  if (mode_ == kRead) {
    WavpackCloseFile(context_);
    context_ = nullptr;
    mode_ = kClosed;
    return kFileOk;
  }
  bool ok = WavpackFlushSamples(context_) != 0;
  if (writeError_) ok = false;
  // One APEv2 tag holds the attribute item and, when asked for, the GUANO item.
  bool tagged = false;
  if (ok && record_.format.extraSize > 0)
    tagged = WavpackAppendTagItem(context_, "SONO_ATTR", record_.attribute, record_.format.extraSize) != 0;
  if (ok && guanoMetadata_) {
    const std::string text = ComposeGuanoText(record_, uint64_t(WavpackGetSampleIndex(context_)), guanoExtra_);
    if (WavpackAppendTagItem(context_, "GUANO", text.data(), int(text.size()))) tagged = true;
  }
  if (tagged && !WavpackWriteTag(context_)) record_.format.extraSize = 0;  // the tag is dropped; the audio stays valid
  if (ok) ok = WavpackFlushSamples(context_) != 0 && !writeError_;
  if (ok && WavpackGetSampleIndex(context_) != WavpackGetNumSamples(context_)) {
    ok = PatchFirstBlock();
    if (!ok) systemError_ = errno;
  }
  WavpackCloseFile(context_);
  context_ = nullptr;
  if (out_ && std::fclose(out_) != 0 && ok) {
    systemError_ = errno;
    ok = false;
  }
  out_ = nullptr;
  mode_ = kClosed;
  return ok ? kFileOk : kFileFail;
}

uint32_t WavPackFile::OpenRead(const char* name, FormatWithAttribute* record) {
  char error[128] = {};
  context_ = WavpackOpenFileInput(name, error, kReadFlags, kNormOffset);
  if (!context_) return kFileFail;
  int channels = WavpackGetNumChannels(context_);
  int bits = WavpackGetBitsPerSample(context_);
  int bytesPerSample = WavpackGetBytesPerSample(context_);
  readFloat_ = (WavpackGetMode(context_) & MODE_FLOAT) != 0;
  if (channels <= 0 || channels > 256 || bits <= 0 || bits > 32 || bytesPerSample <= 0) {
    WavpackCloseFile(context_);
    context_ = nullptr;
    return kFileFail;
  }
  readBits_ = bits;
  // Everything deeper than 8 bits is delivered as 16-bit samples.
  outBytesPerSample_ = (bits <= 8 && !readFloat_) ? 1 : 2;
  FormatWithAttribute& r = record_;
  r = FormatWithAttribute();
  r.format.formatTag = 1;
  r.format.channels = uint16_t(channels);
  r.format.sampleRate = WavpackGetSampleRate(context_);
  r.format.bitsPerSample = uint16_t(outBytesPerSample_ * 8);
  r.format.blockAlign = uint16_t(outBytesPerSample_ * channels);
  r.format.avgBytesPerSec = r.format.blockAlign * r.format.sampleRate;
  WavpackGetNumTagItems(context_);
  char value[kAttributeRoom + 1] = {};
  int n = WavpackGetTagItem(context_, "SONO_ATTR", value, sizeof value);
  if (n < 0) n = 0;
  if (n > kAttributeRoom) n = kAttributeRoom;
  std::memcpy(r.attribute, value, size_t(n));
  r.format.extraSize = uint16_t(n);
  guanoText_.clear();
  frameCount_ = WavpackGetNumSamples64(context_);
  int guanoLength = WavpackGetTagItem(context_, "GUANO", nullptr, 0);
  if (guanoLength > 0 && guanoLength <= 65536) {
    std::vector<char> guano(size_t(guanoLength) + 1);
    int got = WavpackGetTagItem(context_, "GUANO", guano.data(), int(guano.size()));
    if (got > 0) guanoText_.assign(guano.data(), size_t(std::min(got, guanoLength)));
  }
  fileLength_ = WavpackGetFileSize(context_);
  *record = r;
  mode_ = kRead;
  return kFileOk;
}

uint32_t WavPackFile::Read(void* buffer, uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!context_ || mode_ != kRead) return kFileNotInitialized;
  if (!buffer) return kFileBadArgument;
  const uint32_t channels = record_.format.channels;
  const uint32_t frames = 1024 / record_.format.blockAlign;
  if (samples_.size() < size_t(frames) * channels) samples_.resize(size_t(frames) * channels);
  uint32_t got = WavpackUnpackSamples(context_, samples_.data(), frames);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  const size_t count = size_t(got) * channels;
  for (size_t i = 0; i < count; ++i) {
    int32_t v = samples_[i];
    if (outBytesPerSample_ == 1) {
      *out++ = uint8_t(v);
      continue;
    }
    if (readFloat_) {
      float x;
      std::memcpy(&x, &v, 4);
      float r = std::nearbyint(x);
      v = std::isnan(r) ? 0 : r >= 32767.0f ? 32767 : r <= -32768.0f ? -32768 : int32_t(r);
    } else if (readBits_ > 16) {
      v >>= (readBits_ - 16);  // the top 16 bits of a deeper sample
    }
    PutLe16(out, uint16_t(int16_t(v)));
    out += 2;
  }
  if (bytesRead) *bytesRead = got * record_.format.blockAlign;
  return kFileOk;
}

}  // namespace hv
