#include "calls/call_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace hv {

namespace {
// CSV field: quoted when it holds a comma, quote or line break; quotes doubled.
std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}
}  // namespace

CallSummary SummariseCalls(const FileCalls& file) {
  CallSummary s;
  s.calls = int(file.calls.size());
  s.passes = CountPasses(file.calls);
  if (file.calls.empty()) return s;
  std::vector<float> peaks;
  s.loudestDb = file.calls.front().peakDb;
  for (const CallMeasure& c : file.calls) {
    peaks.push_back(c.fPeakHz);
    s.loudestDb = std::max(s.loudestDb, c.peakDb);
  }
  std::sort(peaks.begin(), peaks.end());
  s.medianPeakKHz = peaks[peaks.size() / 2] / 1000.0f;
  return s;
}

std::string CallCsvHeader() { return "file,start_s,end_s,duration_ms,fmax_khz,fmin_khz,fpeak_khz,fchar_khz,peak_db"; }

std::string CallCsvRow(const std::string& file, const CallMeasure& c) {
  char buf[256];
  std::snprintf(buf, sizeof buf, ",%.4f,%.4f,%.2f,%.1f,%.1f,%.1f,%.1f,%.1f", c.startS, c.endS, c.DurationMs(),
                c.fMaxHz / 1000, c.fMinHz / 1000, c.fPeakHz / 1000, c.fCharHz / 1000, c.peakDb);
  return CsvField(file) + buf;
}

std::string CallJsonLine(const std::string& file, const CallMeasure& c) {
  auto round = [](double v, double unit) { return std::round(v / unit) * unit; };
  nlohmann::json j = {{"file", file},
                      {"start_s", round(c.startS, 1e-4)},
                      {"end_s", round(c.endS, 1e-4)},
                      {"duration_ms", round(c.DurationMs(), 0.01)},
                      {"fmax_khz", round(c.fMaxHz / 1000, 0.1)},
                      {"fmin_khz", round(c.fMinHz / 1000, 0.1)},
                      {"fpeak_khz", round(c.fPeakHz / 1000, 0.1)},
                      {"fchar_khz", round(c.fCharHz / 1000, 0.1)},
                      {"peak_db", round(c.peakDb, 0.1)}};
  // Invalid UTF-8 in a file name is replaced, never thrown over.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string SummaryLine(const FileCalls& file, bool json) {
  CallSummary s = SummariseCalls(file);
  if (json) {
    nlohmann::json j = {{"file", file.path},        {"summary", true},
                        {"seconds", file.seconds},  {"real_rate", file.realRate},
                        {"calls", s.calls},         {"passes", s.passes},
                        {"median_fpeak_khz", s.medianPeakKHz}, {"loudest_db", s.loudestDb}};
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  char buf[256];
  std::snprintf(buf, sizeof buf, ": %d calls, %d passes in %.2f s at %llu Hz", s.calls, s.passes, file.seconds,
                static_cast<unsigned long long>(file.realRate));
  std::string line = file.path + buf;
  if (s.calls > 0) {
    std::snprintf(buf, sizeof buf, ", median peak frequency %.1f kHz, loudest %.1f dB", s.medianPeakKHz,
                  s.loudestDb);
    line += buf;
  }
  return line;
}

}  // namespace hv
