#include "settings/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/file_ops.h"
#include "core/outside_file.h"
#include "core/runtime.h"
#include "core/status_print.h"

namespace hv {

const char* const kSettingsKeyPath = "SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings";
const char* const kHistoryKeyPath = "SOFTWARE\\Mirrowen\\Halvane\\3.3\\History";

RegistryStore::RegistryStore(std::string configDir) : dir_(std::move(configDir)) {}

bool RegistryStore::Parse(const std::string& bytes) {
  root_ = nlohmann::ordered_json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!root_.is_object()) {
    root_ = nlohmann::ordered_json::object();
    return false;
  }
  return true;
}

bool RegistryStore::Load() {
  root_ = nlohmann::ordered_json::object();
  std::string path = FilePath();
  std::string why;
  int fd = OpenRegularFile(path, &why);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;  // no store yet
    DiagPrint("Cannot read %s: %s\n", Escaped(path).c_str(), why.c_str());
    return false;
  }
  std::string text;
  char buffer[65536];
  bool tooLarge = false;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      close(fd);
      DiagPrint("Cannot read %s: %s\n", Escaped(path).c_str(), std::strerror(e));
      return false;
    }
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > kMaxRegistryBytes) {
      tooLarge = true;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (tooLarge) {
    KeepAside(path, "is larger than 1 MiB");
    return true;
  }
  if (Parse(text)) return true;
  KeepAside(path, "is not valid");
  return true;
}

void RegistryStore::KeepAside(const std::string& path, const char* reason) {
  std::string bad = path + ".bad";
  for (int n = 1; n <= 1000; ++n) {
    if (RenameNoReplace(path, bad)) {
      DiagPrint("Settings file %s %s; kept as %s, using defaults\n", Escaped(path).c_str(), reason,
                Escaped(bad).c_str());
      return;
    }
    if (errno != EEXIST) break;
    bad = path + ".bad." + std::to_string(n);
  }
  DiagPrint("Settings file %s %s and could not be kept aside (%s); using defaults\n", Escaped(path).c_str(), reason,
            std::strerror(errno));
}

bool RegistryStore::Save() {
  std::string path = FilePath();
  std::string why;
  if (!CreateFolderPath(dir_, 0700, &why)) {
    DiagPrint("Cannot write %s: cannot create its folder: %s\n", Escaped(path).c_str(), why.c_str());
    return false;
  }
  std::string tmp = path + ".tmp";
  std::string text = root_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    DiagPrint("Cannot write %s: %s\n", Escaped(tmp).c_str(), std::strerror(errno));
    return false;
  }
  fchmod(fd, 0600);
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    DiagPrint("Cannot write %s: %s\n", Escaped(path).c_str(), std::strerror(errno));
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool RegistryStore::HasKey(const std::string& key) const {
  auto it = root_.find(key);
  return it != root_.end() && it->is_object();
}

bool RegistryStore::HasValue(const std::string& key, const std::string& name) const {
  return HasKey(key) && root_.at(key).contains(name);
}

std::string RegistryStore::ValueText(const std::string& key, const std::string& name) const {
  if (!HasValue(key, name)) return "";
  return root_.at(key).at(name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void RegistryStore::CreateKey(const std::string& key) {
  if (!HasKey(key)) root_[key] = nlohmann::ordered_json::object();
}

std::optional<uint32_t> RegistryStore::ReadNumber(const std::string& key, const std::string& name) const {
  if (!HasKey(key)) return std::nullopt;
  const auto& values = root_.at(key);
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  if (it->is_number_unsigned()) {
    auto v = it->get<uint64_t>();
    if (v <= 0xFFFFFFFFull) return static_cast<uint32_t>(v);
  }
  return std::nullopt;
}

std::optional<std::string> RegistryStore::ReadText(const std::string& key, const std::string& name,
                                                   size_t capacity) const {
  if (!HasKey(key)) return std::nullopt;
  const auto& values = root_.at(key);
  auto it = values.find(name);
  if (it == values.end() || !it->is_string()) return std::nullopt;
  std::string text = it->get<std::string>();
  if (capacity > 0 && text.size() > capacity - 1) text.resize(capacity - 1);
  return text;
}

void RegistryStore::WriteNumber(const std::string& key, const std::string& name, uint32_t value) {
  CreateKey(key);
  root_[key][name] = value;
}

void RegistryStore::WriteText(const std::string& key, const std::string& name, const std::string& text) {
  CreateKey(key);
  root_[key][name] = text;
}

}  // namespace hv
