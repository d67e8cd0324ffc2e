#include "core/status_print.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace hv {

std::atomic<bool> g_headless{false};

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

void StatusPrint(const char* format, ...) {
  if (!g_headless.load(std::memory_order_relaxed)) return;
  static std::mutex lock;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::lock_guard<std::mutex> guard(lock);
  std::printf("%02d:%02d:%02d %s\n", local.tm_hour, local.tm_min, local.tm_sec, Escaped(text).c_str());
  std::fflush(stdout);
}

}  // namespace hv
