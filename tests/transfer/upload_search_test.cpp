#include "transfer/upload_search.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(UploadSearch, PatternReplacesOrAppendsTheExtension) {
  EXPECT_EQ(UploadSearchPattern("/bats/site4.wav"), "/bats/site4*.w*");
  EXPECT_EQ(UploadSearchPattern("/bats/site4"), "/bats/site4*.w*");
  EXPECT_EQ(UploadSearchPattern("/bats.2024/site4"), "/bats.2024/site4*.w*");
  EXPECT_EQ(UploadSearchPattern("site4.wv"), "site4*.w*");
}

// Never a file being written, nor a look-alike beside the base path.
TEST(UploadSearch, OnlyTheStationsFinishedRecordingsMatch) {
  const std::string p = "site4*.w*";
  for (const char* name : {"site4_D20240131T220000m000.wav", "site4_D20240131T220000m000.wv"})
    EXPECT_TRUE(MatchesUploadPattern(name, p)) << name;
  for (const char* name :
       {"site4_D20240131T220000m000.tmp_wav", "site4_D20240131T220000m000.tmp_wv", "site4.w.tmp_wav",
        "site4_D20240131_log.txt", "site5_D20240131T220000m000.wav", "site", "site4.wav", "site4-notes.wbk.txt",
        "site4_D20240131T220000m000.wav.bak", "site4_D20240131T220000m000.wavx", "site4_D20240131T220000m000.png",
        "site4_D20240131T220000m00.wav", "site4_D20240131T220000m0000.wav", "site4_D2024013xT220000m000.wav",
        "site4_D20240131X220000m000.wav", "site4_D20240131T220000s000.wav", "site4_d20240131T220000m000.wav",
        "site4x_D20240131T220000m000.wav", "site4_D20240131T220000m000 (copy).wav", "site4_D20240131T220000m000.WAV",
        "site4_D20240131T220000m000.Wv"})
    EXPECT_FALSE(MatchesUploadPattern(name, p)) << name;
  EXPECT_FALSE(MatchesUploadPattern("site4_D20240131T220000m000.wav", "no wildcard"));
  // A base path that is a folder ("/rec/"): only names that are a bare time stamp.
  EXPECT_EQ(UploadSearchPattern("/rec/"), "/rec/*.w*");
  EXPECT_TRUE(MatchesUploadPattern("_D20240131T220000m000.wv", "*.w*"));
  for (const char* name : {"precious-survey.wav", "site-notes.wbk.txt", "x_D20240131T220000m000.wav"})
    EXPECT_FALSE(MatchesUploadPattern(name, "*.w*")) << name;
}

}  // namespace
}  // namespace hv
