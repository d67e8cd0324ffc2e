// halvane-calls: finds the echolocation calls in recordings (WAV or WavPack
// files, or folders of them, searched recursively) and writes one CSV row per
// call to standard output, or JSON lines with --json. A summary per file goes
// to standard error as text, or to standard output as a JSON line with --json.
// On a terminal a progress line shows on standard error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "calls/call_file.h"
#include "calls/call_report.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage = "usage: halvane-calls [--json] FILE|FOLDER...\n";

bool IsRecording(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".wav" || ext == ".wv";
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
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json") json = true;
    else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      std::fprintf(stderr, "halvane-calls: bad option %s\n%s", a.c_str(), kUsage);
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
    bool read = hv::DetectFileCalls(path, hv::CallDetectorSettings{}, &result, &error, progress);
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
    std::string summary = hv::SummaryLine(result, json);
    std::fprintf(json ? stdout : stderr, "%s\n", summary.c_str());
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}
