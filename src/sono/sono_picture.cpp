#include "sono/sono_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "display/display_colours.h"
#include "display/sonogram_image.h"
#include "dsp/power_fft.h"
#include "dsp/station_level.h"
#include "formats/guano.h"
#include "formats/guano_writer.h"
#include "formats/playback_file.h"
#include "formats/playback_file_info.h"
#include "formats/sample_reader.h"
#include "formats/sono_attribute.h"
#include "sono/picture_text.h"
#include "sono/png_writer.h"

namespace hv {

namespace {

constexpr int kWindow = SpectrumSFFT::kSize;
constexpr int kBins = 128;
constexpr int kTitleHeight = 16;
constexpr int kLeftMargin = 40;
constexpr int kBottomMargin = 24;
constexpr int kRightMargin = 12;
constexpr uint32_t kTextColour = kBlackPixel;
// A recording is drawn on its own level scale: no receiver offset is added.
constexpr float kRecordingLevelOffset = 0.0f;

// The real rate, device, comment and start time as a replay would take them.
struct RecordingFacts {
  uint64_t realRate = 0;
  std::string device, comment;
  StreamTime start;
  bool hasStart = false;
};

RecordingFacts ReadFacts(const std::string& path, const SampleReader& source) {
  RecordingFacts facts;
  PlaybackFile file;
  PlaybackFileInfo info;
  if (file.Open(path)) {
    ReadPlaybackFileInfo(file, path, &info);
    facts.realRate = info.realRate;
    // The replay's placeholders for unknown values are left out of the title.
    if (info.attributeParsed || info.hasGuano) {
      facts.device = info.deviceName == "<No device found>" ? "" : info.deviceName;
      facts.comment = info.comment == "<no comment>" ? "" : info.comment;
    }
    // Our own records: the whole comment, brackets inside it included.
    SonoAttribute parser;
    const std::string attribute = source.Record().AttributeText();
    int64_t r = 0, e = 10, k = 0;
    std::string body;
    if (info.attributeParsed && parser.ParseRecord(int(attribute.size()), attribute.data(), &r, &e, &k, &body))
      facts.comment = AttributeComment(body);
    facts.start = info.startTime;
    facts.hasStart = info.startTime.utcSeconds != 0;
  }
  // A WavPack stream without an attribute record may still carry GUANO in its tag.
  GuanoInfo guano;
  if (!info.attributeParsed && ParseGuano(source.WavPackGuano(), &guano)) {
    facts.realRate = uint64_t(source.Record().format.sampleRate) * guano.expansion;
    if (!guano.DeviceName().empty()) facts.device = guano.DeviceName();
    if (!guano.note.empty()) facts.comment = guano.note;
    if (guano.hasTime) {
      facts.start = guano.time;
      facts.hasStart = true;
    }
  }
  if (facts.realRate == 0) facts.realRate = source.Record().format.sampleRate;
  return facts;
}

std::string TitleLine(const RecordingFacts& facts, const std::string& path) {
  std::string title = facts.device;
  if (facts.hasStart) {
    const int offset = -facts.start.biasMinutes;
    std::time_t local = facts.start.utcSeconds + std::time_t(offset) * 60;
    std::tm t{};
    gmtime_r(&local, &t);
    const int magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d UTC%c%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, facts.start.milliseconds,
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    title += std::string(title.empty() ? "" : "   ") + text;
  }
  if (!facts.comment.empty()) title += std::string(title.empty() ? "" : "   ") + facts.comment;
  if (title.empty()) title = path.substr(path.find_last_of('/') + 1);
  for (char& c : title)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return title;
}

// Reads the file once, front to back, and fills one column of 128 levels per
// plot column with the per-bin maximum of its windows.
class ColumnAnalysis {
 public:
  ColumnAnalysis(SampleReader* source, int columns) : source_(source), columns_(columns) {}

