#include "formats/playback_file_info.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "formats/guano.h"
#include "formats/guano_chunk.h"
#include "formats/playback_file.h"
#include "formats/sono_attribute.h"
#include "formats/stream_calendar.h"

namespace hv {

namespace {

constexpr size_t kMaxDeviceChars = 127;
constexpr size_t kMaxCommentChars = 255;

// A device name from outside text: characters that would break the attribute
// record the recorders compose from it (",", "<", ">", control characters)
// become spaces, and it is cut to the record's capacity.
std::string CleanDeviceName(std::string name) {
  for (char& c : name)
    if (c == ',' || c == '<' || c == '>' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  if (name.size() > kMaxDeviceChars) name.resize(kMaxDeviceChars);
  return name;
}

// The local time bias of the LTB field: the recorders write it signed ("%4d"),
// so a place east of Greenwich has a negative bias (" -60").
bool ParseBias(SonoAttribute& attribute, const std::string& text, int* bias) {
  uint32_t value = 0;
  if (attribute.ParseUnsigned(text, &value)) {
    if (value > 24 * 60) return false;
    *bias = static_cast<int>(value);
    return true;
  }
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos || (text[i] != '-' && text[i] != '+')) return false;
  if (!attribute.ParseUnsigned(text.substr(i + 1), &value) || value > 24 * 60) return false;
  *bias = text[i] == '-' ? -static_cast<int>(value) : static_cast<int>(value);
  return true;
}

void TakeAttribute(const std::string& text, PlaybackFileInfo* info) {
  SonoAttribute attribute;
  int64_t r = 0, e = 10, k = 0;
  std::string body;
  if (!attribute.ParseRecord(static_cast<int>(text.size()), text.data(), &r, &e, &k, &body)) return;
  info->attributeParsed = true;
  // A factor of 0 or an absurd one gives a replay rate the playback refuses.
  info->expansion = e > 0 ? static_cast<uint32_t>(std::min<int64_t>(e, 1000000)) : 0;
  std::string value;
  bool hasDevice = attribute.GetField("DEV", body, &value);
  info->deviceName = hasDevice && value.rfind("No ", 0) != 0 ? CleanDeviceName(value) : "<No device found>";
  info->comment = attribute.GetField("CMT", body, &value) ? value : "<no comment>";
  info->compensated = attribute.GetField("DC", body, &value) && value.rfind("On", 0) == 0;
  StreamTime start;
  CalendarTime parsed;
  if (attribute.GetField("UTC", body, &value) && attribute.ParseTime(value, &parsed)) CalendarToStreamTime(parsed, 0, &start);
  int bias = 0;
  if (attribute.GetField("LTB", body, &value) && ParseBias(attribute, value, &bias))
    start.biasMinutes = bias;
  else
    start.biasMinutes = LocalBiasMinutes(start.utcSeconds);
  info->startTime = start;
  info->fieldText = text.substr(0, text.find('\0'));
  std::replace(info->fieldText.begin(), info->fieldText.end(), ',', ' ');
  info->setupComment = hasDevice ? info->comment : text.substr(0, std::min(text.find('\0'), kMaxCommentChars));
}

void TakeGuano(const std::string& text, PlaybackFileInfo* info) {
  GuanoInfo guano;
  if (!ParseGuano(text, &guano)) return;
  info->hasGuano = true;
  if (guano.hasExpansion) info->expansion = guano.expansion;
  if (guano.hasTime) info->startTime = guano.time;
  std::string device = CleanDeviceName(guano.DeviceName());
  if (!device.empty()) info->deviceName = device;
  std::string comment = guano.note;
  if (!guano.position.empty()) comment += (comment.empty() ? "" : " ") + std::string("Loc Position: ") + guano.position;
  if (comment.size() > kMaxCommentChars) comment.resize(kMaxCommentChars);
  if (!comment.empty()) info->comment = info->setupComment = comment;
  std::string shown = text.substr(0, text.find('\0'));
  while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' || shown.back() == ' ')) shown.pop_back();
  info->fieldText = shown;
}

}  // namespace

bool IsPlayableFormat(const WaveFormat& f) {
  return f.formatTag == 1 && f.bitsPerSample == 16 && f.channels >= 1 && f.channels <= 4 &&
         f.blockAlign == 2 * f.channels;
}

void ReadPlaybackFileInfo(const PlaybackFile& file, const std::string& path, PlaybackFileInfo* info) {
  *info = PlaybackFileInfo{};
  info->format = file.Format();
  const uint32_t headerRate = info->format.sampleRate;
  // Without an attribute record: time-expanded header rates are slowed ten times;
  // a recorder that wrote its real rate (above 48000 Hz) was not.
  info->expansion = DefaultExpansion(headerRate);
  info->startTime.biasMinutes = LocalBiasMinutes(std::time(nullptr));
  const std::string& attribute = file.Attribute();
  info->hasAttribute = !attribute.empty();
  if (info->hasAttribute) {
    info->expansion = 1;  // a record that does not parse: the header rate
    TakeAttribute(attribute, info);
  }
  if (!info->attributeParsed && !file.IsWavPack()) {
    std::string guano;
    if (ReadGuanoText(path, &guano)) TakeGuano(guano, info);
  }
  info->realRate = static_cast<uint64_t>(headerRate) * info->expansion;
}

}  // namespace hv
