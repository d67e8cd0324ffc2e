// Runtime services: threads, the auto-reset event, the diagnostic print, the
// instance counter (including a copy killed with SIGKILL) and file operations.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/file_ops.h"
#include "core/instance_counter.h"
#include "core/runtime.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

fs::path TempDir(const char* name) {
  fs::path p = fs::temp_directory_path() / (std::string("halvane-test-") + name + "-" + std::to_string(getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

int ReturnSeven(void*) { return 7; }

TEST(Runtime, ThreadRunsAndJoinsAndNoneJoinsAtOnce) {
  ThreadRecord* t = StartThread(ReturnSeven, kPriorityTimeCritical, "seven");
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(JoinThread(t));
  EXPECT_EQ(t->exitCode.load(), 7);
  ReleaseThread(t);
  EXPECT_TRUE(JoinThread(nullptr));
}

TEST(Runtime, AutoResetEventWakesOnceAndTimesOut) {
  AutoResetEvent e;
  EXPECT_FALSE(e.Wait(10));
  e.Signal();
  EXPECT_TRUE(e.Wait(10));
  EXPECT_FALSE(e.Wait(10)) << "the event resets itself";
}

TEST(Runtime, DiagnosticPrintGrowsItsBufferForLongLines) {
  std::string longText(1000, 'x');
  testing::internal::CaptureStderr();
  DiagPrint("%s-%d\n", longText.c_str(), 42);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), longText + "-42\n");
}

TEST(InstanceCounter, CountsLiveCopiesAndForgetsKilledOnes) {
  fs::path dir = TempDir("instances");
  setenv("HALVANE_INSTANCE_DIR", dir.c_str(), 1);
  InstanceCounter first;
  EXPECT_EQ(first.Enter(), 0);
  // A second copy in a child process; it is killed while holding its slot.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    InstanceCounter second;
    char index = static_cast<char>(second.Enter());
    (void)!write(ready[1], &index, 1);
    pause();
    _exit(0);
  }
  char childIndex = -1;
  ASSERT_EQ(read(ready[0], &childIndex, 1), 1);
  EXPECT_EQ(childIndex, 1);
  InstanceCounter third;
  EXPECT_EQ(third.Enter(), 2);
  third.Leave();
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  InstanceCounter fourth;
  EXPECT_EQ(fourth.Enter(), 1) << "a killed copy no longer counts";
  fourth.Leave();
  first.Leave();
  InstanceCounter fifth;
  EXPECT_EQ(fifth.Enter(), 0);
  unsetenv("HALVANE_INSTANCE_DIR");
  fs::remove_all(dir);
}

TEST(InstanceCounter, DeviceNamesForIndexes) {
  EXPECT_EQ(UsbDeviceNameForIndex(0), "Ezusb-0");
  EXPECT_EQ(UsbDeviceNameForIndex(2), "Ezusb-2");
  EXPECT_EQ(UsbDeviceNameForIndex(4), "Ezusb-3");
}

TEST(FileOps, RenameNeverReplacesAndMoveKeepsTheName) {
  fs::path dir = TempDir("fileops");
  std::ofstream(dir / "a.tmp_wav") << "A";
  std::ofstream(dir / "a.wav") << "existing";
  EXPECT_FALSE(RenameNoReplace((dir / "a.tmp_wav").string(), (dir / "a.wav").string()));
  std::ifstream keep(dir / "a.wav");
  std::string text;
  keep >> text;
  EXPECT_EQ(text, "existing");
  EXPECT_TRUE(RenameNoReplace((dir / "a.tmp_wav").string(), (dir / "b.wav").string()));
  std::string moved;
  EXPECT_TRUE(MoveFileInto((dir / "b.wav").string(), (dir / "archive").string(), &moved));
  EXPECT_EQ(moved, (dir / "archive" / "b.wav").string());
  EXPECT_TRUE(fs::exists(moved));
  EXPECT_FALSE(DeleteFileSilently(""));
  EXPECT_EQ(FileNamePart("/x.y/site"), "site");
  EXPECT_EQ(FolderPart("/x.y/site"), "/x.y/");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace hv
