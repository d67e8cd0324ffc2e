#include "sono/sono_batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "formats/recording_kinds.h"
#include "sono/png_writer.h"

namespace hv {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasRecordingExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && name.find('/', dot) == std::string::npos &&
         RecordingKindOfExtension(std::string_view(name).substr(dot), true) != nullptr;
}

// Files are the same when device and inode agree (hard links, symbolic links,
// other spellings of the path).
using FileId = std::pair<dev_t, ino_t>;

bool IdOf(const std::string& path, FileId* id) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;
  *id = {st.st_dev, st.st_ino};
  return true;
}

std::set<FileId> IdsOf(const std::vector<std::string>& paths) {
  std::set<FileId> ids;
  for (const std::string& p : paths) {
    FileId id;
    if (IdOf(p, &id)) ids.insert(id);
  }
  return ids;
}

bool IsPng(const std::string& path) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char head[8] = {};
  const bool png = std::fread(head, 1, 8, f) == 8 && std::memcmp(head, kSignature, 8) == 0;
  std::fclose(f);
  return png;
}

std::string Refusal(const std::string& target, const std::set<FileId>& inputs) {
  const std::string name = fs::path(target).filename().string();
  if (HasRecordingExtension(name))
    return "will not write a picture named " + target + ": the name is a recording's (use .png)";
  FileId id;
  if (IdOf(target, &id)) {
    if (inputs.count(id)) return "will not write the picture over its input " + target;
    if (!IsPng(target)) return "will not write the picture over " + target + ": it exists and is not a PNG picture";
  }
  return "";
}

}  // namespace

bool CollectRecordings(const std::vector<std::string>& inputs, std::vector<std::string>* recordings,
                       std::string* error) {
  recordings->clear();
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status status = fs::status(input, ec);
    if (ec || !fs::exists(status)) {
      *error = "no such file or folder: " + input;
      return false;
    }
    if (!fs::is_directory(status)) {
      recordings->push_back(input);
      continue;
    }
    std::vector<std::string> found;
    fs::directory_iterator it(input, ec), end;
    if (ec) {
      *error = "cannot read the folder " + input + ": " + ec.message();
      return false;
    }
    for (; it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      std::error_code typeError;
      if (!it->is_regular_file(typeError) || !HasRecordingExtension(name)) continue;
      if (Lower(name).find(".tmp_") != std::string::npos) continue;
      found.push_back(it->path().string());
    }
    if (ec) {
      *error = "cannot read the folder " + input + ": " + ec.message();
      return false;
    }
    std::sort(found.begin(), found.end());
    recordings->insert(recordings->end(), found.begin(), found.end());
  }
  return true;
}

std::string PictureTargetRefusal(const std::string& target, const std::vector<std::string>& inputs) {
  return Refusal(target, IdsOf(inputs));
}

std::vector<std::string> PictureNames(const std::vector<std::string>& recordings) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const std::string& r : recordings) {
    const std::string stem = fs::path(r).stem().string();
    std::string name = stem + ".png";
    for (int n = 2; taken.count(Lower(name)); ++n) name = stem + "-" + std::to_string(n) + ".png";
    taken.insert(Lower(name));
    names.push_back(name);
  }
  return names;
}

bool TimeFromName(const std::string& path, StreamTime* time) {
  const std::string stem = fs::path(path).stem().string();
  // "_D" + 8 digits + "T" + 6 digits + "m" + 3 digits = 21 characters.
  if (stem.size() < 21) return false;
  const std::string s = stem.substr(stem.size() - 21);
  auto digits = [&](size_t at, size_t count, int* value) {
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
      *value = *value * 10 + (s[i] - '0');
    }
    return true;
  };
  std::tm t{};
  int year, month, day, hour, minute, second, ms;
  if (s.compare(0, 2, "_D") != 0 || s[10] != 'T' || s[17] != 'm' || !digits(2, 4, &year) || !digits(6, 2, &month) ||
      !digits(8, 2, &day) || !digits(11, 2, &hour) || !digits(13, 2, &minute) || !digits(15, 2, &second) ||
      !digits(18, 3, &ms))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  const std::time_t utc = timegm(&t);
  // timegm normalises 31 February into March: such a name is not a time.
  std::tm back{};
  gmtime_r(&utc, &back);
  if (back.tm_mday != day || back.tm_mon != month - 1) return false;
  *time = StreamTime{utc, ms, 0};
  return true;
}

