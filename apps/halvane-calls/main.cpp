// halvane-calls: finds the echolocation calls in recordings (WAV or WavPack
// files, or folders of them, searched recursively) and writes one CSV row per
// call to standard output, or JSON lines with --json. A summary per file goes
// to standard error as text, or to standard output as a JSON line with --json.
// On a terminal a progress line shows on standard error.
//
// --picture DIR writes DIR/NAME.png for each recording NAME.wav: its
// spectrogram with a box around each call found (start to end, lowest to
// highest frequency); --picture-width sets its width in pixels.
// --low-khz sets the lowest frequency searched for calls.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "calls/call_file.h"
#include "calls/call_report.h"
#include "formats/recording_kinds.h"
#include "sono/call_picture.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: halvane-calls [--json] [--low-khz KHZ] [--picture DIR [--picture-width PIXELS]] FILE|FOLDER...\n";

// A number from an option's value within [low, high]; false when it is none.
bool OptionNumber(const char* text, double low, double high, double* out) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= low && v <= high)) return false;
  *out = v;
  return true;
}

bool IsRecording(const fs::path& p) {
  return hv::RecordingKindOfExtension(p.extension().string(), true) != nullptr;
}

// The files named and the recordings inside the folders named, each folder's sorted.
bool CollectFiles(const std::vector<std::string>& args, std::vector<std::string>* files) {
  bool ok = true;
  for (const std::string& arg : args) {
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<std::string> found;
      for (auto it = fs::recursive_directory_iterator(arg, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && IsRecording(it->path())) found.push_back(it->path().string());
      }
      if (ec) {
        std::fprintf(stderr, "halvane-calls: %s: %s\n", arg.c_str(), ec.message().c_str());
        ok = false;
      }
      std::sort(found.begin(), found.end());
      files->insert(files->end(), found.begin(), found.end());
    } else {
      files->push_back(arg);
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::string pictureDir;
  hv::SonoOptions pictureOptions;
  hv::CallDetectorSettings settings;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    double value = 0;
    if (a == "--json") json = true;
    else if (a == "--picture" && hasValue) pictureDir = argv[++i];
    else if (a == "--picture-width" && hasValue && OptionNumber(argv[i + 1], 256, 16384, &value)) {
      pictureOptions.width = int(value);
      ++i;
    } else if (a == "--low-khz" && hasValue && OptionNumber(argv[i + 1], 0, 250, &value)) {
      settings.lowHz = float(value * 1000.0);
      ++i;
    }
    else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      std::fprintf(stderr, "halvane-calls: bad option or value %s\n%s", a.c_str(), kUsage);
      return 2;
    } else if (a == "--") {
      for (++i; i < argc; ++i) args.push_back(argv[i]);
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<std::string> files;
  bool ok = CollectFiles(args, &files);
  const bool terminal = isatty(STDERR_FILENO) == 1;
  if (!json) std::printf("%s\n", hv::CallCsvHeader().c_str());
  for (size_t k = 0; k < files.size(); ++k) {
    const std::string& path = files[k];
    int lastPercent = -1;
    auto progress = [&](uint64_t done, uint64_t total) {
      int percent = total ? int(done * 100 / total) : 0;
      if (!terminal || percent == lastPercent) return;
      lastPercent = percent;
      std::fprintf(stderr, "\r\033[K%zu/%zu %s %d%%", k + 1, files.size(), path.c_str(), percent);
    };
    hv::FileCalls result;
    std::string error;
    bool read = hv::DetectFileCalls(path, settings, &result, &error, progress);
    if (terminal) std::fputs("\r\033[K", stderr);
    if (!read) {
      std::fprintf(stderr, "halvane-calls: %s: %s\n", path.c_str(), error.c_str());
      ok = false;
      continue;
    }
    for (const hv::CallMeasure& c : result.calls) {
      std::string line = json ? hv::CallJsonLine(path, c) : hv::CallCsvRow(path, c);
      std::printf("%s\n", line.c_str());
    }
    if (!pictureDir.empty()) {
      const std::string png = (fs::path(pictureDir) / fs::path(path).stem()).string() + ".png";
      if (!hv::WriteCallPicture(path, result.calls, png, pictureOptions, &error)) {
        std::fprintf(stderr, "halvane-calls: %s: %s\n", png.c_str(), error.c_str());
        ok = false;
      }
    }
    std::string summary = hv::SummaryLine(result, json);
    std::fprintf(json ? stdout : stderr, "%s\n", summary.c_str());
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}
