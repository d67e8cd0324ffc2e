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
  EXPECT_TRUE(MatchesUploadPattern("site4_D20240131T220000m000.wav", p));
  EXPECT_TRUE(MatchesUploadPattern("site4_D20240131T220000m000.wv", p));
  EXPECT_TRUE(MatchesUploadPattern("site4.wav", p));
  EXPECT_FALSE(MatchesUploadPattern("site4_D20240131T220000m000.tmp_wav", p));
  EXPECT_FALSE(MatchesUploadPattern("site4_D20240131T220000m000.tmp_wv", p));
  EXPECT_FALSE(MatchesUploadPattern("site4.w.tmp_wav", p));
  EXPECT_FALSE(MatchesUploadPattern("site4_D20240131_log.txt", p));
  EXPECT_FALSE(MatchesUploadPattern("site5_D20240131T220000m000.wav", p));
  EXPECT_FALSE(MatchesUploadPattern("site", p));
  EXPECT_FALSE(MatchesUploadPattern("site4.wav", "no wildcard"));
}

}  // namespace
}  // namespace hv
