#include "formats/attribute_record.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "formats/format_record.h"

namespace hv {

std::string CutText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t n = limit;
  // Step back over continuation bytes so a multi-byte character is never split.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

namespace {

std::string Format(const AttributeInputs& in, const std::string& comment) {
  std::tm t{};
  std::time_t utc = in.start.utcSeconds;
  gmtime_r(&utc, &t);
  const std::string device = CutText(in.device, 127);
  std::vector<char> out(2048);
  int n;
  if (in.withGps) {
    n = std::snprintf(out.data(), out.size(),
                      "MMMMMMMMM(#%ld#)<&%ld&>[!%ld!]DEV=%s,DC=%s,UTC=%04d:%02d:%02d::%02d:%02d:%02d.%03d,LTB=%4d,"
                      "GPS=<lat:%s lon:%s alt:%s>,CMT=<%s>MMMMMMMMM ",
                      long(in.headerRate), long(in.expansion), long(in.realRateKHz), device.c_str(),
                      in.compensated ? "On" : "Off", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                      t.tm_sec, in.start.milliseconds, in.start.biasMinutes, CutText(in.latitude, 31).c_str(),
                      CutText(in.longitude, 31).c_str(), CutText(in.altitude, 31).c_str(), comment.c_str());
  } else {
    n = std::snprintf(out.data(), out.size(),
                      "MMMMMMMMM(#%ld#)<&%ld&>[!%ld!]DEV=%s,DC=%s,UTC=%04d:%02d:%02d::%02d:%02d:%02d.%03d,LTB=%4d,"
                      "CMT=<%s>MMMMMMMMM ",
                      long(in.headerRate), long(in.expansion), long(in.realRateKHz), device.c_str(),
                      in.compensated ? "On" : "Off", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                      t.tm_sec, in.start.milliseconds, in.start.biasMinutes, comment.c_str());
  }
  if (n < 0) return std::string();
  return std::string(out.data(), size_t(n) < out.size() ? size_t(n) : out.size() - 1);
}

}  // namespace

std::string ComposeAttribute(const AttributeInputs& in) {
  const size_t limit = kAttributeRoom + 1;  // the final space may be dropped by rounding
  std::string comment = CutText(in.comment, 255);
  std::string text = Format(in, comment);
  if (text.size() > limit) {
    size_t excess = text.size() - limit;
    comment = CutText(comment, comment.size() > excess ? comment.size() - excess : 0);
    text = Format(in, comment);
  }
  return text;
}

}  // namespace hv
