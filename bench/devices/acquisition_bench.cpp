// Cost of acquisition: CPU seconds the acquisition thread spends per minute of
// 250 kHz, 16-bit input, for the network path (a loopback sender in this
// process) and the EZ-USB path (the simulated driver). Reference in the same
// run: a bare loop of 1024-byte receives over the same connection, the least
// any network reader must spend.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "app/worker_routines.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "counter_sequence.h"
#include "devices/ezusb_sim_driver.h"

namespace {

constexpr uint64_t kMinuteBytes = 60ull * 250000 * 2;
constexpr const char* kAddress = "127.0.0.15";

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
  explicit Sender(uint64_t bytes) {
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
    while (sent < bytes) {
      size_t n = std::min<uint64_t>(bytes - sent, chunk.size() * 2);
      ssize_t r = send(client, chunk.data(), n, MSG_NOSIGNAL);
      if (r <= 0) break;
      sent += static_cast<uint64_t>(r);
    }
    close(client);
  }
  int listener_ = -1;
  bool ok_ = false;
  std::thread thread_;
};

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

}  // namespace

BENCHMARK(BM_AcquisitionNetworkMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceBareReceiveMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcquisitionEzusbMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
