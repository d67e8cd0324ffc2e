// The acquisition thread against the simulated EZ-USB driver and USB bus.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "conduit_drain.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/worker_routines.h"
#include "devices/receiver_ids.h"
#include "devices/usb01.h"
#include "model/station_model.h"
#include "testing/ezusb_sim_driver.h"
#include "testing/usb_sim_bus.h"

namespace hv {
namespace {

using test::CounterBytes;
using test::Drained;
using test::DrainConduit;
using test::IsCounterRun;

class AcquisitionUsb : public ::testing::Test {
 protected:
  void SetUp() override {
    g_run.store(true);
    g_powerSave.store(false);
    g_playbackActive.store(false);
    g_productText.Set("");
    g_conduitFormat[0] = MakeWaveFormat(250000, 1, 2, 16);
    conduit1.Create(5000000, &g_conduitFormat[0]);
    auto driver = std::make_unique<SimEzusbDriver>();
    ez_ = driver.get();
    SetEzusbDriver(std::move(driver));
  }
  void TearDown() override {
    Stop();
    SetEzusbDriver(nullptr);
  }
  void Start(const char* device) {
    g_deviceName.Set(device);
    thread_ = StartThread(AcquisitionThread, kPriorityNormal, "acq-test");
  }
  void Stop() {
    if (!thread_) return;
    g_run.store(false);
    ReleaseThread(thread_);
    thread_ = nullptr;
  }
  // Drains conduit1 until `done` holds or the time is up.
  template <class Done>
  bool DrainUntil(Done done, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      DrainConduit(conduit1, drained_);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  // Receivers that send the counter sequence: on the EZ-USB driver, on the libusb
  // bus (the Start variants then start the thread on the first device).
  void AddEz(const char* product) {
    ez_->Add({.strings = {"MRW", product}, .source = [this](uint8_t* b, int n) { counter_.Fill(b, n); }});
  }
  void StartEz(const char* product) {
    AddEz(product);
    Start("Ezusb-0");
  }
  void StartUsb(const char* product) {
    bus_->Add({.vendorId = kReceiverVendorId, .productId = kReceiverProductUsb, .strings = {"MRW", product},
               .source = [this](uint8_t* b, int n) { counter_.Fill(b, n); }});
    Start("Ezusb-0");
  }

  SimEzusbDriver* ez_ = nullptr;
  test::SimBus bus_;
  CounterBytes counter_;
  Drained drained_;
  ThreadRecord* thread_ = nullptr;
};

TEST_F(AcquisitionUsb, EzusbStreamIsExactWithThreeReadsOutstandingAndModelApplied) {
  ez_->paceMicros.store(300);  // completions slower than issue: reads queue up
  StartEz("HQ302RevA");
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() >= 200000; }));
  EXPECT_EQ(g_productText.Get(), "HQ302RevA");
  EXPECT_EQ(ModelText(ModelItem::kDeviceText), "HQ302RevA");
  EXPECT_EQ(ModelNumber(ModelItem::kReceiverFound), 1);
  EXPECT_EQ(g_manufacturerText.Get(), "MRW");
  EXPECT_EQ(g_deviceSampleRate.load(), 250000.0f);
  EXPECT_EQ(g_deviceChannels.load(), 4);
  EXPECT_EQ(g_receiverLevelOffset.load(), 19.0f);
  ASSERT_EQ(drained_.formats.size(), 1u);
  EXPECT_EQ(drained_.formatAt[0], 0u);  // announced before the first write
  EXPECT_EQ(drained_.formats[0], MakeWaveFormat(250000, 4, 8, 16));
  EXPECT_EQ(drained_.formats[0].avgBytesPerSec, 2000000u);
  // Bit 7 of each high byte inverted: the offset-binary counter arrives exact.
  EXPECT_TRUE(IsCounterRun(drained_.samples, 0, drained_.samples.size()));
  EXPECT_GE(ez_->maxOutstanding.load(), 3);
  EXPECT_LE(ez_->maxOutstanding.load(), 4);
}

TEST_F(AcquisitionUsb, EzusbStallIsLossAndReopenAnnouncesBeforeTheFirstWrite) {
  // The receiver notices and device texts the station shows, in order.
  std::mutex lock;
  std::vector<std::string> notices;
  int listener = SubscribeToModel([&](ModelItem item, const std::string& text, int number) {
    std::lock_guard<std::mutex> guard(lock);
    if (item == ModelItem::kDeviceText) notices.push_back(text);
    if (item == ModelItem::kReceiverFound) notices.push_back(std::to_string(number));
  });
  ez_->blockBudget.store(50);
  StartEz("HX302RevN");
  ASSERT_TRUE(DrainUntil([&] { return ez_->opens.load() >= 1 && ez_->blockBudget.load() == 0; }));
  // No completion for 100 ms: the device is closed and opened again.
  ASSERT_TRUE(DrainUntil([&] { return ez_->opens.load() >= 2; }, 2000));
  EXPECT_EQ(g_receiverLevelOffset.load(), 14.0f);
  size_t before = drained_.samples.size();
  EXPECT_EQ(before % 512, 0u);  // whole blocks only
  ez_->blockBudget.store(-1);
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() > before + 5000; }));
  ASSERT_GE(drained_.formats.size(), 2u);
  EXPECT_EQ(drained_.formatAt[1], before);  // the new announcement precedes the resumed data
  EXPECT_GE(ez_->cancelled.load(), 1);      // the reads outstanding at the loss were cancelled
  EXPECT_TRUE(IsCounterRun(drained_.samples, 0, before));
  EXPECT_TRUE(IsCounterRun(drained_.samples, before, drained_.samples.size()));
  // Found, lost at the stall, found again once the reopened receiver delivers.
  Stop();
  UnsubscribeFromModel(listener);
  EXPECT_EQ(notices, (std::vector<std::string>{"HX302RevN", "1", "<No device found>", "0", "HX302RevN", "1"}));
}

