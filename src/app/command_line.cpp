#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace hv {

const char* UsageText() {
  return "usage: halvane [--headless] [--config DIR] [--device NAME]\n"
         "               [--mode continuous|autosnap|buffered|audio] [--record BASEPATH]\n"
         "               [--play FILE [--loop] [--timebase 1:1|1:2|1:N]]\n"
         "               [--set Name=Value]... [--audio default|null|wav:FILE]\n"
         "               [--show tessagram|recordsetup|timer|transfer|trace|gps]...\n"
         "               [--run-for SECONDS] [--repair FILE] [--help]\n";
}

namespace {

bool ValidDevice(const std::string& name) {
  if (name.rfind("Ezusb-", 0) == 0) return name.size() == 7 && name[6] >= '0' && name[6] <= '3';
  if (name.rfind("IP", 0) != 0) return false;
  // A dotted IPv4 address: four numbers 0..255.
  const char* p = name.c_str() + 2;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    if (*p < '0' || *p > '9') return false;
    int value = 0, digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) value = value * 10 + (*p++ - '0'), ++digits;
    if (digits > 3 || value > 255) return false;
  }
  return *p == '\0';
}

bool ValidTimebase(const std::string& t) {
  if (t.rfind("1:", 0) != 0 || t.size() < 3) return false;
  char* end = nullptr;
  long n = std::strtol(t.c_str() + 2, &end, 10);
  return *end == '\0' && n >= 1 && n <= 1000 && t[2] != '-' && t[2] != '+';
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, StationOptions* o, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos && arg != "--set") {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto need = [&](const char* name) -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      (void)name;
      return true;
    };
    if (arg == "--headless") o->headless = true;
    else if (arg == "--help" || arg == "-h") o->help = true;
    else if (arg == "--loop") o->loop = true;
    else if (arg == "--config") { if (!need("--config") || value.empty()) return fail("--config needs a folder"); o->configDir = value; }
    else if (arg == "--device") {
      if (!need("--device") || !ValidDevice(value)) return fail("--device needs Ezusb-0..Ezusb-3 or IP followed by a dotted address");
      o->device = value;
    } else if (arg == "--set") {
      if (!need("--set") || value.find('=') == std::string::npos) return fail("--set needs Name=Value");
      o->settings.push_back(value);
    } else if (arg == "--run-for") {
      if (!need("--run-for")) return fail("--run-for needs a number of seconds");
      char* end = nullptr;
      double s = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(s) || s < 0) return fail("--run-for needs a number of seconds");
      o->runForSeconds = s;
    } else if (arg == "--mode") {
      if (!need("--mode")) return fail("--mode needs continuous, autosnap, buffered or audio");
      if (value == "audio") o->recordMode = 1;
      else if (value == "continuous") o->recordMode = 2;
      else if (value == "autosnap") o->recordMode = 3;
      else if (value == "buffered") o->recordMode = 4;
      else return fail("--mode needs continuous, autosnap, buffered or audio");
    } else if (arg == "--record") {
      if (!need("--record") || value.empty()) return fail("--record needs a base path");
      o->recordBasePath = value;
    } else if (arg == "--play") {
      if (!need("--play") || value.empty()) return fail("--play needs a file");
      o->playFile = value;
    } else if (arg == "--timebase") {
      if (!need("--timebase") || !ValidTimebase(value)) return fail("--timebase needs 1:N with N from 1 to 1000");
      o->timebase = value;
    } else if (arg == "--audio") {
      if (!need("--audio") || !(value == "default" || value == "null" || (value.rfind("wav:", 0) == 0 && value.size() > 4)))
        return fail("--audio needs default, null or wav:FILE");
      o->audio = value;
    } else if (arg == "--show") {
      static const struct { const char* name; int menuId; } kWindows[] = {
          {"tessagram", 241}, {"recordsetup", 242}, {"timer", 243}, {"transfer", 244}, {"trace", 245}, {"gps", 246}};
      int id = 0;
      if (need("--show"))
        for (const auto& w : kWindows)
          if (value == w.name) id = w.menuId;
      if (!id) return fail("--show needs tessagram, recordsetup, timer, transfer, trace or gps");
      o->showWindows.push_back(id);
    } else if (arg == "--repair") {
      if (!need("--repair") || value.empty()) return fail("--repair needs a file");
      o->repairFile = value;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if ((o->loop || !o->timebase.empty()) && o->playFile.empty()) return fail("--loop and --timebase need --play");
  return true;
}

}  // namespace hv
