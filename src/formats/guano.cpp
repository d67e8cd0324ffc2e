#include "formats/guano.h"

#include <cmath>
#include <cstdlib>

#include "formats/stream_calendar.h"

namespace hv {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

// Reads exactly `count` digits at `p`, advancing it.
bool Digits(const char*& p, const char* end, int count, int* value) {
  int v = 0;
  for (int i = 0; i < count; ++i, ++p) {
    if (p >= end || *p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
  }
  *value = v;
  return true;
}

bool Expect(const char*& p, const char* end, char c) {
  if (p >= end || *p != c) return false;
  ++p;
  return true;
}

// "+hh", "+hhmm", "+hh:mm" (or "-"), in minutes east of UTC.
bool ParseOffset(const char*& p, const char* end, int* minutes) {
  int sign = *p == '-' ? -1 : 1;
  ++p;
  int hours = 0, mins = 0;
  if (!Digits(p, end, 2, &hours)) return false;
  if (p < end && *p == ':') {
    ++p;
    if (!Digits(p, end, 2, &mins)) return false;
  } else if (p < end && *p >= '0' && *p <= '9') {
    if (!Digits(p, end, 2, &mins)) return false;
  }
  if (hours > 23 || mins > 59) return false;
  *minutes = sign * (hours * 60 + mins);
  return true;
}

// TE: a positive integer factor ("10", "10.0"); anything else is ignored.
bool ParseExpansion(const std::string& value, uint32_t* factor) {
  if (value.empty() || value.size() > 32) return false;
  char* end = nullptr;
  double v = std::strtod(value.c_str(), &end);
  if (end == value.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  double rounded = std::round(v);
  if (rounded < 1 || rounded > 1000 || std::fabs(v - rounded) > 1e-6) return false;
  *factor = static_cast<uint32_t>(rounded);
  return true;
}

}  // namespace

bool ParseIsoTimestamp(const std::string& text, StreamTime* time, bool* hasOffset) {
  std::string s = Trim(text);
  const char* p = s.c_str();
  const char* end = p + s.size();
  CalendarTime c;
  if (!Digits(p, end, 4, &c.year) || !Expect(p, end, '-') || !Digits(p, end, 2, &c.month) || !Expect(p, end, '-') ||
      !Digits(p, end, 2, &c.day))
    return false;
  if (p >= end || (*p != 'T' && *p != 't' && *p != ' ')) return false;
  ++p;
  if (!Digits(p, end, 2, &c.hour) || !Expect(p, end, ':') || !Digits(p, end, 2, &c.minute)) return false;
  if (p < end && *p == ':') {
    ++p;
    if (!Digits(p, end, 2, &c.second)) return false;
    if (p < end && (*p == '.' || *p == ',')) {
      ++p;
      int count = 0, ms = 0;
      while (p < end && *p >= '0' && *p <= '9') {
        if (count < 3) ms = ms * 10 + (*p - '0');
        ++count, ++p;
      }
      if (count == 0) return false;
      for (int i = count; i < 3; ++i) ms *= 10;
      c.millisecond = ms;
    }
  }
  while (p < end && *p == ' ') ++p;
  int offset = 0;
  bool withOffset = false;
  if (p < end && (*p == 'Z' || *p == 'z')) {
    ++p;
    withOffset = true;
  } else if (p < end && (*p == '+' || *p == '-')) {
    if (!ParseOffset(p, end, &offset)) return false;
    withOffset = true;
  }
  if (p != end) return false;
  StreamTime local;
  if (!CalendarToStreamTime(c, 0, &local)) return false;
  // UTC = local clock time - offset; the bias is minutes to add to local time for UTC.
  StreamTime utc = AdvanceStreamTime(local, -static_cast<int64_t>(offset) * 60000);
  utc.biasMinutes = -offset;
  *time = utc;
  if (hasOffset) *hasOffset = withOffset;
  return true;
}

std::string GuanoInfo::DeviceName() const {
  if (make.empty()) return model;
  if (model.empty()) return make;
  return make + " " + model;
}

bool ParseGuano(const std::string& raw, GuanoInfo* info) {
  std::string text = raw.substr(0, raw.find('\0'));
  if (Trim(text).rfind("GUANO|Version", 0) != 0) return false;
  *info = GuanoInfo{};
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = Trim(line.substr(0, colon));
    std::string value = Trim(line.substr(colon + 1));
    if (key == "TE") {
      info->hasExpansion = ParseExpansion(value, &info->expansion);
      if (!info->hasExpansion) info->expansion = 1;
    } else if (key == "Timestamp") {
      info->hasTime = ParseIsoTimestamp(value, &info->time, &info->timeHasOffset);
    } else if (key == "Make") {
      info->make = value;
    } else if (key == "Model") {
      info->model = value;
    } else if (key == "Loc Position") {
      info->position = value;
    } else if (key == "Note") {
      info->note = value;
    }
  }
  return true;
}

}  // namespace hv
