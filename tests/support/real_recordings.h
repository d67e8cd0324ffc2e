// Test helper: the folder of real recordings made by other recorders. They are
// not part of the project (tests/testdata/README.md says where they come from
// and scripts/fetch-testdata fetches them): the folder is $HALVANE_TESTDATA
// when set, else the one compiled in as HALVANE_TESTDATA_DIR. Tests on them are
// skipped, with the reason, when the files are missing; they fail when
// HALVANE_TESTDATA names a folder that lacks them, since then they were asked for.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>

namespace hv::test {

inline std::string RealRecordingsFolder() {
  const char* named = std::getenv("HALVANE_TESTDATA");
  return named && *named ? named : HALVANE_TESTDATA_DIR;
}

inline std::string RealRecording(const std::string& name) { return RealRecordingsFolder() + "/" + name; }

// Empty when every one of `names` is in the folder; else what is missing.
inline std::string MissingRealRecordings(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(RealRecording(name), ec))
      return "real recording " + RealRecording(name) +
             " not found (set HALVANE_TESTDATA to their folder, or fetch them with scripts/fetch-testdata)";
  }
  return "";
}

inline bool RealRecordingsAskedFor() {
  const char* named = std::getenv("HALVANE_TESTDATA");
  return named && *named;
}

}  // namespace hv::test

// In a test body: skips the test (fails it when HALVANE_TESTDATA was set) unless
// every named real recording is present.
#define REQUIRE_REAL_RECORDINGS(...)                                                   \
  do {                                                                                 \
    const std::string missing_ = ::hv::test::MissingRealRecordings({__VA_ARGS__});     \
    if (!missing_.empty()) {                                                           \
      if (::hv::test::RealRecordingsAskedFor()) GTEST_FAIL() << missing_;              \
      GTEST_SKIP() << missing_;                                                        \
    }                                                                                  \
  } while (0)
