#include "ui/windows/number_rule.h"

#include <cstdlib>

namespace hv {

bool ParseNumberRule(const std::string& text, float* value) {
  size_t i = 0, digits = 0;
  if (i < text.size() && text[i] == '-') ++i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  bool hasPoint = i < text.size() && text[i] == '.';
  if (hasPoint)
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
  if (i != text.size() || digits == 0) return false;
  float v = std::strtof(text.c_str(), nullptr);
  if (!hasPoint && v == 0.0f) return false;  // "0" and "00" are not numbers; "0.0" is
  if (value) *value = v;
  return true;
}

}  // namespace hv
