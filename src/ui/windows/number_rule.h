// The number rule of the edit fields: an optional "-", decimal digits, then
// optionally "." and more digits, and nothing else. Digits alone whose value is
// 0 (or an empty text) are not a valid number; "0.0" with its point is.
#pragma once

#include <string>

namespace hv {

// True with the value (a 32-bit float) when `text` is a valid number.
bool ParseNumberRule(const std::string& text, float* value);

}  // namespace hv
