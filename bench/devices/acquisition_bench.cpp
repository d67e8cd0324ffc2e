// Cost of acquisition: CPU seconds the acquisition thread spends per minute of
// 250 kHz, 16-bit input, for the network path (a loopback sender in this
// process) and the EZ-USB path (the simulated driver). Reference in the same
// run: a bare loop of 1024-byte receives over the same connection, the least
// any network reader must spend.
//
// Live: the same stream paced as a receiver sends it (what is due every 1 ms,
// as small segments as the simulator sends), 10 s of it: the acquisition thread's share of one core
// and its wake-ups a second, beside two references: a reader that polls and
// takes 1024 bytes at a time into the same feed (the former way), and a bare
// reader that wakes every 8 ms and takes what waits, handing it nowhere (the
// least any reader at the acquisition thread's wake rate spends: the kernel's
// receive and the wake-up).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "counter_sequence.h"
#include "devices/sample_feed.h"
#include "testing/ezusb_sim_driver.h"

namespace {

constexpr uint64_t kMinuteBytes = 60ull * 250000 * 2;
constexpr const char* kAddress = "127.0.0.15";
constexpr double kLiveSeconds = 10;
constexpr uint64_t kLiveBytesPerSecond = 250000 * 2;

double ThreadCpuSeconds(pthread_t thread) {
  clockid_t id;
  timespec ts{};
  if (pthread_getcpuclockid(thread, &id) != 0 || clock_gettime(id, &ts) != 0) return 0;
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Sends `bytes` of the counter sequence to the first client on port 5041, as
// fast as it reads. Runs on its own thread.
class Sender {
 public:
  // `paced`: at kLiveBytesPerSecond, what is due every 1 ms; otherwise as fast as it is read.
  explicit Sender(uint64_t bytes, bool paced = false) : paced_(paced) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5041);
    inet_pton(AF_INET, kAddress, &a.sin_addr);
    ok_ = bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 1) == 0;
    thread_ = std::thread([this, bytes] { Run(bytes); });
  }
  ~Sender() {
    thread_.join();
    close(listener_);
  }
  bool ok() const { return ok_; }

 private:
  void Run(uint64_t bytes) {
    if (!ok_) return;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    std::vector<int16_t> chunk(32768);
    hv::sim::CounterFill(0, chunk.data(), chunk.size());
    uint64_t sent = 0;
    auto start = std::chrono::steady_clock::now();
    while (sent < bytes) {
      size_t n = std::min<uint64_t>(bytes - sent, chunk.size() * 2);
      if (paced_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        uint64_t due = static_cast<uint64_t>(elapsed * kLiveBytesPerSecond) & ~uint64_t{1};
        if (due <= sent) continue;
        n = std::min<uint64_t>(n, due - sent);
      }
      ssize_t r = send(client, chunk.data(), n, MSG_NOSIGNAL);
      if (r <= 0) break;
      sent += static_cast<uint64_t>(r);
    }
    close(client);
  }
  bool paced_ = false;
  int listener_ = -1;
  bool ok_ = false;
  std::thread thread_;
};

// Voluntary context switches (wake-ups after a wait) of this process's thread
// named `name`, or -1 when there is none.
long WakeUps(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string taskName;
    std::getline(comm, taskName);
    if (taskName != name) continue;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return -1;
}

void Prepare() {
  hv::g_run.store(true);
  hv::g_powerSave.store(false);
  hv::g_playbackActive.store(false);
  hv::g_conduitFormat[0] = hv::MakeWaveFormat(250000, 1, 2, 16);
  hv::conduit1.Create(5000000, &hv::g_conduitFormat[0]);
}

// Drains conduit1 until `bytes` arrived; returns the acquisition thread's CPU seconds.
double RunAcquisition(uint64_t bytes) {
  hv::ThreadRecord* t = hv::StartThread(hv::AcquisitionThread, hv::kPriorityNormal, "acq-bench");
  std::vector<uint8_t> sink(1 << 16);
  uint64_t got = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (got < bytes && std::chrono::steady_clock::now() < end) {
    hv::conduit1.WaitReadable(10);
    uint32_t available = hv::conduit1.Available();
    uint32_t n = 0;
    if (hv::conduit1.Read(std::min<uint32_t>(available, sink.size()), sink.data(), &n) == hv::kStatusNotInitialized)
      hv::conduit1.TakeFormat();
    got += n;
  }
  double cpu = ThreadCpuSeconds(t->thread.native_handle());
  hv::g_run.store(false);
  hv::ReleaseThread(t);
  return cpu;
}

