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

TEST(UploadSearch, FinishedRecordingsMatchAndFilesBeingWrittenNever) {
  const std::string p = "site4*.w*";
  for (const char* name : {"site4_D20240131T220000m000.wav", "site4_D20240131T220000m000.wv", "site4.wav"})
    EXPECT_TRUE(MatchesUploadPattern(name, p)) << name;
  for (const char* name : {"site4_D20240131T220000m000.tmp_wav", "site4_D20240131T220000m000.tmp_wv", "site4.w.tmp_wav",
                           "site4_D20240131_log.txt", "site5_D20240131T220000m000.wav", "site"})
    EXPECT_FALSE(MatchesUploadPattern(name, p)) << name;
  EXPECT_FALSE(MatchesUploadPattern("site4.wav", "no wildcard"));
}

}  // namespace
}  // namespace hv
