// halvane-calls end to end: simulated scenes with their truth, time expansion,
// bad input, and the real recordings when present.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/real_recordings.h"

namespace {

namespace fs = std::filesystem;
using hv::testutil::CommandOutput;
using hv::testutil::CommandStatus;

const std::string kSim = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-sim/halvane-sim";
const std::string kCalls = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-calls/halvane-calls";

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> row;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, ',');) row.push_back(f);
    rows.push_back(row);
  }
  return rows;
}

// Calls of the truth found in the detector's rows (columns start_s, end_s at 1, 2)
// with start and end within 1 ms.
int FoundWithinOneMs(const std::vector<std::vector<std::string>>& truth,
                     const std::vector<std::vector<std::string>>& found, double scale, int* counted) {
  int hits = 0;
  *counted = 0;
  for (size_t i = 1; i < truth.size(); ++i) {
    double start = std::stod(truth[i][0]), end = std::stod(truth[i][1]);
    if (end > 5.99) continue;
    ++*counted;
    for (size_t k = 1; k < found.size(); ++k) {
      double s = std::stod(found[k][1]) * scale, e = std::stod(found[k][2]) * scale;
      if (std::abs(s - start) <= 1e-3 && std::abs(e - end) <= 1e-3) {
        ++hits;
        break;
      }
    }
  }
  return hits;
}

TEST(HalvaneCalls, FindsTheSimulatorsCallsAsCsvAndJson) {
  TempFolder dir;
  const std::string wav = dir / "scene.wav", truth = dir / "truth.csv";
  ASSERT_EQ(CommandStatus(kSim + " --signal scene:15 --seconds 6 --write " + wav + " --truth " + truth), 0);
  auto truthRows = CsvRows(hv::testutil::ReadText(truth));
  ASSERT_EQ(truthRows[0].size(), 6u);
  auto rows = CsvRows(CommandOutput(kCalls + " " + wav + " 2>/dev/null"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].size(), 9u);
  for (const auto& r : rows) EXPECT_EQ(r.size(), 9u);
  int counted = 0;
  int hits = FoundWithinOneMs(truthRows, rows, 1.0, &counted);
  EXPECT_GT(counted, 30);
  EXPECT_GE(hits * 100, counted * 95) << hits << " of " << counted;

  // JSON lines: the same calls, then the file's summary.
  std::istringstream json(CommandOutput(kCalls + " --json " + wav));
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(json, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), rows.size());  // header row there, summary line here
  EXPECT_NEAR(lines[0]["start_s"].get<double>(), std::stod(rows[1][1]), 1e-9);
  EXPECT_EQ(lines.back()["calls"].get<int>(), int(rows.size()) - 1);
  EXPECT_EQ(lines.back()["real_rate"].get<int>(), 250000);
}

// The scene written at 250 kHz, labelled as 25 kHz with GUANO TE 10: the same
// calls at the same real times and frequencies.
TEST(HalvaneCalls, HonoursTimeExpansion) {
  TempFolder dir;
  const std::string wav = dir / "scene.wav", expanded = dir / "expanded.wav";
  ASSERT_EQ(CommandStatus(kSim + " --signal scene:20 --seconds 3 --write " + wav), 0);
  std::vector<uint8_t> bytes = ReadAllBytes(wav);
  hv::PutLe32(&bytes[24], 25000);  // sample rate
  hv::PutLe32(&bytes[28], 50000);  // byte rate
  const std::string guano = "GUANO|Version: 1.0\nTE: 10\n";
  bytes.insert(bytes.end(), {'g', 'u', 'a', 'n', 0, 0, 0, 0});
  hv::PutLe32(&bytes[bytes.size() - 4], uint32_t(guano.size()));
  bytes.insert(bytes.end(), guano.begin(), guano.end());
  hv::PutLe32(&bytes[4], uint32_t(bytes.size() - 8));
  WriteAllBytes(expanded, bytes);

  std::string plain = CommandOutput(kCalls + " " + wav + " 2>/dev/null");
  std::string te = CommandOutput(kCalls + " " + expanded + " 2>/dev/null");
  auto a = CsvRows(plain), b = CsvRows(te);
  ASSERT_GT(a.size(), 10u);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 1; i < a.size(); ++i)
    for (size_t k = 1; k < a[i].size(); ++k) EXPECT_EQ(a[i][k], b[i][k]) << "row " << i << " column " << k;
}

TEST(HalvaneCalls, ReportsUnreadableInputAndGoesOn) {
  TempFolder dir;
  ASSERT_EQ(CommandStatus(kSim + " --signal scene:20 --seconds 1 --write " + (dir / "a.WAV")), 0);
  WriteAllBytes(dir / "b.wav", {'R', 'I', 'F', 'F', 1, 2});  // truncated
  WriteAllBytes(dir / "notes.txt", {'x'});
  fs::create_directories(dir / "sub");
  fs::copy_file(dir / "a.WAV", dir / "sub/c.wav");
  const std::string err = dir / "err.txt";
  std::string out = CommandOutput(kCalls + " " + dir.path + " 2>" + err);
  std::string messages = hv::testutil::ReadText(err);
  EXPECT_NE(messages.find("b.wav"), std::string::npos) << messages;
  EXPECT_EQ(messages.find("notes.txt"), std::string::npos) << messages;
  EXPECT_NE(out.find("a.WAV,"), std::string::npos);
  EXPECT_NE(out.find("sub/c.wav,"), std::string::npos);
  EXPECT_EQ(CommandStatus(kCalls + " " + dir.path + " >/dev/null 2>&1"), 1);
  EXPECT_EQ(CommandStatus(kCalls + " " + (dir / "a.WAV") + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(CommandStatus(kCalls + " --bogus >/dev/null 2>&1"), 2);
  EXPECT_EQ(CommandStatus(kCalls + " >/dev/null 2>&1"), 2);
}

TEST(HalvaneCalls, RealRecordings) {
  REQUIRE_REAL_RECORDINGS("audiomoth-250k-nocalls.wav", "audiomoth-250k-guano.wav", "batlogger-312k-guano.wav",
                          "myomys-500k.wav");
  const std::string folder = hv::test::RealRecordingsFolder();
  std::istringstream in(CommandOutput(kCalls + " --json " + folder));
  std::map<std::string, int> calls;
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line);
    if (j.contains("summary")) {
      std::string name = fs::path(j["file"].get<std::string>()).filename();
      calls[name] = j["calls"].get<int>();
      std::printf("%s: %d calls, %d passes, median peak %.1f kHz\n", name.c_str(), j["calls"].get<int>(),
                  j["passes"].get<int>(), j["median_fpeak_khz"].get<double>());
    }
  }
  EXPECT_EQ(calls["audiomoth-250k-nocalls.wav"], 0);
  for (const char* name : {"audiomoth-250k-guano.wav", "batlogger-312k-guano.wav", "myomys-500k.wav"})
    EXPECT_GT(calls[name], 0) << name;
}

}  // namespace