  void Run(std::vector<float>* levels) {
    const uint64_t n = source_->Frames();
    levels->assign(size_t(columns_) * kBins, kEmptyLevel);
    for (int column = 0; column < columns_ && n > 0; ++column) {
      const int64_t a = int64_t(n * uint64_t(column) / uint64_t(columns_));
      const int64_t b = int64_t(n * uint64_t(column + 1) / uint64_t(columns_));
      const int64_t share = b - a;
      int frames = 1;
      int64_t first = (a + b) / 2 - kWindow / 2, last = first;
      if (share > kWindow) {
        first = a;
        last = b - kWindow;
        frames = int(std::min<int64_t>(kMaxFramesPerColumn, (last - first) / (kWindow / 2) + 2));
      }
      std::fill(maximum_, maximum_ + kBins, 0.0f);
      for (int f = 0; f < frames; ++f) {
        const int64_t start = frames == 1 ? first : first + (last - first) * f / (frames - 1);
        Fetch(start);
        if (!sfft_.PowerSpectrum(window_, kWindow, power_, kBins)) continue;
        for (int bin = 0; bin < kBins; ++bin) maximum_[bin] = std::max(maximum_[bin], power_[bin]);
      }
      StationLevels(maximum_, kBins, kWindow, kRecordingLevelOffset, &(*levels)[size_t(column) * kBins]);
      Drop(std::min(a, first));
    }
  }

 private:
  // window_ = samples start .. start + 255, zero outside the file.
  void Fetch(int64_t start) {
    const int64_t end = start + kWindow;
    while (bufferStart_ + int64_t(buffer_.size()) < end && !ended_) {
      if (source_->ReadSamples(1 << 16, &buffer_) == 0) ended_ = true;
    }
    for (int i = 0; i < kWindow; ++i) {
      const int64_t at = start + i - bufferStart_;
      window_[i] = (at >= 0 && at < int64_t(buffer_.size())) ? buffer_[size_t(at)] : 0.0f;
    }
  }

  // Forgets samples before `keepFrom` once enough of them have gathered.
  void Drop(int64_t keepFrom) {
    const int64_t drop = keepFrom - bufferStart_;
    if (drop < (1 << 20) || drop > int64_t(buffer_.size())) return;
    buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
    bufferStart_ += drop;
  }

  SampleReader* source_;
  int columns_;
  SpectrumSFFT sfft_;
  std::vector<float> buffer_;
  int64_t bufferStart_ = 0;
  bool ended_ = false;
  float window_[kWindow];
  float power_[kBins];
  float maximum_[kBins];
};

// 1, 2 or 5 times a power of ten, so that `span` holds about `ticks` steps.
double NiceStep(double span, double ticks) {
  if (!(span > 0.0)) return 1.0;
  double raw = span / ticks;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw) return m * power;
  return 10.0 * power;
}

std::string Number(double value, double step) {
  char text[32];
  int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
  std::snprintf(text, sizeof text, "%.*f", std::min(decimals, 6), value);
  return text;
}

void Fill(SonoPicture* p, int x, int y, int w, int h, uint32_t colour) {
  for (int row = std::max(y, 0); row < std::min(y + h, p->height); ++row)
    for (int col = std::max(x, 0); col < std::min(x + w, p->width); ++col) p->pixels[size_t(row) * p->width + col] = colour;
}

void Text(SonoPicture* p, const std::string& text, int x, int y) {
  DrawPictureText(&p->pixels, p->width, p->height, text.c_str(), x, y, kTextColour);
}

int TextWidth(const std::string& text) {
  int w = 0, h = 0;
  PictureTextExtent(text.c_str(), &w, &h);
  return w;
}

void DrawAxes(SonoPicture* p) {
  const int left = p->plotLeft, top = p->plotTop, w = p->plotWidth, h = p->plotHeight;
  // Frequency axis, kHz.
  const double topKHz = double(p->realRate) / 2000.0;
  const double fStep = NiceStep(topKHz, std::max(2.0, h / 40.0));
  for (double f = 0.0; f <= topKHz + 1e-9; f += fStep) {
    int y = SonoRowForFrequency(*p, f * 1000.0) + top;
    if (f == 0.0) y = top + h - 1;
    Fill(p, left - 4, y, 4, 1, kTextColour);
    std::string label = Number(f, fStep);
    Text(p, label, left - 6 - TextWidth(label), y - 5);
  }
  Text(p, "kHz", 4, 3);
  // Time axis, ms.
  const double ms = p->seconds * 1000.0;
  const double tStep = NiceStep(ms, std::max(2.0, w / 80.0));
  for (double t = 0.0; t <= ms + 1e-9; t += tStep) {
    int x = left + (ms > 0.0 ? int(std::lround(t / ms * (w - 1))) : 0);
    Fill(p, x, top + h, 1, 4, kTextColour);
    std::string label = Number(t, tStep);
    int lx = std::clamp(x - TextWidth(label) / 2, 0, p->width - TextWidth(label));
    Text(p, label, lx, top + h + 5);
  }
  Text(p, "ms", p->width - TextWidth("ms") - 2, top + h + 14);
  // Frame around the plot.
  Fill(p, left - 1, top - 1, w + 2, 1, kTextColour);
  Fill(p, left - 1, top + h, w + 2, 1, kTextColour);
  Fill(p, left - 1, top - 1, 1, h + 2, kTextColour);
  Fill(p, left + w, top - 1, 1, h + 2, kTextColour);
}

}  // namespace

