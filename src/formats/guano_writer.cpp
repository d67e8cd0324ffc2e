#include "formats/guano_writer.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "formats/sono_attribute.h"
#include "formats/stream_calendar.h"

#ifndef HALVANE_VERSION
#define HALVANE_VERSION "0"
#endif

namespace hv {

namespace {

// Line breaks and other control characters would end a GUANO line early.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

std::string Trim(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

void AddLine(std::string* out, const char* key, const std::string& value) {
  *out += key;
  *out += ": ";
  *out += OneLine(value);
  *out += '\n';
}

// "YYYY-MM-DDThh:mm:ss.mmm+hh:mm" for the UTC calendar time shifted by the bias.
bool IsoLocalTime(const CalendarTime& utc, int biasMinutes, std::string* text) {
  StreamTime t;
  if (!CalendarToStreamTime(utc, biasMinutes, &t)) return false;
  const int offset = -biasMinutes;
  std::time_t local = t.utcSeconds + std::time_t(offset) * 60;
  std::tm l{};
  if (!gmtime_r(&local, &l)) return false;
  const int magnitude = offset < 0 ? -offset : offset;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", l.tm_year + 1900,
                l.tm_mon + 1, l.tm_mday, l.tm_hour, l.tm_min, l.tm_sec, utc.millisecond, offset < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  *text = buffer;
  return true;
}

// The text after "name:" in "lat:.. lon:.. alt:.." up to the next space.
std::string GpsPart(const std::string& gps, const char* name) {
  std::string key = std::string(name) + ":";
  size_t at = gps.find(key);
  if (at == std::string::npos) return std::string();
  at += key.size();
  size_t end = gps.find(' ', at);
  return Trim(gps.substr(at, end == std::string::npos ? std::string::npos : end - at));
}

bool IsNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  if (value) *value = v;
  return true;
}

}  // namespace

std::string AttributeComment(const std::string& body) {
  std::string comment;
  size_t at = body.rfind("CMT=<", 0) == 0 ? 0 : body.find(",CMT=<");
  if (at != std::string::npos && at > 0) ++at;
  size_t end = body.find_last_of('>');
  if (at != std::string::npos && end != std::string::npos && end > at + 4) {
    comment = body.substr(at + 5, end - at - 5);
  } else {
    SonoAttribute parser;
    if (!parser.GetField("CMT", body, &comment)) comment.clear();
  }
  return comment == "<no comment>" ? std::string() : comment;
}

std::string GuanoField(const char* key, const std::string& value) {
  std::string line;
  AddLine(&line, key, value);
  return line;
}

std::string ComposeGuanoText(const FormatWithAttribute& record, uint64_t frames, const std::string& extra) {
  SonoAttribute parser;
  int64_t r = record.format.sampleRate, e = 1, k = 0;
  std::string body;
  const std::string attribute = record.AttributeText();
  bool parsed = !attribute.empty() &&
                parser.ParseRecord(int(attribute.size()), attribute.data(), &r, &e, &k, &body);
  if (!parsed) {
    r = record.format.sampleRate;
    e = 1;
  }
  if (e < 1) e = 1;
  const uint64_t realRate = uint64_t(record.format.sampleRate) * uint64_t(e);

  std::string out = "GUANO|Version: 1.0\n";
  std::string value;
  CalendarTime utc;
  if (parsed && parser.GetField("UTC", body, &value) && parser.ParseTime(value, &utc)) {
    std::string bias;
    int biasMinutes = 0;
    if (parser.GetField("LTB", body, &bias)) biasMinutes = std::atoi(Trim(bias).c_str());
    std::string iso;
    if (IsoLocalTime(utc, biasMinutes, &iso)) AddLine(&out, "Timestamp", iso);
  }
  AddLine(&out, "TE", std::to_string(e));
  AddLine(&out, "Samplerate", std::to_string(realRate));
  char length[32];
  std::snprintf(length, sizeof length, "%.6f", realRate ? double(frames) / double(realRate) : 0.0);
  AddLine(&out, "Length", length);
  AddLine(&out, "Make", "Halvane");
  if (parsed && parser.GetField("DEV", body, &value)) AddLine(&out, "Model", Trim(value));
  if (parsed && parser.GetField("GPS", body, &value)) {
    std::string lat = GpsPart(value, "lat"), lon = GpsPart(value, "lon"), alt = GpsPart(value, "alt");
    double altitude = 0.0;
    if (IsNumber(lat, nullptr) && IsNumber(lon, nullptr)) AddLine(&out, "Loc Position", lat + " " + lon);
    if (IsNumber(alt, &altitude)) {
      char metres[32];
      std::snprintf(metres, sizeof metres, "%.1f", altitude);
      AddLine(&out, "Loc Elevation", metres);
    }
  }
  const std::string comment = parsed ? AttributeComment(body) : std::string();
  if (!comment.empty()) AddLine(&out, "Note", comment);
  AddLine(&out, "Firmware Version", HALVANE_VERSION);
  if (!attribute.empty()) AddLine(&out, "Halvane|Attribute", Trim(attribute));
  return out + extra;
}

}  // namespace hv
