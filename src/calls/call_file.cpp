#include "calls/call_file.h"

#include "formats/guano.h"
#include "formats/playback_file.h"
#include "formats/playback_file_info.h"
#include "formats/sample_reader.h"

namespace hv {

namespace {
uint64_t RealRate(const std::string& path, const SampleReader& source) {
  uint64_t rate = 0;
  PlaybackFile file;
  PlaybackFileInfo info;
  if (file.Open(path)) {
    ReadPlaybackFileInfo(file, path, &info);
    rate = info.realRate;
  }
  // A WavPack stream without an attribute record may still carry GUANO in its tag.
  GuanoInfo guano;
  if (!info.attributeParsed && ParseGuano(source.WavPackGuano(), &guano))
    rate = uint64_t(source.Record().format.sampleRate) * guano.expansion;
  return rate ? rate : source.Record().format.sampleRate;
}
}  // namespace

bool DetectFileCalls(const std::string& path, const CallDetectorSettings& settings, FileCalls* out,
                     std::string* error, const std::function<void(uint64_t, uint64_t)>& progress) {
  SampleReader source;
  if (!source.Open(path, error)) return false;
  out->path = path;
  out->realRate = RealRate(path, source);
  out->seconds = double(source.Frames()) / double(out->realRate);
  out->calls.clear();
  CallDetector detector(double(out->realRate), settings);
  std::vector<float> block;
  uint64_t done = 0;
  for (;;) {
    block.clear();
    size_t n = source.ReadSamples(1 << 16, &block);
    if (n == 0) break;
    detector.Push(block.data(), n);
    done += n;
    if (progress) progress(done, source.Frames());
  }
  detector.Finish();
  out->calls = detector.Take();
  return true;
}

int CountPasses(const std::vector<CallMeasure>& calls, double maxGapS) {
  int passes = 0;
  double lastEnd = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (i == 0 || calls[i].startS - lastEnd >= maxGapS) ++passes;
    lastEnd = calls[i].endS;
  }
  return passes;
}

}  // namespace hv
