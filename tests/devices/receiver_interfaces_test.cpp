// The three receiver interfaces, the model table and the sample feed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "conduit_drain.h"
#include "core/station_state.h"
#include "devices/libusb_interface.h"
#include "devices/model_table.h"
#include "devices/mrw_interface.h"
#include "devices/net_interface.h"
#include "devices/receiver_ids.h"
#include "devices/sample_feed.h"
#include "testing/ezusb_sim_driver.h"
#include "testing/usb_sim_bus.h"

namespace hv {
namespace {

// Rate and channels by the model in the first five characters (unknown: 250 kHz,
// one channel); the level offset by the revision letter, the ninth character.
TEST(ModelTable, RowsDefaultsAndRevisionLetter) {
  const struct { const char* product; float rate; int channels; float offset; } cases[] = {
      {"HQ302RevA", 250000, 4, 19}, {"HX301RevA", 214285, 1, 19}, {"HQ301", 200000, 4, 14},
      {"HX306RevN", 500000, 1, 14}, {"HX302RevB", 250000, 1, 19}, {"HX302Re", 250000, 1, 14},
      {"ABCDEFGHA", 250000, 1, 19}, {"", 250000, 1, 14},          {"HX3", 250000, 1, 14},
      {"HX30", 250000, 1, 14},      {"hx302RevA", 250000, 1, 19}, {"ZZ999RevA", 250000, 1, 19},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LookUpReceiverModel(c.product).sampleRate, c.rate) << c.product;
    EXPECT_EQ(LookUpReceiverModel(c.product).channels, c.channels) << c.product;
    EXPECT_EQ(ReceiverLevelOffset(c.product), c.offset) << c.product;
  }
}

class MrwTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto driver = std::make_unique<SimEzusbDriver>();
    sim_ = driver.get();
    SetEzusbDriver(std::move(driver));
  }
  void TearDown() override {
    mrw_.close();
    SetEzusbDriver(nullptr);
  }
  void AddRaw(std::vector<uint8_t> raw) {
    SimEzusbDevice d;
    d.strings = {"MRW", "HX302RevN"};
    d.rawIndex = 3;
    d.raw = std::move(raw);
    sim_->Add(d);
  }
  SimEzusbDriver* sim_ = nullptr;
  MRWInterface mrw_;
};

TEST_F(MrwTest, NamesOtherThanEzAreRefusedWithoutAnyRequest) {
  AddRaw({});
  EXPECT_FALSE(mrw_.openOverlapped("IP127.0.0.9"));
  EXPECT_FALSE(mrw_.open("ez"));
  EXPECT_EQ(sim_->opens.load(), 0);
  char text[8];
  uint32_t n = 0;
  EXPECT_FALSE(mrw_.getStringDescriptor(1, text, sizeof text));
  EXPECT_FALSE(mrw_.bulkRead(text, 4, &n));
  EXPECT_FALSE(mrw_.getDeviceDescriptor(text, 4, &n));
  EXPECT_EQ(sim_->requests.load(), 0);
  EXPECT_FALSE(mrw_.openOverlapped("Ezusb-1"));  // only one device present
  EXPECT_TRUE(mrw_.openOverlapped("Ezusb-0"));
}

// A simulated receiver with a stream rate completes reads as its stream fills
// them: never ahead of its clock, and after a hold-up (a starved completion
// thread) it catches up by at most kMostCatchUpMicros in one burst. Only lower
// bounds on time are checked, which a loaded machine cannot break.
TEST_F(MrwTest, SimulatedReceiverKeepsItsStreamClock) {
  using Clock = std::chrono::steady_clock;
  SimEzusbDevice d;
  d.strings = {"MRW", "HX306"};
  d.bytesPerSecond = 1000000;  // 500 kHz, one channel
  sim_->Add(d);
  ASSERT_TRUE(mrw_.openOverlapped("Ezusb-0"));
  constexpr int kReads = 30;
  constexpr uint32_t kBytes = 8000;  // 8 ms of the stream
  const auto readTime = std::chrono::milliseconds(8);
  const auto catchUp = std::chrono::microseconds(SimEzusbDriver::kMostCatchUpMicros);
  static uint8_t buffers[kReads][kBytes];
  EzusbCompletion done[kReads];

  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kReads; ++i) ASSERT_TRUE(mrw_.asyncBulkRead(buffers[i], kBytes, &done[i]));
  for (int i = 0; i < kReads; ++i) ASSERT_TRUE(done[i].event.Wait(5000));
  EXPECT_GE(Clock::now() - start, kReads * readTime - catchUp) << "reads completed faster than the stream";

  sim_->blockBudget.store(0);  // the completion thread held up for 250 ms
  for (int i = 0; i < kReads; ++i) ASSERT_TRUE(mrw_.asyncBulkRead(buffers[i], kBytes, &done[i]));
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const Clock::time_point released = Clock::now();
  sim_->blockBudget.store(-1);
  for (int i = 0; i < kReads; ++i) {
    ASSERT_TRUE(done[i].event.Wait(5000));
    EXPECT_GE(Clock::now() - released, (i + 1) * readTime - catchUp - std::chrono::milliseconds(1))
        << "read " << i << " after the hold-up came in a burst";
  }
}

