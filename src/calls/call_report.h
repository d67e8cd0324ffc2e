// Text forms of found calls: CSV rows (one per call, with a header line) and
// JSON lines (one object per call, one per file's summary). Frequencies in
// kHz, times in s, durations in ms, levels in dB.
#pragma once

#include <string>

#include "calls/call_file.h"

namespace hv {

struct CallSummary {
  int calls = 0;
  int passes = 0;
  float medianPeakKHz = 0;  // median of the calls' peak frequencies; 0 without calls
  float loudestDb = 0;
};
CallSummary SummariseCalls(const FileCalls& file);

std::string CallCsvHeader();
std::string CallCsvRow(const std::string& file, const CallMeasure& call);
std::string CallJsonLine(const std::string& file, const CallMeasure& call);
// A one-line summary: JSON when json, else plain text.
std::string SummaryLine(const FileCalls& file, bool json);

}  // namespace hv
