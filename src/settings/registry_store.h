// The registry store: the settings keys kept in one JSON file, <config>/registry.json.
//
// Format: one JSON object whose members are key paths, each an object of values:
//   { "SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": { "SonoThreshold": 20, ... },
//     "SOFTWARE\\Mirrowen\\Halvane\\3.3\\History":  { "OutputDirectory": "/data", ... } }
// A JSON integer 0..4294967295 is a number (REG_DWORD), a JSON string is a text
// (REG_SZ); any other JSON type counts as the wrong type, that is as missing.
// Saved by writing "registry.json.tmp", fsync, then rename, mode 0600 (it holds
// the FTP password), into a folder created with its parents when missing (the
// folder itself 0700). A file that does not parse, or is larger than 1 MiB, is
// moved aside to "registry.json.bad" (or ".bad.1", ".bad.2", ... when earlier
// ones are there: none is ever replaced) with a diagnostic line, and the store
// starts empty. Anything but a regular file (a named pipe) is not read at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace hv {

extern const char* const kSettingsKeyPath;
extern const char* const kHistoryKeyPath;

// The largest settings file read; a real one is a few kilobytes.
constexpr size_t kMaxRegistryBytes = 1 << 20;

class RegistryStore {
 public:
  explicit RegistryStore(std::string configDir);

  // Reads the file; a missing file is an empty store. A file that is not a JSON
  // object is moved aside (see above). Returns false only when the folder or
  // file cannot be read at all.
  bool Load();
  // Writes the whole store atomically. False (with a diagnostic) on failure.
  bool Save();

  bool HasKey(const std::string& key) const;
  // True when the file has a member of that name, of whatever type.
  bool Contains(const std::string& key) const { return root_.contains(key); }
  // True when the key holds a value of that name, of whatever type.
  bool HasValue(const std::string& key, const std::string& name) const;
  // The value as JSON text (for messages about a value of the wrong type).
  std::string ValueText(const std::string& key, const std::string& name) const;
  void CreateKey(const std::string& key);
  std::optional<uint32_t> ReadNumber(const std::string& key, const std::string& name) const;
  // A text longer than capacity - 1 bytes is cut to fit, as a fixed buffer would.
  std::optional<std::string> ReadText(const std::string& key, const std::string& name, size_t capacity) const;
  void WriteNumber(const std::string& key, const std::string& name, uint32_t value);
  void WriteText(const std::string& key, const std::string& name, const std::string& text);

  std::string FilePath() const { return dir_ + "/registry.json"; }
  // Parses a store from bytes (for the fuzz target and tests): false and an
  // empty store when the text is not a JSON object.
  bool Parse(const std::string& bytes);

 private:
  // Moves the unusable file aside under the first free ".bad" name.
  void KeepAside(const std::string& path, const char* reason);

  std::string dir_;
  nlohmann::ordered_json root_ = nlohmann::ordered_json::object();
};

}  // namespace hv