TEST_F(MrwTest, StringDescriptorEdgeCases) {
  struct Case {
    std::vector<uint8_t> raw;
    int size;
    bool ok;
    const char* text;
  } cases[] = {
      {{2, 3}, 64, true, ""},                              // header only
      {{1, 3}, 64, true, ""},                              // shorter than its header
      {{0}, 64, true, ""},                                 // length zero
      {{12, 3, 'H', 0, 'X', 0, '3', 0, '0', 0, '2', 0}, 4, true, "HX3"},  // cut to size - 1
      {{7, 3, 'A', 0, 'B', 0, 'C'}, 64, true, "AB"},       // odd length: whole characters only
      {{40, 3, 'A', 0, 'B', 0}, 64, true, "AB"},           // claims more than the device sends
      {{8, 3, 'M', 0x04, 'R', 0, 'W', 0}, 64, true, "MRW"},  // low byte of each character
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetUp();  // a fresh driver for each case
    AddRaw(cases[i].raw);
    MRWInterface m;
    ASSERT_TRUE(m.openOverlapped("Ezusb-0"));
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(m.getStringDescriptor(3, text, cases[i].size), cases[i].ok) << i;
    EXPECT_STREQ(text, cases[i].text) << i;
    char product[64];
    EXPECT_TRUE(m.getStringDescriptor(2, product, sizeof product));
    EXPECT_STREQ(product, "HX302RevN");
  }
  SimEzusbDevice failing;
  failing.failStrings = true;
  sim_->Add(failing);
  MRWInterface m;
  ASSERT_TRUE(m.openOverlapped("Ezusb-1"));
  char text[64];
  EXPECT_FALSE(m.getStringDescriptor(2, text, sizeof text));
}

TEST_F(MrwTest, DiagnosticTextsAndIsochronousLines) {
  EXPECT_EQ(mrw_.pipeTypeText(0), "CTL");
  EXPECT_EQ(mrw_.pipeTypeText(2), "BLK");
  EXPECT_EQ(mrw_.pipeTypeText(3), "INT");
  EXPECT_EQ(mrw_.endpointText(0x86), "IN  6");
  EXPECT_EQ(mrw_.endpointText(0x02), "OUT 2");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(mrw_.startISOStream());
  EXPECT_FALSE(mrw_.stopISOStream());
  AddRaw({});
  ASSERT_TRUE(mrw_.open("Ezusb-0"));
  EXPECT_TRUE(mrw_.startISOStream());
  std::vector<uint8_t> data(16384);
  uint32_t n = 0;
  EXPECT_TRUE(mrw_.isoInput(data.data(), static_cast<uint32_t>(data.size()), &n));
  EXPECT_EQ(n, 16384u);
  EXPECT_TRUE(mrw_.inputData(data.data(), 4096, &n));
  EXPECT_EQ(n, 512u);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "start ISO Stream\nstartISOStream: ERROR - No driver\nstop ISO Stream\nstopISOStream: ERROR - No driver\n"
            "start ISO Stream\nStarted ISO Stream\nISO Input\nISO Transfer success  bytes : 16384\n");
}