void BM_AcquisitionNetworkMinute(benchmark::State& state) {
  for (auto _ : state) {
    Prepare();
    Sender sender(kMinuteBytes);
    if (!sender.ok()) {
      state.SkipWithError("cannot listen on the loopback address");
      hv::g_run.store(false);
      return;
    }
    hv::g_deviceName.Set(std::string("IP") + kAddress);
    state.counters["cpu_s_per_min"] = RunAcquisition(kMinuteBytes);
  }
}

void BM_ReferenceBareReceiveMinute(benchmark::State& state) {
  for (auto _ : state) {
    Sender sender(kMinuteBytes);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5041);
    inet_pton(AF_INET, kAddress, &a.sin_addr);
    if (!sender.ok() || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      state.SkipWithError("cannot connect on the loopback address");
      close(s);
      return;
    }
    timespec t0{}, t1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    char buffer[1024];
    uint64_t got = 0;
    for (;;) {
      ssize_t n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got += static_cast<uint64_t>(n);
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    close(s);
    state.counters["cpu_s_per_min"] = (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) * 1e-9;
    state.counters["bytes"] = static_cast<double>(got);
  }
}

void BM_AcquisitionEzusbMinute(benchmark::State& state) {
  for (auto _ : state) {
    Prepare();
    auto driver = std::make_unique<hv::SimEzusbDriver>();
    hv::SimEzusbDevice device;
    device.strings = {"MRW", "HX302RevN"};
    device.source = [](uint8_t* b, int n) { std::memset(b, 0x80, static_cast<size_t>(n)); };
    driver->Add(device);
    hv::SetEzusbDriver(std::move(driver));
    hv::g_deviceName.Set("Ezusb-0");
    state.counters["cpu_s_per_min"] = RunAcquisition(kMinuteBytes);
    hv::SetEzusbDriver(nullptr);
  }
}

