#include "settings/settings.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/runtime.h"
#include "core/status_print.h"
#include "core/time_of_day.h"
#include "settings/registry_store.h"

namespace hv {

Settings g_settings;
History g_history;

namespace {

// How a value is stored and converted.
enum class Kind {
  Switch,   // number, true when non-zero, written 1 or 0
  Integer,  // number as stored
  Float,    // number, truncated toward zero on save
  Volume,   // AudioVolume: volume = value / 2, sound on when value > 2
  Marker,   // Hz = value x 100, written as Hz / 100 truncated
  Text,     // text of the given capacity
  Time,     // text: empty, or a time of day "hh:mm:ss" (the timer's start and stop)
};

bool IsText(Kind kind) { return kind == Kind::Text || kind == Kind::Time; }

struct Entry {
  const char* name;
  Kind kind;
  void* variable;    // std::atomic<bool|int|float> or SharedText, by kind
  uint32_t minimum;  // numbers outside [minimum, maximum] are refused at load and --set
  uint32_t maximum;
  size_t capacity;   // texts
  double defaultValue;
};

constexpr uint32_t kAny = std::numeric_limits<uint32_t>::max();
// Longest snapshot or buffered stretch: 10 minutes. Longer ones would ask the
// delay line for gigabytes and overflow 32-bit sample counts.
constexpr uint32_t kMaxDurationMs = 600000;
// The volume slider's positions run to 518, saved as they are (volume x 2).
constexpr uint32_t kMaxVolume = 518;
// Text capacities, terminator included, as long as what the windows produce:
// FTP fields up to 259 characters, comments and the network address up to 511,
// and paths as long as the system allows.
constexpr size_t kFieldCapacity = 260;
constexpr size_t kLongTextCapacity = 512;
constexpr size_t kPathCapacity = 4096;

std::vector<Entry>& SettingsTable() {
  static std::vector<Entry> table = {
      {"MenuPrefilter", Kind::Switch, &g_settings.MenuPrefilter, 0, kAny, 0, 0},
      {"MenuRecordMode", Kind::Integer, &g_settings.MenuRecordMode, kModeAudio, kModeBufferedSnap, 0, 2},
      {"AudioVolume", Kind::Volume, &g_settings.AudioVolume, 0, kMaxVolume, 0, 64},
      {"TimeStandard", Kind::Integer, &g_settings.TimeStandard, 0, 1, 0, 0},
      {"SnapAutoTrigger", Kind::Switch, &g_settings.SnapAutoTrigger, 0, kAny, 0, 1},
      {"SnapAutoThreshold", Kind::Float, &g_settings.SnapAutoThreshold, 0, kAny, 0, 18},
      {"SnapFilterLowFreq", Kind::Float, &g_settings.SnapFilterLowFreq, 0, 10000000, 0, 18000},
      {"SnapFilterHighFreq", Kind::Float, &g_settings.SnapFilterHighFreq, 0, 10000000, 0, 120000},
      {"PopFilterEnable", Kind::Switch, &g_settings.PopFilterEnable, 0, kAny, 0, 1},
      {"SnapTimeExpand", Kind::Integer, &g_settings.SnapTimeExpand, 1, 1000, 0, 10},
      {"OutputFileFormat", Kind::Integer, &g_settings.OutputFileFormat, 0, kAny, 0, 0},
      {"SnapDurationMS", Kind::Integer, &g_settings.SnapDurationMS, 0, kMaxDurationMs, 0, 1000},
      {"UserDurationMS", Kind::Integer, &g_settings.UserDurationMS, 0, kMaxDurationMs, 0, 5000},
      {"SnapIdleTimeoutEnable", Kind::Switch, &g_settings.SnapIdleTimeoutEnable, 0, kAny, 0, 0},
      {"SnapIdleTimeoutMS", Kind::Integer, &g_settings.SnapIdleTimeoutMS, 0, 3600000, 0, 3000},
      {"SonoThreshold", Kind::Float, &g_settings.SonoThreshold, 0, 200, 0, 20},
      {"SonoDetail", Kind::Integer, &g_settings.SonoDetail, 0, 64, 0, 4},
      {"SonoDivisions", Kind::Integer, &g_settings.SonoDivisions, 0, 64, 0, 3},
      {"SonoBrightness", Kind::Float, &g_settings.SonoBrightness, 0, 100, 0, 50},
      {"SonoContrast", Kind::Float, &g_settings.SonoContrast, 0, 100, 0, 50},
      {"SonoMarker1Enable", Kind::Switch, &g_settings.SonoMarker1Enable, 0, kAny, 0, 0},
      {"SonoMarker1Frequency", Kind::Marker, &g_settings.SonoMarker1Frequency, 0, 100000, 0, 750},
      {"SonoMarker2Enable", Kind::Switch, &g_settings.SonoMarker2Enable, 0, kAny, 0, 0},
      {"SonoMarker2Frequency", Kind::Marker, &g_settings.SonoMarker2Frequency, 0, 100000, 0, 250},
      {"GuanoMetadata", Kind::Switch, &g_settings.GuanoMetadata, 0, kAny, 0, 1},
      {"SnapshotPictures", Kind::Switch, &g_settings.SnapshotPictures, 0, kAny, 0, 0},
      {"CallDetection", Kind::Switch, &g_settings.CallDetection, 0, kAny, 0, 1},
      {"TuneFrequency", Kind::Float, &g_settings.TuneFrequency, 0, 10000000, 0, 40000},
      {"PowerSaverEnable", Kind::Switch, &g_settings.PowerSaverEnable, 0, kAny, 0, 1},
      {"Program1Enable", Kind::Switch, &g_settings.Program1Enable, 0, kAny, 0, 0},
      {"Program2Enable", Kind::Switch, &g_settings.Program2Enable, 0, kAny, 0, 0},
      {"Pgm1StartTime", Kind::Time, &g_settings.Pgm1StartTime, 0, 0, 128, 0},
      {"Pgm1StopTime", Kind::Time, &g_settings.Pgm1StopTime, 0, 0, 128, 0},
      {"Pgm2StartTime", Kind::Time, &g_settings.Pgm2StartTime, 0, 0, 128, 0},
      {"Pgm2StopTime", Kind::Time, &g_settings.Pgm2StopTime, 0, 0, 128, 0},
      {"FileTransferEnable", Kind::Switch, &g_settings.FileTransferEnable, 0, kAny, 0, 0},
      {"FileTransferDuringIdle", Kind::Switch, &g_settings.FileTransferDuringIdle, 0, kAny, 0, 0},
      {"FileTransferLoginEnable", Kind::Switch, &g_settings.FileTransferLoginEnable, 0, kAny, 0, 0},
      {"FileTransferArchiveEnable", Kind::Switch, &g_settings.FileTransferArchiveEnable, 0, kAny, 0, 0},
      {"FTPHostName", Kind::Text, &g_settings.FTPHostName, 0, 0, kFieldCapacity, 0},
      {"FTPUserName", Kind::Text, &g_settings.FTPUserName, 0, 0, kFieldCapacity, 0},
      {"FTPPassWord", Kind::Text, &g_settings.FTPPassWord, 0, 0, kFieldCapacity, 0},
      {"NetworkIPAddress", Kind::Text, &g_settings.NetworkIPAddress, 0, 0, kLongTextCapacity, 0},
      {"NetworkDefaultEnable", Kind::Switch, &g_settings.NetworkDefaultEnable, 0, kAny, 0, 0},
  };
  return table;
}

std::vector<Entry>& HistoryTable() {
  static std::vector<Entry> table = {
      {"InputDirectory", Kind::Text, &g_history.InputDirectory, 0, 0, kPathCapacity, 0},
      {"OutputDirectory", Kind::Text, &g_history.OutputDirectory, 0, 0, kPathCapacity, 0},
      {"ArchiveDirectory", Kind::Text, &g_history.ArchiveDirectory, 0, 0, kPathCapacity, 0},
      {"Pgm1Directory", Kind::Text, &g_history.Pgm1Directory, 0, 0, kPathCapacity, 0},
      {"Pgm1FileName", Kind::Text, &g_history.Pgm1FileName, 0, 0, kPathCapacity, 0},
      {"Pgm1Comment", Kind::Text, &g_history.Pgm1Comment, 0, 0, kLongTextCapacity, 0},
      {"Pgm2Directory", Kind::Text, &g_history.Pgm2Directory, 0, 0, kPathCapacity, 0},
      {"Pgm2FileName", Kind::Text, &g_history.Pgm2FileName, 0, 0, kPathCapacity, 0},
      {"Pgm2Comment", Kind::Text, &g_history.Pgm2Comment, 0, 0, kLongTextCapacity, 0},
      {"FTPRootDirectory", Kind::Text, &g_history.FTPRootDirectory, 0, 0, kFieldCapacity, 0},
  };
  return table;
}

template <typename T>
std::atomic<T>& As(const Entry& e) {
  return *static_cast<std::atomic<T>*>(e.variable);
}
SharedText& TextOf(const Entry& e) { return *static_cast<SharedText*>(e.variable); }

// Stores a number read from the store or the command line, in the entry's encoding.
void StoreNumber(const Entry& e, uint32_t value) {
  switch (e.kind) {
    case Kind::Switch: As<bool>(e).store(value != 0, std::memory_order_relaxed); break;
    case Kind::Integer: As<int>(e).store(static_cast<int>(value), std::memory_order_relaxed); break;
    case Kind::Float: As<float>(e).store(static_cast<float>(value), std::memory_order_relaxed); break;
    case Kind::Volume:
      g_settings.AudioVolume.store(static_cast<float>(value) / 2.0f, std::memory_order_relaxed);
      g_settings.AudioOn.store(value > 2, std::memory_order_relaxed);
      break;
    case Kind::Marker: As<float>(e).store(static_cast<float>(value) * 100.0f, std::memory_order_relaxed); break;
    case Kind::Text:
    case Kind::Time: break;
  }
}

// The number a value is saved as.
uint32_t EncodedNumber(const Entry& e) {
  auto truncated = [](float v) -> uint32_t {
    if (!(v > 0.0f)) return 0;  // negatives and NaN save as 0
    return v >= 4294967295.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
  };
  switch (e.kind) {
    case Kind::Switch: return As<bool>(e).load(std::memory_order_relaxed) ? 1 : 0;
    case Kind::Integer: return static_cast<uint32_t>(As<int>(e).load(std::memory_order_relaxed));
    case Kind::Float: return truncated(As<float>(e).load(std::memory_order_relaxed));
    case Kind::Volume: return truncated(g_settings.AudioVolume.load(std::memory_order_relaxed) * 2.0f);
    case Kind::Marker: return truncated(As<float>(e).load(std::memory_order_relaxed) / 100.0f);
    case Kind::Text:
    case Kind::Time: return 0;
  }
  return 0;
}

bool InRange(const Entry& e, uint32_t value) { return value >= e.minimum && value <= e.maximum; }

// Why a text is refused for the entry, or "" when it is accepted.
std::string TextRefusal(const Entry& e, const std::string& text) {
  if (text.size() > e.capacity - 1) return "is longer than " + std::to_string(e.capacity - 1) + " bytes";
  if (e.kind == Kind::Time && !text.empty() && !ParseTimeOfDay(text, nullptr))
    return "is not a time of day from 00:00:00 to 23:59:59";
  return "";
}

// A stored text as a message shows it: escaped, and cut after 80 bytes.
std::string Shown(const std::string& text) {
  return Escaped(text.size() > 80 ? text.substr(0, 80) + "..." : text);
}

std::string RangeText(const Entry& e) {
  return "a whole number from " + std::to_string(e.minimum) + " to " + std::to_string(e.maximum);
}

void LoadKey(RegistryStore& store, const char* key, std::vector<Entry>& table) {
  if (!store.HasKey(key) && store.Contains(key))
    DiagPrint("Settings key %s is not a set of values; defaults used\n", Escaped(key).c_str());
  store.CreateKey(key);
  for (const Entry& e : table) {
    if (IsText(e.kind)) {
      // Read whole: a text too long for its value is refused, not cut (a cut
      // path would name another file).
      auto text = store.ReadText(key, e.name, 0);
      if (!text && store.HasValue(key, e.name)) {
        DiagPrint("Setting %s = %s is not a text; not used\n", e.name, Shown(store.ValueText(key, e.name)).c_str());
      } else if (text && !TextRefusal(e, *text).empty()) {
        DiagPrint("Setting %s = \"%s\" %s; not used\n", e.name, Shown(*text).c_str(), TextRefusal(e, *text).c_str());
        text.reset();
      }
      TextOf(e).Set(text.value_or(""));
      continue;
    }
    auto value = store.ReadNumber(key, e.name);
    if (!value) {
      if (store.HasValue(key, e.name))
        DiagPrint("Setting %s = %s is not %s; default kept\n", e.name, Shown(store.ValueText(key, e.name)).c_str(),
                  RangeText(e).c_str());
      continue;
    }
    if (!InRange(e, *value)) {
      DiagPrint("Setting %s = %u is out of range (%u to %u); default kept\n", e.name, *value, e.minimum, e.maximum);
      continue;
    }
    StoreNumber(e, *value);
  }
}

// Writes one key's values into the store and saves the file; false when the file
// could not be written.
bool SaveKey(RegistryStore& store, const char* key, std::vector<Entry>& table) {
  for (const Entry& e : table) {
    if (IsText(e.kind)) {
      std::string text = TextOf(e).Get();
      if (!text.empty() || e.variable == &g_history.FTPRootDirectory) store.WriteText(key, e.name, text);
      continue;
    }
    if (e.variable == &g_settings.UserDurationMS && !g_settings.UserDurationValid.load(std::memory_order_relaxed))
      continue;
    store.WriteNumber(key, e.name, EncodedNumber(e));
  }
  return store.Save();
}

}  // namespace

void ResetSettingsToDefaults() {
  for (auto* table : {&SettingsTable(), &HistoryTable()}) {
    for (const Entry& e : *table) {
      if (IsText(e.kind))
        TextOf(e).Set("");
      else
        StoreNumber(e, static_cast<uint32_t>(e.defaultValue));
    }
  }
  g_settings.UserDurationValid.store(true, std::memory_order_relaxed);
}

void LoadSettingsFromStore(RegistryStore& store) {
  LoadKey(store, kSettingsKeyPath, SettingsTable());
  LoadKey(store, kHistoryKeyPath, HistoryTable());
}

void LoadSettingsAndHistory(const std::string& configDir) {
  RegistryStore store(configDir);
  if (!store.Load()) return;  // unreadable: every value keeps its default
  LoadSettingsFromStore(store);
  // The keys are created at the first start; a store that cannot be written
  // (read-only folder) leaves the defaults in use, as a missing key would.
  if (!store.HasKey(kSettingsKeyPath) || !store.HasKey(kHistoryKeyPath) ||
      access(store.FilePath().c_str(), F_OK) != 0)
    store.Save();
}

bool SaveSettingsAndHistory(const std::string& configDir, void (*warn)(const char* text)) {
  RegistryStore store(configDir);
  // Values not written now (emptied texts) keep what was stored. A store that
  // exists but cannot be read is left alone: writing over it would lose the
  // user's values for good, while the unreadable file may still be mended.
  if (!store.Load()) {
    DiagPrint("Settings not saved: %s is left as it is\n", store.FilePath().c_str());
    if (warn) {
      warn("Failed writing one or more save state values");
      warn("Failed writing one or more history values");
    }
    return false;
  }
  bool ok = true;
  if (!SaveKey(store, kSettingsKeyPath, SettingsTable())) {
    ok = false;
    if (warn) warn("Failed writing one or more save state values");
  }
  if (!SaveKey(store, kHistoryKeyPath, HistoryTable())) {
    ok = false;
    if (warn) warn("Failed writing one or more history values");
  }
  return ok;
}

bool SetSettingFromText(const std::string& assignment, std::string* error) {
  auto eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0) {
    if (error) *error = "expected Name=Value";
    return false;
  }
  std::string name = assignment.substr(0, eq);
  std::string value = assignment.substr(eq + 1);
  for (auto* table : {&SettingsTable(), &HistoryTable()}) {
    for (const Entry& e : *table) {
      if (name != e.name) continue;
      if (IsText(e.kind)) {
        if (std::string why = TextRefusal(e, value); !why.empty()) {
          if (error) *error = name + " " + why;
          return false;
        }
        TextOf(e).Set(value);
        return true;
      }
      char* end = nullptr;
      errno = 0;
      unsigned long long number = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || value[0] == '-' || *end != '\0' || errno != 0 || number > 0xFFFFFFFFull) {
        if (error) *error = name + " needs " + RangeText(e);
        return false;
      }
      if (!InRange(e, static_cast<uint32_t>(number))) {
        if (error) *error = name + " must be " + RangeText(e);
        return false;
      }
      StoreNumber(e, static_cast<uint32_t>(number));
      if (e.variable == &g_settings.UserDurationMS) g_settings.UserDurationValid.store(true);
      return true;
    }
  }
  if (error) *error = "unknown setting " + name;
  return false;
}

std::string DefaultConfigDir() {
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/halvane";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config/halvane";
  return ".halvane";
}

namespace {
SharedText s_configDir;
}  // namespace

void SetConfigDir(const std::string& dir) { s_configDir.Set(dir); }
std::string ConfigDir() { return s_configDir.Get(); }

}  // namespace hv