TEST(LibusbInterface, FindRulesSelectProductAndDeviceNumber) {
  const struct { const char* name; uint16_t product; int number; } keys[] = {
      {"Ezusb-2", kReceiverProductUsb, 3}, {"Ezxmt-1", kReceiverProductXmt, 2},
      {"Ezusb-0", kReceiverProductUsb, 1}, {"Ez", 0, 1}};
  for (const auto& k : keys) {
    uint16_t product = 0;
    int number = 0;
    libUSBInterface::FindKeys(k.name, &product, &number);
    if (k.product) {
      EXPECT_EQ(product, k.product) << k.name;
    }
    EXPECT_EQ(number, k.number) << k.name;
  }

  test::SimBus bus;
  bus->Add({.address = 3, .vendorId = 0x1234, .productId = kReceiverProductUsb});  // wrong vendor
  bus->Add({.address = 3, .vendorId = kReceiverVendorId, .productId = kReceiverProductXmt});  // wrong product
  bus->Add({.busNumber = 2, .address = 3, .vendorId = kReceiverVendorId, .productId = kReceiverProductUsb,
            .strings = {"MRW", "HX303RevA"}});
  {
    libUSBInterface usb;
    EXPECT_FALSE(usb.find("IP127.0.0.9"));
    EXPECT_FALSE(usb.find("Ezusb-1"));
    ASSERT_TRUE(usb.find("Ezusb-2"));
    ASSERT_TRUE(usb.open("ignored"));
    char text[64];
    ASSERT_TRUE(usb.getString(2, text, sizeof text));
    EXPECT_STREQ(text, "HX303RevA");
    EXPECT_FALSE(usb.getString(7, text, sizeof text));
    EXPECT_EQ(bus->claimed.load(), 1);
  }
  EXPECT_EQ(bus->openHandles.load(), 0);
  EXPECT_EQ(bus->claimed.load(), 0);
}

TEST(LibusbInterface, FailedOpenStepsUndoWhatWasDone) {
  for (int step = 0; step < 4; ++step) {
    test::SimBus bus;
    bus->Add({.vendorId = kReceiverVendorId, .productId = kReceiverProductUsb, .failOpen = step == 0,
              .failConfiguration = step == 1, .failClaim = step == 2, .failAltSetting = step == 3});
    libUSBInterface usb;
    ASSERT_TRUE(usb.find("Ezusb-0"));
    EXPECT_FALSE(usb.open("Ezusb-0")) << step;
    EXPECT_FALSE(usb.isOpen());
    EXPECT_EQ(bus->openHandles.load(), 0) << step;
    EXPECT_EQ(bus->claimed.load(), 0) << step;
  }
}

TEST(LibusbInterface, AsyncRequestsShortTransfersAndCloseWithRequestsOutstanding) {
  test::SimBus bus;
  bus->Add({.vendorId = kReceiverVendorId, .productId = kReceiverProductUsb, .rawIndex = 2,
            .raw = {1},  // shorter than its header: no text
            .source = [](uint8_t* b, int n) { std::memset(b, 0xAB, n); }});
  libUSBInterface usb;
  ASSERT_TRUE(usb.find("Ezusb-0") && usb.open(nullptr));
  char text[16];
  EXPECT_FALSE(usb.getString(2, text, sizeof text));
  EXPECT_STREQ(text, "");

  void* contexts[2] = {};
  char buffers[2][1024];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(usb.setupRequest(&contexts[i], kReceiverBulkInEndpoint));
    ASSERT_TRUE(usb.submitRequest(contexts[i], buffers[i], 1024));
  }
  bus->shortLength.store(100);
  int got = 0;
  ASSERT_TRUE(usb.reapRequest(contexts[0], 100, &got));
  EXPECT_EQ(got, 100);
  EXPECT_FALSE(usb.reapRequest(contexts[0], 100, &got));  // not submitted again
  EXPECT_EQ(bus->inFlight.load(), 1);
  usb.close();  // cancels the request still in flight
  EXPECT_EQ(bus->inFlight.load(), 0);
  EXPECT_FALSE(usb.reapRequest(contexts[1], 100, &got));
  EXPECT_TRUE(usb.freeRequest(&contexts[0]));
  EXPECT_TRUE(usb.freeRequest(&contexts[1]));
  EXPECT_EQ(contexts[1], nullptr);
  EXPECT_EQ(bus->transfersAlive.load(), 0);
  EXPECT_FALSE(usb.freeRequest(&contexts[1]));
}

