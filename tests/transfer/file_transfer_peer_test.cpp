// The upload thread's turns against a real FTP server on loopback
// (127.0.0.50 to 127.0.0.59), started and stopped by each test.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/station_state.h"
#include "ftp_test_server.h"
#include "recording/record_paths.h"
#include "settings/settings.h"
#include "transfer/file_xfer.h"
#include "transfer/transfer_worker.h"

namespace hv {
namespace {

// Recording-like contents: every byte value, in an order that shows any
// reordering or truncation.
std::string Recording(size_t size, int seed) {
  std::string bytes(size, '\0');
  uint32_t x = 2463534242u + static_cast<uint32_t>(seed);
  for (char& c : bytes) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

class TransferPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsToDefaults();
    if (!g_logLock) g_logLock = CreateMutexRecord();
    g_recordOn = true;
    g_powerSave = false;
    g_playbackActive = false;
    std::filesystem::create_directories(local / "rec");
    g_recordBasePath.Set(local / "rec/site.wav");
    g_history.OutputDirectory.Set(local / "rec/");
    g_settings.FileTransferEnable = true;
    g_settings.FTPUserName.Set("station");
    g_settings.FTPPassWord.Set("secret");
    xfer.SetTimeouts(3, 3);
  }
  void TearDown() override { g_recordOn = false; }

  void StartServer(const char* address, int slow = 0, int port = 0) {
    ASSERT_TRUE(server.Start(address, remote.path, port, slow));
    g_settings.FTPHostName.Set(server.Host());
  }
  std::string AddRecording(const std::string& name, size_t size, int seed) {
    std::string bytes = Recording(size, seed);
    std::ofstream(local / "rec/" + name, std::ios::binary) << bytes;
    return bytes;
  }
  std::string DailyLog() {
    std::time_t now = std::time(nullptr);
    std::tm day{};
    gmtime_r(&now, &day);
    return ReadWholeFile(DailyLogPath(g_recordBasePath.Get(), day));
  }
  // Runs turns (without their pauses) and returns the last pause.
  double Turns(int n) {
    double pause = 0;
    for (int i = 0; i < n; ++i) pause = worker.Turn();
    return pause;
  }

