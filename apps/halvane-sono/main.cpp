// halvane-sono: draws the spectrogram of a recording into a PNG picture, or of
// many recordings into a folder with a contact sheet.
//   halvane-sono FILE -o PICTURE.png [options]
//   halvane-sono FILE|FOLDER... -o OUTFOLDER [options]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "calls/call_file.h"
#include "sono/contact_sheet.h"
#include "sono/sono_batch.h"
#include "sono/sono_picture.h"

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: halvane-sono FILE -o PICTURE.png [--width N] [--height N] [--brightness DB] [--contrast DB]\n"
    "       halvane-sono FILE|FOLDER... -o OUTFOLDER [same options]\n"
    "  With a folder, several files or an output folder (existing, or ending in /): a picture of\n"
    "  each recording and an index.html contact sheet sorted by time go into OUTFOLDER.\n";

bool Number(const char* text, double low, double high, double* value) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= low && v <= high)) return false;
  *value = v;
  return true;
}

// Control characters of outside names shown as "?", so one name is one line.
std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

int OnePicture(const std::string& input, const std::string& output, const hv::SonoOptions& options) {
  std::string error = hv::PictureTargetRefusal(output, {input});
  if (error.empty() && hv::WriteSonoPicture(input, output, options, &error)) return 0;
  std::fprintf(stderr, "halvane-sono: %s\n", Printable(error).c_str());
  return 1;
}

int Batch(const std::vector<std::string>& inputs, const std::string& output, const hv::SonoOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::string> recordings;
  std::string error;
  if (!hv::CollectRecordings(inputs, &recordings, &error)) {
    std::fprintf(stderr, "halvane-sono: %s\n", Printable(error).c_str());
    return 1;
  }
  if (recordings.empty()) {
    std::fprintf(stderr, "halvane-sono: no recordings (.wav or .wv files) found\n");
    return 1;
  }
  std::error_code ec;
  fs::create_directories(output, ec);
  if (!fs::is_directory(output, ec)) {
    std::fprintf(stderr, "halvane-sono: cannot make the folder %s\n", Printable(output).c_str());
    return 1;
  }
  const bool terminal = isatty(STDERR_FILENO) == 1;
  const size_t total = recordings.size();
  auto progress = [&](size_t done, const hv::SheetEntry& last) {
    std::string name = Printable(fs::path(last.recording).filename().string());
    if (!last.error.empty()) {
      if (terminal) std::fputs("\r\033[K", stderr);
      std::fprintf(stderr, "halvane-sono: %s: %s\n", name.c_str(), Printable(last.error).c_str());
    }
    if (terminal) {
      if (name.size() > 48) name = "..." + name.substr(name.size() - 45);
      std::fprintf(stderr, "\r\033[Kpicture %zu of %zu (%zu%%) %s", done, total, done * 100 / total, name.c_str());
      if (done == total) std::fputc('\n', stderr);
      std::fflush(stderr);
    }
  };
  const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
  // Each recording's calls, counted on the worker that draws it.
  auto countCalls = [](const std::string& recording) {
    hv::FileCalls found;
    std::string ignored;
    return hv::DetectFileCalls(recording, hv::CallDetectorSettings{}, &found, &ignored) ? int(found.calls.size()) : -1;
  };
  std::vector<hv::SheetEntry> entries =
      hv::MakePictures(recordings, output, options, threads, progress, countCalls);
  hv::SortByTime(&entries);
  size_t failed = 0;
  for (const hv::SheetEntry& e : entries) failed += !e.error.empty();

  std::string title = "Recordings";
  if (inputs.size() == 1) title += " of " + fs::path(inputs[0]).lexically_normal().string();
  const bool sheet = hv::WriteContactSheet(output, entries, title, &error);
  if (!sheet) std::fprintf(stderr, "halvane-sono: %s\n", Printable(error).c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%zu picture%s in %s, %zu failed, %.1f s%s%s\n", total - failed, total - failed == 1 ? "" : "s",
              Printable(output).c_str(), failed, seconds, sheet ? "; contact sheet " : "",
              sheet ? Printable((fs::path(output) / hv::kContactSheetName).string()).c_str() : "");
  return failed == 0 && sheet ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  std::string output;
  hv::SonoOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool hasValue = i + 1 < argc;
    double v = 0.0;
    if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(a, "-o") == 0 && hasValue && output.empty()) {
      output = argv[++i];
    } else if (std::strcmp(a, "--width") == 0 && hasValue && Number(argv[i + 1], 80, 16384, &v)) {
      options.width = int(v);
      ++i;
    } else if (std::strcmp(a, "--height") == 0 && hasValue && Number(argv[i + 1], 60, 16384, &v)) {
      options.height = int(v);
      ++i;
    } else if (std::strcmp(a, "--brightness") == 0 && hasValue && Number(argv[i + 1], 0, 100, &v)) {
      options.brightness = float(v);
      ++i;
    } else if (std::strcmp(a, "--contrast") == 0 && hasValue && Number(argv[i + 1], 0, 100, &v)) {
      options.contrast = float(v);
      ++i;
    } else if (a[0] != '-') {
      inputs.push_back(a);
    } else {
      std::fprintf(stderr, "halvane-sono: bad argument %s\n%s", a, kUsage);
      return 2;
    }
  }
  if (inputs.empty() || output.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::error_code ec;
  const bool folderOut = output.back() == '/' || fs::is_directory(output, ec);
  if (inputs.size() == 1 && !folderOut && !fs::is_directory(inputs[0], ec)) return OnePicture(inputs[0], output, options);
  if (!folderOut && fs::exists(output, ec)) {
    std::fprintf(stderr, "halvane-sono: %s is a file; several pictures need an output folder\n",
                 Printable(output).c_str());
    return 2;
  }
  return Batch(inputs, output, options);
}