TEST_F(AcquisitionUsb, RefusedReadIsReportedAndCountsAsLoss) {
  ez_->failAsync.store(true);
  testing::internal::CaptureStdout();
  StartEz("HX302RevN");
  ASSERT_TRUE(DrainUntil([&] { return ez_->opens.load() >= 3; }));
  Stop();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Async IOCTL READ FAILED\n"), std::string::npos);
  EXPECT_EQ(ez_->openHandles.load(), 0);
}

TEST_F(AcquisitionUsb, LibusbStreamShortTransfersStayFrameAligned) {
  bus_->shortLength.store(1023);  // every transfer ends inside a sample
  // The simulated bus completes as fast as it can: a budget that fits in
  // conduit1 keeps a slow drain from turning into an overrun.
  bus_->blockBudget.store(400);
  StartUsb("HX302RevN");
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() >= 100000; }));
  EXPECT_EQ(g_productText.Get(), "HX302RevN");
  EXPECT_GE(bus_->maxInFlight.load(), 3);
  EXPECT_TRUE(IsCounterRun(drained_.samples, 0, drained_.samples.size()));
}

TEST_F(AcquisitionUsb, LibusbLossAndPowerSaveFreeEveryRequest) {
  bus_->blockBudget.store(40);
  StartUsb("HX305RevB");
  // The stall is a loss: every request is reaped and freed, the device closed and reopened.
  ASSERT_TRUE(DrainUntil([&] { return bus_->blockBudget.load() == 0 && bus_->cancelled.load() >= 3; }));
  bus_->blockBudget.store(-1);
  ASSERT_TRUE(DrainUntil([&] { return drained_.formats.size() >= 2 && drained_.samples.size() > 40 * 512 + 1000; }));
  EXPECT_EQ(g_deviceSampleRate.load(), 400000.0f);
  EXPECT_EQ(uint32_t{drained_.formats.back().sampleRate}, 400000u);  // a copy: the packed field cannot be bound

  // Power save closes the receiver with nothing left outstanding.
  g_powerSave.store(true);
  ASSERT_TRUE(DrainUntil([&] { return bus_->openHandles.load() == 0; }));
  EXPECT_EQ(bus_->transfersAlive.load(), 0);
  EXPECT_EQ(bus_->inFlight.load(), 0);
  size_t formats = drained_.formats.size();
  size_t samples = drained_.samples.size();
  g_powerSave.store(false);
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() > samples + 1000; }));
  EXPECT_EQ(drained_.formats.size(), formats + 1);
  EXPECT_EQ(drained_.formatAt.back(), samples);
  Stop();
  EXPECT_EQ(bus_->transfersAlive.load(), 0);
  EXPECT_EQ(bus_->openHandles.load(), 0);
}

TEST_F(AcquisitionUsb, DeviceChangeClosesOnOnePassAndOpensTheNewDevice) {
  AddEz("HX302RevN");
  ez_->Add({.strings = {"MRW", "HX306RevC"}, .source = [](uint8_t* b, int n) { std::memset(b, 0, n); }});
  Start("Ezusb-0");
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() > 1000; }));
  g_deviceName.Set("Ezusb-1");
  ASSERT_TRUE(DrainUntil([&] { return g_productText.Get() == "HX306RevC"; }));
  EXPECT_EQ(g_deviceSampleRate.load(), 500000.0f);
  EXPECT_EQ(ez_->openHandles.load(), 1);
  EXPECT_EQ(ez_->opens.load(), 2);
}

TEST_F(AcquisitionUsb, PlaybackDropsBlocksAndReannouncesAfterwards) {
  ez_->paceMicros.store(500);
  StartEz("HX302RevN");
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() > 2000; }));
  g_playbackActive.store(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  DrainConduit(conduit1, drained_);
  size_t during = drained_.samples.size();
  uint64_t sentDuring = counter_.next.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  DrainConduit(conduit1, drained_);
  EXPECT_EQ(drained_.samples.size(), during);  // nothing written while playing back
  EXPECT_GT(counter_.next.load(), sentDuring);  // although the receiver kept delivering
  size_t formats = drained_.formats.size();
  g_playbackActive.store(false);
  ASSERT_TRUE(DrainUntil([&] { return drained_.samples.size() > during + 1000; }));
  ASSERT_EQ(drained_.formats.size(), formats + 1);
  EXPECT_EQ(drained_.formatAt.back(), during);
  EXPECT_TRUE(IsCounterRun(drained_.samples, during, drained_.samples.size()));
}

TEST_F(AcquisitionUsb, NoReceiverLeavesStatusAtDefaults) {
  g_deviceSampleRate.store(250000.0f);
  g_deviceChannels.store(1);
  Start("Ezusb-2");
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  auto t0 = std::chrono::steady_clock::now();
  Stop();  // the one-second retry pause ends when the run flag falls
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300));
  EXPECT_EQ(g_productText.Get(), "");
  EXPECT_EQ(conduit1.Available(), 0u);
}

}  // namespace
}  // namespace hv
