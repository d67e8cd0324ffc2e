#include "sono/contact_sheet.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace hv {

namespace fs = std::filesystem;

namespace {

// Marks pages this program wrote, so that a later run may replace them.
constexpr const char* kGenerator = "<meta name=\"generator\" content=\"halvane-sono contact sheet\">";

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Control characters (a line break in a file name) show as a space.
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

// A file name as a relative link: everything but unreserved characters encoded.
std::string LinkTo(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int64_t SortKey(const SheetEntry& e) { return int64_t(e.start.utcSeconds) * 1000 + e.start.milliseconds; }

std::string LengthText(double seconds) {
  char text[32];
  if (seconds < 60.0)
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  else
    std::snprintf(text, sizeof text, "%d min %04.1f s", int(seconds / 60.0), seconds - 60.0 * int(seconds / 60.0));
  return text;
}

std::string LevelText(const SheetEntry& e) {
  if (!e.hasTriggerLevel) return "&ndash;";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dB", e.triggerLevel);
  return text;
}

std::string CallsText(int calls) { return std::to_string(calls) + (calls == 1 ? " call" : " calls"); }

std::string FileName(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

void SortByTime(std::vector<SheetEntry>* entries) {
  std::stable_sort(entries->begin(), entries->end(), [](const SheetEntry& a, const SheetEntry& b) {
    if (SortKey(a) != SortKey(b)) return SortKey(a) < SortKey(b);
    return a.recording < b.recording;
  });
}

std::string SheetTimeText(const SheetEntry& e) {
  int bias = e.start.biasMinutes;
  if (e.timeFrom == SheetEntry::TimeFrom::kFile) bias = LocalBiasMinutes(e.start.utcSeconds);
  const int offset = e.timeFrom == SheetEntry::TimeFrom::kName ? 0 : -bias;
  const std::time_t shown = e.start.utcSeconds + std::time_t(offset) * 60;
  std::tm t{};
  gmtime_r(&shown, &t);
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900, t.tm_mon + 1,
                        t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, e.start.milliseconds);
  if (e.timeFrom != SheetEntry::TimeFrom::kName) {
    const int magnitude = offset < 0 ? -offset : offset;
    std::snprintf(text + n, sizeof text - size_t(n), " UTC%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
  }
  return text;
}

std::string ContactSheetHtml(const std::vector<SheetEntry>& entries, const std::string& title) {
  size_t drawn = 0, counted = 0;
  double total = 0.0;
  int calls = 0;
  for (const SheetEntry& e : entries) {
    if (!e.error.empty()) continue;
    ++drawn, total += e.seconds;
    if (e.calls >= 0) ++counted, calls += e.calls;
  }
  std::ostringstream o;
  o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << kGenerator << "\n<title>" << Escape(title) << "</title>\n"
    << "<style>\n"
       "body { font-family: sans-serif; margin: 16px; background: #e8e8e8; color: #111; }\n"
       "h1 { font-size: 20px; margin: 0 0 4px 0; }\n"
       "p.summary { margin: 0 0 12px 0; color: #333; }\n"
       ".sheet { display: grid; grid-template-columns: repeat(auto-fill, minmax(420px, 1fr)); gap: 12px; }\n"
       ".card { background: #fff; border: 1px solid #bbb; padding: 6px; }\n"
       ".card img { width: 100%; height: auto; display: block; }\n"
       ".facts { display: flex; flex-wrap: wrap; gap: 4px 16px; margin-top: 4px; font-size: 14px; }\n"
       ".time { font-weight: bold; }\n"
       ".name { font-size: 12px; color: #555; overflow-wrap: anywhere; }\n"
       ".failed { color: #a00; }\n"
       "</style>\n</head>\n<body>\n";
  o << "<h1>" << Escape(title) << "</h1>\n<p class=\"summary\">" << drawn << " recording" << (drawn == 1 ? "" : "s")
    << ", " << LengthText(total) << " in all";
  if (counted > 0) o << ", " << CallsText(calls);
  if (drawn < entries.size()) o << "; " << entries.size() - drawn << " could not be drawn";
  o << "; sorted by start time.</p>\n<div class=\"sheet\">\n";
  for (const SheetEntry& e : entries) {
    const std::string name = Escape(FileName(e.recording));
    o << "<div class=\"card\">";
    if (e.error.empty())
      o << "<a href=\"" << LinkTo(e.picture) << "\"><img src=\"" << LinkTo(e.picture) << "\" alt=\"" << name
        << "\" loading=\"lazy\"></a>";
    o << "\n<div class=\"facts\"><span class=\"time\">" << Escape(SheetTimeText(e)) << "</span>";
    if (e.error.empty())
      o << "<span class=\"length\">" << LengthText(e.seconds) << "</span><span class=\"level\">trigger "
        << LevelText(e) << "</span>";
    if (e.error.empty() && e.calls >= 0) o << "<span class=\"calls\">" << CallsText(e.calls) << "</span>";
    o << "</div>\n<div class=\"name\">" << name;
    if (e.timeFrom == SheetEntry::TimeFrom::kName) o << " (time from the name)";
    if (e.timeFrom == SheetEntry::TimeFrom::kFile) o << " (time of the file)";
    o << "</div>";
    if (!e.error.empty()) o << "\n<div class=\"failed\">" << Escape(e.error) << "</div>";
    o << "</div>\n";
  }
  o << "</div>\n</body>\n</html>\n";
  return o.str();
}

bool WriteContactSheet(const std::string& folder, const std::vector<SheetEntry>& entries, const std::string& title,
                       std::string* error) {
  const fs::path target = fs::path(folder) / kContactSheetName;
  std::error_code ec;
  if (fs::exists(target, ec)) {
    std::ifstream in(target, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    if (head.find(kGenerator) == std::string::npos) {
      *error = "will not replace " + target.string() + ": this program did not write it";
      return false;
    }
  }
  const fs::path temporary = fs::path(folder) / (std::string(".") + kContactSheetName + ".tmp" + std::to_string(getpid()));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << ContactSheetHtml(entries, title);
    out.flush();
    if (!out) {
      fs::remove(temporary, ec);
      *error = "cannot write " + temporary.string();
      return false;
    }
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    *error = "cannot write " + target.string();
    return false;
  }
  return true;
}

}  // namespace hv
