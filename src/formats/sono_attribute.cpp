#include "formats/sono_attribute.h"

#include <cctype>
#include <cstring>

namespace hv {

namespace {

constexpr int kMarker = 9;
constexpr int64_t kNumberLimit = 0x7FFFFFFF;  // larger numbers are refused (R x E never overflows)

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads "open digits close" at `pos` when the text starts with `open` there.
// Returns 0 when absent, 1 when read, -1 when started but not closed properly.
int ReadField(const char* t, int length, int* pos, const char* open, const char* close, int64_t* value) {
  if (*pos + 2 > length || std::memcmp(t + *pos, open, 2) != 0) return 0;
  int p = *pos + 2;
  int64_t v = 0;
  while (p < length && IsDigit(t[p])) {
    v = v * 10 + (t[p] - '0');
    if (v > kNumberLimit) return -1;
    ++p;
  }
  if (p + 2 > length || std::memcmp(t + p, close, 2) != 0) return -1;
  *value = v;
  *pos = p + 2;
  return 1;
}

}  // namespace

bool SonoAttribute::ParseRecord(int length, const char* text, int64_t* r, int64_t* e, int64_t* k,
                                std::string* body) {
  if (!text || length < kMarker || !r || !e || !k) return false;
  for (int i = 0; i < kMarker; ++i)
    if (text[i] != 'M') return false;
  int pos = kMarker;
  // The record ends just after its last M.
  while (length > pos && text[length - 1] != 'M') --length;

  int got = ReadField(text, length, &pos, "(#", "#)", r);
  if (got < 0) return false;
  got = ReadField(text, length, &pos, "<&", "&>", e);
  if (got < 0) return false;
  if (pos + 8 <= length && std::memcmp(text + pos, "[!full!]", 8) == 0) {
    *k = (*r) * (*e) / 1000;
    pos += 8;
  } else if (ReadField(text, length, &pos, "[!", "!]", k) < 0) {
    return false;
  }
  if (length - kMarker < pos) return false;
  int bodyEnd = length - kMarker;
  for (int i = bodyEnd; i < length; ++i)
    if (text[i] != 'M') return false;
  if (body) body->assign(text + pos, size_t(bodyEnd - pos));
  if (*e == 1 && (*r == 25000 || *r == 37500))
    *e = 10;
  else if (*e == 10 && (*r == 250000 || *r == 375000))
    *e = 1;
  return true;
}

bool SonoAttribute::GetField(const char* key, const std::string& body, std::string* value) {
  if (!key || !*key) return false;
  const size_t keyLength = std::strlen(key);
  for (size_t at = 0; at + keyLength < body.size(); ++at) {
    if (body.compare(at, keyLength, key) != 0 || body[at + keyLength] != '=') continue;
    size_t p = at + keyLength + 1;
    if (p >= body.size()) continue;  // nothing after "="
    std::string v;
    bool bracketed = false;
    for (; p < body.size(); ++p) {
      char c = body[p];
      if (!bracketed && c == '<') {
        bracketed = true;
        continue;
      }
      if (bracketed ? c == '>' : c == ',') break;
      v.push_back(c);
    }
    if (value) *value = v;
    return true;
  }
  return false;
}

bool SonoAttribute::ParseTime(const std::string& text, CalendarTime* time) {
  if (!time) return false;
  // Pattern: 'd' a digit, anything else a literal separator.
  static const char kPattern[] = "dddd:dd:dd::dd:dd:dd.ddd";
  int* fields[] = {&time->year, &time->month, &time->day, &time->hour, &time->minute, &time->second,
                   &time->millisecond};
  time->dayOfWeek = 0;
  int field = 0, value = 0;
  for (size_t i = 0; kPattern[i]; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (kPattern[i] == 'd') {
      if (!IsDigit(c)) return false;
      value = value * 10 + (c - '0');
      if (kPattern[i + 1] != 'd') {
        *fields[field++] = value;
        value = 0;
      }
    } else if (c != kPattern[i]) {
      return false;
    }
  }
  return true;
}

bool SonoAttribute::ParseUnsigned(const std::string& text, uint32_t* value) {
  size_t p = 0;
  while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
  uint64_t v = 0;
  for (; p < text.size() && !std::isspace(static_cast<unsigned char>(text[p])); ++p) {
    if (!IsDigit(text[p])) return false;
    v = v * 10 + uint64_t(text[p] - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  if (value) *value = uint32_t(v);
  return true;
}

}  // namespace hv