bool TriggerLevel(const SonoPicture& p, float* level) {
  constexpr int kBins = 128;
  constexpr double kFirst = 1024, kWindow = 256;
  const int columns = p.plotWidth;
  if (columns <= 0 || p.levels.size() < size_t(columns) * kBins) return false;
  const double frames = p.seconds * double(p.realRate);
  int from = 0, to = columns - 1;
  if (frames >= kFirst + kWindow) {
    from = std::clamp(int(kFirst / frames * columns), 0, columns - 1);
    to = std::clamp(int((kFirst + kWindow - 1) / frames * columns), from, columns - 1);
  }
  float best = -1e30f;
  for (int c = from; c <= to; ++c)
    for (int bin = 2; bin < kBins; ++bin) best = std::max(best, p.levels[size_t(c) * kBins + bin]);
  if (best <= -1e30f) return false;
  *level = best;
  return true;
}

std::vector<SheetEntry> MakePictures(const std::vector<std::string>& recordings, const std::string& folder,
                                     const SonoOptions& options, int threads,
                                     const std::function<void(size_t, const SheetEntry&)>& progress,
                                     const std::function<int(const std::string&)>& countCalls) {
  const std::vector<std::string> names = PictureNames(recordings);
  const std::set<FileId> inputs = IdsOf(recordings);
  std::vector<SheetEntry> entries(recordings.size());
  std::atomic<size_t> next{0};
  std::mutex lock;
  std::condition_variable changed;
  std::vector<size_t> finished;  // indices finished but not yet reported

  // Runs on each worker thread: takes the next recording until none is left.
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < recordings.size(); i = next.fetch_add(1)) {
      SheetEntry& e = entries[i];
      e.recording = recordings[i];
      const std::string target = (fs::path(folder) / names[i]).string();
      std::string error = Refusal(target, inputs);
      SonoPicture picture;
      if (error.empty() && MakeSonoPicture(recordings[i], options, &picture, &error) &&
          WritePng(target, picture.pixels.data(), picture.width, picture.height, &error)) {
        e.picture = names[i];
        e.seconds = picture.seconds;
        e.hasTriggerLevel = TriggerLevel(picture, &e.triggerLevel);
        if (countCalls) e.calls = countCalls(recordings[i]);
        if (picture.hasStart) {
          e.start = picture.start;
          e.timeFrom = SheetEntry::TimeFrom::kRecording;
        }
      } else {
        e.error = error.empty() ? "failed" : error;
      }
      if (e.timeFrom != SheetEntry::TimeFrom::kRecording) {
        if (TimeFromName(recordings[i], &e.start)) {
          e.timeFrom = SheetEntry::TimeFrom::kName;
        } else {
          struct stat st{};
          if (::stat(recordings[i].c_str(), &st) == 0) e.start = StreamTime{st.st_mtim.tv_sec, int(st.st_mtim.tv_nsec / 1000000), 0};
        }
      }
      std::lock_guard<std::mutex> g(lock);
      finished.push_back(i);
      changed.notify_one();
    }
  };

  const int count = std::max(1, std::min<int>(threads, int(recordings.size())));
  std::vector<std::thread> workers;
  for (int t = 0; t < count; ++t) workers.emplace_back(work);
  size_t done = 0;
  while (done < recordings.size()) {
    std::vector<size_t> batch;
    {
      std::unique_lock<std::mutex> g(lock);
      changed.wait(g, [&] { return !finished.empty(); });
      batch.swap(finished);
    }
    for (size_t i : batch) {
      ++done;
      if (progress) progress(done, entries[i]);
    }
  }
  for (std::thread& t : workers) t.join();
  return entries;
}

}  // namespace hv