TEST(NetInterface, NamesStringsAndRefusedConnections) {
  g_run.store(true);
  NetInterface net;
  EXPECT_FALSE(net.open("IP"));
  EXPECT_FALSE(net.open("Ezusb-0"));
  EXPECT_FALSE(net.isOpen());
  char text[16];
  EXPECT_TRUE(net.getString(1, text, sizeof text));
  EXPECT_STREQ(text, "MRW");
  EXPECT_TRUE(net.getString(2, text, sizeof text));
  EXPECT_STREQ(text, "HX302RevN");
  EXPECT_FALSE(net.getString(3, text, sizeof text));
  EXPECT_FALSE(net.getString(0, text, sizeof text));
  testing::internal::CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(net.open("IP127.0.0.13"));  // nothing listens there
  EXPECT_FALSE(net.open("IPnot-an-address"));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Client: socket() is OK.\nClient: connect() - Failed to connect.\n"), std::string::npos);
  EXPECT_FALSE(net.isOpen());
}

class SampleFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format_ = MakeWaveFormat(250000, 1, 2, 16);
    conduit_.Create(4096, &format_);
  }
  // The next `n` bytes of the counter stream.
  std::vector<uint8_t> Next(size_t n) {
    std::vector<uint8_t> b(n);
    counter_.Fill(b.data(), static_cast<int>(n));
    return b;
  }
  WaveFormat format_;
  Conduit conduit_;
  test::Drained drained_;
  test::CounterBytes counter_;
};

TEST_F(SampleFeedTest, OddDeliveriesArriveWholeAndInOrder) {
  SampleFeed feed(&conduit_);
  feed.Start(MakeWaveFormat(250000, 1, 2, 16));
  for (size_t n : {1, 3, 1, 1, 5, 200, 7, 1}) {
    feed.Deliver(Next(n).data(), static_cast<uint32_t>(n), true, false);
    EXPECT_EQ(conduit_.Available() % 2, 0u);
  }
  test::DrainConduit(conduit_, drained_);
  ASSERT_EQ(drained_.samples.size(), counter_.next / 2);
  EXPECT_EQ(drained_.formatAt, std::vector<size_t>{0});
  for (size_t i = 0; i < drained_.samples.size(); ++i) ASSERT_EQ(drained_.samples[i], sim::CounterSample(i)) << i;
}

TEST_F(SampleFeedTest, FullConduitAndPlaybackDropWholeFramesOnly) {
  SampleFeed feed(&conduit_);
  feed.Start(MakeWaveFormat(250000, 2, 4, 16));  // 4-byte frames
  counter_.offsetBinary = false;
  auto send = [&](size_t n, bool dropping) { feed.Deliver(Next(n).data(), static_cast<uint32_t>(n), false, dropping); };
  send(3001, false);
  send(3001, false);  // more than the conduit takes: the excess frames are dropped
  EXPECT_EQ(conduit_.Available() % 4, 0u);
  EXPECT_GT(feed.dropped, 0u);
  test::DrainConduit(conduit_, drained_);
  size_t first = drained_.samples.size();
  send(1001, true);  // playback: dropped, keeping alignment
  EXPECT_EQ(conduit_.Available(), 0u);
  EXPECT_TRUE(feed.AnnouncePending());
  send(802, false);
  test::DrainConduit(conduit_, drained_);
  ASSERT_EQ(drained_.formatAt.size(), 2u);
  EXPECT_EQ(drained_.formatAt[1], first);
  // The samples after playback continue on a frame boundary of the stream.
  size_t resumedBytes = (drained_.samples.size() - first) * 2;
  EXPECT_EQ(resumedBytes % 4, 0u);
  uint64_t position = 0;
  ASSERT_TRUE(sim::CounterFind(drained_.samples.data() + first, drained_.samples.size() - first, &position));
  EXPECT_EQ(position % 2, 0u);  // frames of two channels start at even samples
  const uint64_t at = counter_.next;
  EXPECT_EQ(position * 2 + resumedBytes + at % 4, at);
}

}  // namespace
}  // namespace hv
