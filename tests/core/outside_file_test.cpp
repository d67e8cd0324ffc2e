// Opening files named from outside without ever blocking, folder paths made as
// needed, and outside texts escaped into one line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "core/outside_file.h"
#include "core/status_print.h"
#include "support/files.h"

namespace hv {
namespace {

TEST(OutsideFile, OnlyRegularFilesOpenAndNothingWaits) {
  TempFolder folder;
  std::ofstream(folder / "plain.wav") << "RIFF";
  ASSERT_EQ(mkfifo((folder / "pipe.wav").c_str(), 0600), 0);
  mkdir((folder / "dir.wav").c_str(), 0700);
  struct Case {
    std::string path;
    const char* why;  // empty: opens
  };
  const Case kCases[] = {
      {folder / "plain.wav", ""},
      {folder / "pipe.wav", "is a named pipe"},  // an open for reading would wait for a writer
      {folder / "dir.wav", "is a folder"},
      {"/dev/null", "is a device"},
      {folder / "missing.wav", "No such file"},
      {"", "no file named"},
  };
  alarm(10);  // an open that waits for a writer ends the test here instead of hanging it
  for (const Case& c : kCases) {
    std::string why;
    int fd = OpenRegularFile(c.path, &why);
    if (*c.why == '\0') {
      ASSERT_GE(fd, 0) << c.path << ": " << why;
      EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "handed over in blocking mode";
      char bytes[8];
      EXPECT_EQ(read(fd, bytes, sizeof bytes), 4);
      close(fd);
    } else {
      EXPECT_LT(fd, 0) << c.path;
      EXPECT_NE(why.find(c.why), std::string::npos) << c.path << ": " << why;
      EXPECT_FALSE(CheckRegularFile(c.path, nullptr)) << c.path;
    }
  }
  alarm(0);
}

TEST(OutsideFile, FolderPathsAreCreatedWithTheirParents) {
  TempFolder folder;
  const std::string deep = folder / "a/b//c/";
  std::string why;
  ASSERT_TRUE(CreateFolderPath(deep, 0700, &why)) << why;
  struct stat st {};
  ASSERT_EQ(stat((folder / "a/b/c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the last folder gets the mode asked for";
  ASSERT_EQ(stat((folder / "a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0700, 0700u);
  EXPECT_TRUE(CreateFolderPath(deep, 0700, &why)) << "an existing folder is fine";

  std::ofstream(folder / "a/file") << "x";
  EXPECT_FALSE(CreateFolderPath(folder / "a/file/d", 0700, &why));
  EXPECT_NE(why.find("a/file is not a folder"), std::string::npos) << why;
  EXPECT_FALSE(CreateFolderPath("", 0700, &why));
}

TEST(StatusText, ControlBytesAreEscapedSoOneEventStaysOneLine) {
  EXPECT_EQ(Escaped("site.wav"), "site.wav");
  EXPECT_EQ(Escaped("a\nb\rc\td"), "a\\nb\\rc\\td");
  EXPECT_EQ(Escaped(std::string("x\0\x1b\x7f" "\xc3\xa9", 6)), "x\\x00\\x1B\\x7F\xc3\xa9") << "UTF-8 stays";
}

}  // namespace
}  // namespace hv