int SonoRowForFrequency(const SonoPicture& picture, double frequencyHz) {
  const double nyquist = double(picture.realRate) / 2.0;
  if (!(nyquist > 0.0) || picture.plotHeight <= 0) return 0;
  // The row whose bin holds the frequency: bin k covers (k +- 0.5) x nyquist / 128.
  double bin = std::floor(frequencyHz / nyquist * kBins + 0.5);
  bin = std::clamp(bin, 0.0, double(kBins - 1));
  // Rows from the bottom that show bin k: [k x H / 128, (k + 1) x H / 128).
  const double middle = (bin + 0.5) * picture.plotHeight / kBins;
  return std::clamp(picture.plotHeight - 1 - int(middle), 0, picture.plotHeight - 1);
}

bool MakeSonoPicture(const std::string& path, const SonoOptions& options, SonoPicture* p, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (options.width < kLeftMargin + kRightMargin + 16 || options.height < kTitleHeight + kBottomMargin + 16 ||
      options.width > 16384 || options.height > 16384) {
    *error = "picture size out of range";
    return false;
  }
  SampleReader source;
  if (!source.Open(path, error)) return false;
  const RecordingFacts facts = ReadFacts(path, source);

  *p = SonoPicture();
  p->width = options.width;
  p->height = options.height;
  p->pixels.assign(size_t(p->width) * p->height, kButtonFacePixel);
  p->plotLeft = kLeftMargin;
  p->plotTop = kTitleHeight + 4;
  p->plotWidth = p->width - kLeftMargin - kRightMargin;
  p->plotHeight = p->height - p->plotTop - kBottomMargin;
  p->realRate = facts.realRate;
  p->seconds = double(source.Frames()) / double(facts.realRate);
  p->title = TitleLine(facts, path);
  p->hasStart = facts.hasStart;
  p->start = facts.start;

  ColumnAnalysis(&source, p->plotWidth).Run(&p->levels);

  const float lower = options.brightness - options.contrast / 2.0f;
  const float upper = lower + options.contrast;
  for (int row = 0; row < p->plotHeight; ++row) {
    const int bin = std::min(kBins - 1, (p->plotHeight - 1 - row) * kBins / p->plotHeight);
    uint32_t* line = &p->pixels[size_t(p->plotTop + row) * p->width + p->plotLeft];
    for (int column = 0; column < p->plotWidth; ++column)
      line[column] = LevelColour(p->levels[size_t(column) * kBins + bin], lower, upper);
  }
  DrawAxes(p);
  Text(p, p->title, p->plotLeft, 3);
  return true;
}

bool WriteSonoPicture(const std::string& path, const std::string& pngPath, const SonoOptions& options,
                      std::string* error) {
  SonoPicture picture;
  return MakeSonoPicture(path, options, &picture, error) &&
         WritePng(pngPath, picture.pixels.data(), picture.width, picture.height, error);
}

}  // namespace hv
