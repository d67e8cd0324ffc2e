// The contact sheet of a folder of pictures: one HTML page (UTF-8, its style
// inside it, no scripts) that shows every picture with the recording's start
// time, length, trigger level and, when counted, its calls, sorted by time, and lists the recordings
// that could not be drawn with the reason. Texts from file names and
// recordings are escaped; picture links are percent-encoded.
#pragma once

#include <string>
#include <vector>

#include "sono/sono_batch.h"

namespace hv {

constexpr const char* kContactSheetName = "index.html";

// Orders entries by start time, then by recording path.
void SortByTime(std::vector<SheetEntry>* entries);

// The page for `entries` in their order; `title` heads it.
std::string ContactSheetHtml(const std::vector<SheetEntry>& entries, const std::string& title);

// Writes the page as index.html in `folder` (through a temporary file and a
// rename). An index.html that this program did not write is never replaced:
// false with a reason.
bool WriteContactSheet(const std::string& folder, const std::vector<SheetEntry>& entries, const std::string& title,
                       std::string* error);

// "2026-06-14 21:03:07.250 UTC+02:00" (the time in its own zone), or
// "2026-06-14 21:03:07.250" for a time taken from a name or a file.
std::string SheetTimeText(const SheetEntry& entry);

}  // namespace hv
