// Test helper: a child process whose standard output is collected line by line
// with the time each line arrived.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hv::test {

class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;
  struct Line {
    Clock::time_point when;
    std::string text;
  };

  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    started_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { Read(fd); });
  }
  ~ChildProcess() {
    Kill(SIGKILL);
    Wait(5000);
    if (reader_.joinable()) reader_.join();
  }

  void Kill(int signal) {
    if (pid_ > 0 && !exited_) kill(pid_, signal);
  }
  // Waits up to `ms` for the exit; true with the status when it exited.
  bool Wait(int ms, int* status = nullptr) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!exited_ && pid_ > 0) {
      int s = 0;
      if (waitpid(pid_, &s, WNOHANG) == pid_) {
        exited_ = true;
        exitedAt_ = Clock::now();
        status_ = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
        break;
      }
      if (Clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (status) *status = status_;
    return exited_;
  }
  // Waits up to `ms` for a line containing `text` at or after line `from`;
  // the line's index or -1.
  int WaitFor(const std::string& text, int ms, size_t from = 0) {
    std::unique_lock<std::mutex> lock(lock_);
    int found = -1;
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (size_t i = from; i < lines_.size(); ++i)
        if (lines_[i].text.find(text) != std::string::npos) return found = static_cast<int>(i), true;
      return false;
    });
    return found;
  }
  std::vector<Line> Lines() {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (const Line& l : Lines()) n += l.text.find(text) != std::string::npos;
    return n;
  }
  Clock::time_point started() const { return started_; }
  Clock::time_point exitedAt() const { return exitedAt_; }

 private:
  void Read(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        {
          std::lock_guard<std::mutex> guard(lock_);
          lines_.push_back(Line{Clock::now(), pending.substr(0, end)});
        }
        changed_.notify_all();
        pending.erase(0, end + 1);
      }
    }
    close(fd);
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
  Clock::time_point started_, exitedAt_;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Line> lines_;
};

}  // namespace hv::test
