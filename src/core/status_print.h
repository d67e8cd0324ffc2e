// Status lines for a station without a screen: receiver found or lost, record
// status and file names, timer, transfer and GPS changes. Printed to standard
// output, one line each, starting with the local time, only in headless mode.
// Texts from outside (file names, receiver texts) may hold line breaks or other
// control bytes; every line is printed with those escaped, so one event is
// always one line.
#pragma once

#include <atomic>
#include <string>

namespace hv {

extern std::atomic<bool> g_headless;

// `text` with each control byte (below 0x20, and 0x7F) written as \n, \r, \t
// or \xNN; other bytes unchanged.
std::string Escaped(const std::string& text);

void StatusPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace hv
