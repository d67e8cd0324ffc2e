// halvane-sono: draws the spectrogram of a recording into a PNG picture.
//   halvane-sono FILE.wav|FILE.wv -o FILE.png [--width N] [--height N]
//                [--brightness DB] [--contrast DB]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sono/sono_picture.h"

namespace {

const char kUsage[] =
    "usage: halvane-sono FILE.wav|FILE.wv -o FILE.png [--width N] [--height N] [--brightness DB] [--contrast DB]\n";

bool Number(const char* text, double low, double high, double* value) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= low && v <= high)) return false;
  *value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output;
  hv::SonoOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool hasValue = i + 1 < argc;
    double v = 0.0;
    if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(a, "-o") == 0 && hasValue) {
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
    } else if (a[0] != '-' && input.empty()) {
      input = a;
    } else {
      std::fprintf(stderr, "halvane-sono: bad argument %s\n%s", a, kUsage);
      return 2;
    }
  }
  if (input.empty() || output.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string error;
  if (!hv::WriteSonoPicture(input, output, options, &error)) {
    std::fprintf(stderr, "halvane-sono: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
