// Status lines for a station without a screen: receiver found or lost, record
// status and file names, timer, transfer and GPS changes. Printed to standard
// output, one line each, starting with the local time, only in headless mode.
#pragma once

#include <atomic>

namespace hv {

extern std::atomic<bool> g_headless;

void StatusPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace hv
