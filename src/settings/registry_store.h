// The registry store: the settings keys kept in one JSON file, <config>/registry.json.
//
// Format: one JSON object whose members are key paths, each an object of values:
//   { "SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": { "SonoThreshold": 20, ... },
//     "SOFTWARE\\Mirrowen\\Halvane\\3.3\\History":  { "OutputDirectory": "/data", ... } }
// A JSON integer 0..4294967295 is a number (REG_DWORD), a JSON string is a text
// (REG_SZ); any other JSON type counts as the wrong type, that is as missing.
// Saved by writing "registry.json.tmp", fsync, then rename, mode 0600 (it holds
// the FTP password). A file that does not parse is moved aside to
// "registry.json.bad" with a diagnostic line, and the store starts empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace hv {

extern const char* const kSettingsKeyPath;
extern const char* const kHistoryKeyPath;

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
  std::string dir_;
  nlohmann::ordered_json root_ = nlohmann::ordered_json::object();
};

}  // namespace hv
