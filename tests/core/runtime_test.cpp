// Runtime services: threads, the auto-reset event, the diagnostic print, the
// instance counter (including a copy killed with SIGKILL) and file operations.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/file_ops.h"
#include "core/instance_counter.h"
#include "core/runtime.h"
#include "support/files.h"
#include "support/process.h"

namespace hv {
namespace {

namespace fs = std::filesystem;

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
  TempFolder dir;
  setenv("HALVANE_INSTANCE_DIR", dir.path.c_str(), 1);
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
}

TEST(InstanceCounter, DeviceNamesForIndexes) {
  EXPECT_EQ(UsbDeviceNameForIndex(0), "Ezusb-0");
  EXPECT_EQ(UsbDeviceNameForIndex(2), "Ezusb-2");
  EXPECT_EQ(UsbDeviceNameForIndex(4), "Ezusb-3");
}

TEST(FileOps, RenameNeverReplacesAndMoveKeepsTheName) {
  TempFolder folder;
  fs::path dir = folder.path;
  std::ofstream(dir / "a.tmp_wav") << "A";
  std::ofstream(dir / "a.wav") << "existing";
  EXPECT_FALSE(RenameNoReplace((dir / "a.tmp_wav").string(), (dir / "a.wav").string()));
  EXPECT_EQ(testutil::ReadText(dir / "a.wav"), "existing");
  EXPECT_TRUE(RenameNoReplace((dir / "a.tmp_wav").string(), (dir / "b.wav").string()));
  std::string moved;
  EXPECT_TRUE(MoveFileInto((dir / "b.wav").string(), (dir / "archive").string(), &moved));
  EXPECT_EQ(moved, (dir / "archive" / "b.wav").string());
  EXPECT_TRUE(fs::exists(moved));
  EXPECT_FALSE(DeleteFileSilently(""));
  EXPECT_EQ(FileNamePart("/x.y/site"), "site");
  EXPECT_EQ(FolderPart("/x.y/site"), "/x.y/");
}

}  // namespace
}  // namespace hv
