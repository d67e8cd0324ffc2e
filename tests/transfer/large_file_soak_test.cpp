// A recording over 4 GiB goes out whole: the server counts what arrives.
// Long (tens of seconds), so it runs only with the soak tests.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "ftp_test_server.h"
#include "transfer/file_xfer.h"

namespace hv {
namespace {

TEST(LargeFileSoak, FileOverFourGibibytesIsSentWhole) {
  TempFolder local, remote;
  const uint64_t size = (uint64_t(1) << 32) + 4097;
  const std::string path = local / "big_D20240131T220000m000.wav";
  {
    // Sparse but for its last 16 bytes, which lie beyond the 32-bit mark.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    const char tail[] = "0123456789abcdef";
    ASSERT_EQ(pwrite(fd, tail, 16, static_cast<off_t>(size - 16)), 16);
    close(fd);
  }
  FtpTestServer server;
  ASSERT_TRUE(server.Start("127.0.0.59", remote.path, 0, 0, true));
  FileXfer xfer;
  ASSERT_TRUE(xfer.loginAnonymous(server.Host()));
  EXPECT_TRUE(xfer.put(path, 0)) << xfer.lastError();
  xfer.close();
  std::string counted = ReadWholeFile(remote / "big_D20240131T220000m000.wav.count");
  char expect[128];
  std::snprintf(expect, sizeof expect, "%" PRIu64 " 30313233343536373839616263646566\n", size);
  EXPECT_EQ(counted, expect);
}

}  // namespace
}  // namespace hv
