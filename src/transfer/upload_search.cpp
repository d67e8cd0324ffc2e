#include "transfer/upload_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>

#include "core/file_ops.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "formats/recording_kinds.h"

namespace hv {

namespace {
constexpr const char* kWildcard = "*.w*";
}

std::string UploadSearchPattern(const std::string& basePath) {
  const size_t slash = basePath.find_last_of('/');
  const size_t dot = basePath.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return basePath.substr(0, dot) + kWildcard;
  return basePath + kWildcard;
}

bool MatchesUploadPattern(const std::string& fileName, const std::string& patternName) {
  // patternName is "<prefix>*.w*"; the "*" stands for the time stamp only.
  const size_t wild = patternName.rfind(kWildcard);
  if (wild == std::string::npos || wild + 4 != patternName.size()) return false;
  const std::string prefix = patternName.substr(0, wild);
  if (fileName.compare(0, prefix.size(), prefix) != 0) return false;
  // "_D" 8 digits "T" 6 digits "m" 3 digits: 21 characters.
  static constexpr char kStamp[] = "_D########T######m###";
  constexpr size_t kStampLength = sizeof kStamp - 1;
  if (fileName.size() < prefix.size() + kStampLength) return false;
  for (size_t i = 0; i < kStampLength; ++i) {
    const char c = fileName[prefix.size() + i];
    if (kStamp[i] == '#' ? !std::isdigit(static_cast<unsigned char>(c)) : c != kStamp[i]) return false;
  }
  const std::string extension = fileName.substr(prefix.size() + kStampLength);
  return RecordingKindOfExtension(extension) != nullptr;
}

std::string FindUploadCandidate(const std::string& folder, const std::string& patternName,
                                const std::set<std::string>& skip) {
  LockGuard lock(g_fileLock);
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (!MatchesUploadPattern(name, patternName)) continue;
    std::string path = folder + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (skip.count(path)) continue;
    found = name;
    break;
  }
  closedir(dir);
  return found;
}

}  // namespace hv
