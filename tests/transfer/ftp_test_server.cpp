#include "ftp_test_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace hv {

bool FtpTestServer::Start(const std::string& address, const std::string& folder, int port, int slow, bool discard) {
  Kill();
  address_ = address;
  if (commandLog.empty()) commandLog = MakeTempFolder() + "commands.txt";
  int out[2];
  if (pipe(out) != 0) return false;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::string portText = std::to_string(port), slowText = std::to_string(slow);
    std::vector<const char*> argv = {"python3", HALVANE_FTP_SERVER_SCRIPT, "--address", address.c_str(),
                                     "--port", portText.c_str(), "--dir", folder.c_str(),
                                     "--commands", commandLog.c_str(), "--slow", slowText.c_str()};
    if (discard) argv.push_back("--discard");
    argv.push_back(nullptr);
    execv("/usr/bin/python3", const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
    char buffer[64];
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  port_ = std::atoi(line.c_str());
  return port_ > 0;
}

void FtpTestServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string FtpTestServer::Commands() const { return FileExists(commandLog) ? ReadWholeFile(commandLog) : ""; }

std::string MakeTempFolder() {
  char pattern[] = "/tmp/halvane-transfer-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? std::string(made) + "/" : std::string();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

}  // namespace hv