// The acquisition thread on a live-paced stream: its share of one core and
// its wake-ups a second, over kLiveSeconds.
void BM_AcquisitionNetworkLive(benchmark::State& state) {
  for (auto _ : state) {
    Prepare();
    const uint64_t bytes = static_cast<uint64_t>(kLiveSeconds * kLiveBytesPerSecond);
    Sender sender(bytes, true);
    if (!sender.ok()) {
      state.SkipWithError("cannot listen on the loopback address");
      hv::g_run.store(false);
      return;
    }
    hv::g_deviceName.Set(std::string("IP") + kAddress);
    hv::ThreadRecord* t = hv::StartThread(hv::AcquisitionThread, hv::kPriorityNormal, "acq-live");
    std::vector<uint8_t> sink(1 << 16);
    uint64_t got = 0;
    long wakeStart = -1;
    double cpuStart = 0;
    auto t0 = std::chrono::steady_clock::now();
    auto end = t0 + std::chrono::seconds(60);
    while (got < bytes && std::chrono::steady_clock::now() < end) {
      hv::conduit1.WaitReadable(10);
      uint32_t n = 0;
      if (hv::conduit1.Read(std::min<uint32_t>(hv::conduit1.Available(), sink.size()), sink.data(), &n) ==
          hv::kStatusNotInitialized)
        hv::conduit1.TakeFormat();
      if (got == 0 && n > 0) {  // counted from the first samples: connecting is not the cost of receiving
        t0 = std::chrono::steady_clock::now();
        wakeStart = WakeUps("acq-live");
        cpuStart = ThreadCpuSeconds(t->thread.native_handle());
      }
      got += n;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double cpu = ThreadCpuSeconds(t->thread.native_handle()) - cpuStart;
    long wakes = WakeUps("acq-live") - wakeStart;
    hv::g_run.store(false);
    hv::ReleaseThread(t);
    state.counters["core_pct"] = 100 * cpu / seconds;
    state.counters["wakeups_per_s"] = wakes / seconds;
  }
}

// Reference: the former reader on the same live-paced stream, in this run: a
// wait of up to 100 ms for any byte, then a receive of at most 1024 bytes, into
// the same feed and conduit.
void BM_ReferenceFormerReceiveLive(benchmark::State& state) {
  for (auto _ : state) {
    Prepare();
    const uint64_t bytes = static_cast<uint64_t>(kLiveSeconds * kLiveBytesPerSecond);
    Sender sender(bytes, true);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5041);
    inet_pton(AF_INET, kAddress, &a.sin_addr);
    if (!sender.ok() || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      state.SkipWithError("cannot connect on the loopback address");
      close(s);
      return;
    }
    std::atomic<double> cpu{0}, seconds{1};
    std::atomic<long> wakes{0};
    std::thread reader([&] {
      pthread_setname_np(pthread_self(), "acq-former");
      hv::SampleFeed feed(&hv::conduit1);
      feed.Start(hv::MakeWaveFormat(250000, 1, 2, 16));
      uint8_t buffer[1024];
      timespec c0{}, c1{};
      long w0 = -1;
      auto t0 = std::chrono::steady_clock::now();
      for (;;) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 100) < 0) break;
        ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (w0 < 0) {
          clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
          w0 = WakeUps("acq-former");
          t0 = std::chrono::steady_clock::now();
        }
        feed.Deliver(buffer, static_cast<uint32_t>(n), false, false);
      }
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      cpu = (c1.tv_sec - c0.tv_sec) + (c1.tv_nsec - c0.tv_nsec) * 1e-9;
      wakes = WakeUps("acq-former") - w0;
    });
    std::vector<uint8_t> sink(1 << 16);
    std::atomic<bool> done{false};
    std::thread drain([&] {
      while (!done.load()) {
        hv::conduit1.WaitReadable(10);
        uint32_t n = 0;
        if (hv::conduit1.Read(std::min<uint32_t>(hv::conduit1.Available(), sink.size()), sink.data(), &n) ==
            hv::kStatusNotInitialized)
          hv::conduit1.TakeFormat();
      }
    });
    reader.join();
    done = true;
    drain.join();
    close(s);
    state.counters["core_pct"] = 100 * cpu / seconds;
    state.counters["wakeups_per_s"] = wakes / seconds;
  }
}

// Reference: a bare reader on the same live-paced stream that sleeps to the
// next 8 ms tick and takes all that waits, with no feed and no conduit.
void BM_ReferenceBareCadenceLive(benchmark::State& state) {
  for (auto _ : state) {
    const uint64_t bytes = static_cast<uint64_t>(kLiveSeconds * kLiveBytesPerSecond);
    Sender sender(bytes, true);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5041);
    inet_pton(AF_INET, kAddress, &a.sin_addr);
    if (!sender.ok() || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      state.SkipWithError("cannot connect on the loopback address");
      close(s);
      return;
    }
    double cpu = 0, seconds = 1;
    long wakes = 0;
    std::thread reader([&] {
      pthread_setname_np(pthread_self(), "acq-bare");
      std::vector<uint8_t> buffer(65536);
      timespec c0{}, c1{}, next{};
      long w0 = -1;
      auto t0 = std::chrono::steady_clock::now();
      uint64_t got = 0;
      clock_gettime(CLOCK_MONOTONIC, &next);
      while (got < bytes) {
        next.tv_nsec += 8000000;
        if (next.tv_nsec >= 1000000000) {
          next.tv_nsec -= 1000000000;
          ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        ssize_t n = recv(s, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) break;
        if (n < 0) continue;
        if (w0 < 0) {
          clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
          w0 = WakeUps("acq-bare");
          t0 = std::chrono::steady_clock::now();
        }
        got += static_cast<uint64_t>(n);
      }
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      cpu = (c1.tv_sec - c0.tv_sec) + (c1.tv_nsec - c0.tv_nsec) * 1e-9;
      wakes = WakeUps("acq-bare") - w0;
    });
    reader.join();
    close(s);
    state.counters["core_pct"] = 100 * cpu / seconds;
    state.counters["wakeups_per_s"] = wakes / seconds;
  }
}

}  // namespace

BENCHMARK(BM_AcquisitionNetworkMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceBareReceiveMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcquisitionEzusbMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcquisitionNetworkLive)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceFormerReceiveLive)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceBareCadenceLive)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