  TempFolder local, remote;
  FtpTestServer server;  // stopped before the folders go
  FileXfer xfer;
  FileTransferWorker worker{xfer};
};

const char kA[] = "site_D20240131T220000m000.wav";
const char kB[] = "site_D20240131T220501m250.wv";

TEST_F(TransferPeerTest, UserLoginSendsFinishedRecordingsByteIdenticalThenDeletesThem) {
  StartServer("127.0.0.50");
  g_settings.FileTransferLoginEnable = true;
  std::string a = AddRecording(kA, 300000, 1);
  std::string b = AddRecording(kB, 70001, 2);
  AddRecording("site_D20240131T230000m000.tmp_wav", 5000, 3);
  Turns(9);
  EXPECT_EQ(ReadWholeFile(remote / kA), a);
  EXPECT_EQ(ReadWholeFile(remote / kB), b);
  for (const char* name : {kA, kB}) EXPECT_FALSE(FileExists(local / "rec/" + name)) << name;
  EXPECT_TRUE(FileExists(local / "rec/site_D20240131T230000m000.tmp_wav"));
  EXPECT_FALSE(FileExists(remote / "site_D20240131T230000m000.tmp_wav"));
  std::string commands = server.Commands();
  for (const char* sent : {"USER station", "TYPE I", "PASV"}) EXPECT_NE(commands.find(sent), std::string::npos) << sent;
  EXPECT_EQ(commands.find("CWD"), std::string::npos);
  std::string log = DailyLog();
  for (const char* name : {kA, kB})
    for (const char* message : {"Transfering file: ", "File transfered: ", "Delete local copy: "})
      EXPECT_NE(log.find(std::string("] - ") + message + " " + name + "\n"), std::string::npos) << message << name;
  EXPECT_EQ(worker.Status(), "Active");
  xfer.close();
  EXPECT_NE(server.Commands().find("QUIT"), std::string::npos);
}

TEST_F(TransferPeerTest, AnonymousLoginArchivesTheLocalCopy) {
  StartServer("127.0.0.51");
  g_settings.FileTransferArchiveEnable = true;
  g_history.ArchiveDirectory.Set(local / "archive/");
  std::string a = AddRecording(kA, 4096, 4);  // a whole number of buffers
  Turns(3);
  EXPECT_EQ(ReadWholeFile(remote / kA), a);
  EXPECT_EQ(ReadWholeFile(local / "archive/" + kA), a);
  EXPECT_FALSE(FileExists(local / "rec/" + kA));
  EXPECT_NE(server.Commands().find("USER anonymous"), std::string::npos);
  EXPECT_NE(server.Commands().find("PASS " + FileXfer::AnonymousPassword()), std::string::npos);
  EXPECT_NE(DailyLog().find(std::string("Archive local copy:  ") + kA), std::string::npos);
}

TEST_F(TransferPeerTest, RefusedLoginKeepsTheFileAndWaitsFifteenSeconds) {
  StartServer("127.0.0.52");
  g_settings.FileTransferLoginEnable = true;
  g_settings.FTPPassWord.Set("wrong");
  AddRecording(kA, 1000, 5);
  EXPECT_DOUBLE_EQ(Turns(1), 15.0);
  EXPECT_EQ(worker.Status(), "Error opening site " + server.Host());
  EXPECT_NE(DailyLog().find("Could not open site:  " + server.Host()), std::string::npos);
  EXPECT_TRUE(FileExists(local / "rec/" + kA));
  EXPECT_FALSE(xfer.connected());
}

TEST_F(TransferPeerTest, MissingRemoteFolderKeepsTheFile) {
  StartServer("127.0.0.53");
  g_history.FTPRootDirectory.Set("nowhere");
  AddRecording(kA, 1000, 6);
  EXPECT_DOUBLE_EQ(Turns(1), 15.0);
  EXPECT_EQ(worker.Status(), "Error setting root directory nowhere");
  EXPECT_NE(DailyLog().find("Could not set root directory:  nowhere"), std::string::npos);
  EXPECT_TRUE(FileExists(local / "rec/" + kA));
  EXPECT_FALSE(xfer.connected());
}

TEST_F(TransferPeerTest, RemoteFolderEnteredOncePerLoginAndRootSendsNoCwd) {
  StartServer("127.0.0.54");
  std::filesystem::create_directories(remote / "up");
  g_history.FTPRootDirectory.Set("up");
  std::string a = AddRecording(kA, 1000, 7), b = AddRecording(kB, 2000, 8);
  Turns(6);
  EXPECT_EQ(ReadWholeFile(remote / "up/" + kA), a);
  EXPECT_EQ(ReadWholeFile(remote / "up/" + kB), b);
  std::string commands = server.Commands();
  EXPECT_EQ(commands.find("CWD up"), commands.rfind("CWD up"));

  xfer.close();
  g_history.FTPRootDirectory.Set("/");
  std::string c = AddRecording("site_D20240201T010000m000.wav", 3000, 9);
  Turns(3);
  EXPECT_EQ(ReadWholeFile(remote / "site_D20240201T010000m000.wav"), c);
  EXPECT_EQ(server.Commands().find("CWD /"), std::string::npos);
}

TEST_F(TransferPeerTest, ServerKilledMidTransferRetriesThenKeepsTheFileUnsent) {
  StartServer("127.0.0.55", 64 * 1024);
  const int port = server.port();
  std::string a = AddRecording(kA, 1 << 20, 10);
  for (int attempt = 0; attempt < FileTransferWorker::kAttempts; ++attempt) {
    if (attempt > 0) StartServer("127.0.0.55", 64 * 1024, port);
    std::string expect = std::string("STOR ") + kA + (attempt ? "_" + std::to_string(attempt) : "");
    std::thread turn([&] {
      double pause = 0.1;
      for (int i = 0; i < 3 && pause < 1; ++i) pause = worker.Turn();
      EXPECT_DOUBLE_EQ(pause, 1.0);
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.Commands().find(expect) == std::string::npos && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server.Kill();
    turn.join();
    EXPECT_NE(server.Commands().find(expect), std::string::npos) << expect;
    EXPECT_EQ(worker.Status(), std::string("Error transfering file ") + kA);
  }
  EXPECT_EQ(worker.RetryNumber(), 0);
  EXPECT_FALSE(FileExists(local / "rec/" + kA));
  EXPECT_EQ(ReadWholeFile(local / "rec/unsent/" + kA), a);
  std::string log = DailyLog();
  EXPECT_NE(log.find(std::string("Error transfering file:  ") + kA), std::string::npos);
  EXPECT_NE(log.find(std::string("Failed to send (kept in unsent):  ") + kA), std::string::npos);

  // The next file goes out once the server is back.
  AddRecording(kB, 500, 11);
  StartServer("127.0.0.55", 0, port);
  Turns(3);
  EXPECT_TRUE(FileExists(remote / kB));
  EXPECT_FALSE(FileExists(local / "rec/" + kB));
}

TEST_F(TransferPeerTest, DuringIdleNothingIsSentUntilPowerSave) {
  StartServer("127.0.0.56");
  g_settings.FileTransferDuringIdle = true;
  std::string a = AddRecording(kA, 1000, 12);
  EXPECT_DOUBLE_EQ(Turns(6), 1.0);
  EXPECT_EQ(worker.Status(), "InActive");
  EXPECT_FALSE(FileExists(remote / kA));
  EXPECT_EQ(server.Commands(), "");
  g_powerSave = true;
  Turns(3);
  g_powerSave = false;
  EXPECT_EQ(ReadWholeFile(remote / kA), a);
}

TEST_F(TransferPeerTest, SilentHostAndShutdownNeverHoldTheThread) {
  // A host that accepts connections but never greets.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.57", &address.sin_addr);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  FileXfer silent;
  silent.SetTimeouts(1, 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(silent.loginAnonymous("127.0.0.57:" + std::to_string(ntohs(address.sin_port))));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  close(listener);

  // A slow upload ends soon after the run flag falls.
  StartServer("127.0.0.58", 32 * 1024);
  AddRecording(kA, 1 << 20, 13);
  FileXfer slow;
  ASSERT_TRUE(slow.loginAnonymous(server.Host()));
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    g_run = false;
  });
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(slow.put(local / "rec/" + kA, 0));
  stopper.join();
  g_run = true;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace hv
