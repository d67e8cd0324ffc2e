// The station model: values, the change notification and its order across
// threads (also built with ThreadSanitizer), and the headless status lines.
#include "model/station_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/status_print.h"
#include "model/status_printer.h"

namespace hv {
namespace {

// Every change told to a listener, in order.
struct Heard {
  ModelItem item;
  std::string text;
  int number;
};

class StationModelTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetModel();
    handle_ = SubscribeToModel([this](ModelItem item, const std::string& text, int number) {
      std::lock_guard<std::mutex> guard(lock_);
      heard_.push_back({item, text, number});
    });
  }
  void TearDown() override { UnsubscribeFromModel(handle_); }
  std::vector<Heard> HeardSoFar() {
    std::lock_guard<std::mutex> guard(lock_);
    return heard_;
  }

  int handle_ = 0;
  std::mutex lock_;
  std::vector<Heard> heard_;
};

TEST_F(StationModelTest, EveryWriteIsKeptAndToldOnceWithItsValue) {
  SetModelText(ModelItem::kRecordStatus, "Status : RECORDING");
  SetModelText(ModelItem::kRecordStatus, "Status : RECORDING");  // unchanged: still told
  SetModelNumber(ModelItem::kReceiverFound, 0);                   // an event with the starting value
  SetModelNumber(ModelItem::kAudioLevel, 87);
  EXPECT_EQ(ModelText(ModelItem::kRecordStatus), "Status : RECORDING");
  EXPECT_EQ(ModelNumber(ModelItem::kAudioLevel), 87);
  std::vector<Heard> heard = HeardSoFar();
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[0].item, ModelItem::kRecordStatus);
  EXPECT_EQ(heard[1].text, "Status : RECORDING");
  EXPECT_EQ(heard[2].item, ModelItem::kReceiverFound);
  EXPECT_EQ(heard[2].number, 0);
  EXPECT_EQ(std::pair(heard[3].item, heard[3].number), std::pair(ModelItem::kAudioLevel, 87));
  // Items are apart: the write of one leaves the others as they were.
  EXPECT_EQ(ModelText(ModelItem::kRecordFile), "");
  EXPECT_EQ(ModelText(ModelItem::kGpsFix), "GPS Fix: none");

  UnsubscribeFromModel(handle_);
  SetModelText(ModelItem::kRecordFile, "site.wav");
  EXPECT_EQ(HeardSoFar().size(), 4u) << "an unsubscribed listener is not told";
  EXPECT_EQ(ModelText(ModelItem::kRecordFile), "site.wav");
}

TEST_F(StationModelTest, ResetBringsBackTheStartingValuesSilently) {
  SetModelText(ModelItem::kRecordComment, "owls");
  SetModelNumber(ModelItem::kTimerProgramsEntered, 1);
  ResetModel();
  EXPECT_EQ(ModelText(ModelItem::kRecordComment), "<no comment>");
  EXPECT_EQ(ModelText(ModelItem::kGpsSatellite6), "--");
  EXPECT_EQ(ModelNumber(ModelItem::kTimerProgramsEntered), 0);
  EXPECT_EQ(HeardSoFar().size(), 2u);
}

// Four writers of one text and one of a number: every write is told once, one
// at a time, and the listener hears one item's writes in the order the model
// took them, so the last one it heard is the value the model holds.
TEST_F(StationModelTest, WritersOnManyThreadsAreToldInTheOrderTheModelKeeps) {
  constexpr int kWriters = 4, kWrites = 2000;
  std::atomic<int> telling{0}, overlaps{0};
  int slow = SubscribeToModel([&](ModelItem item, const std::string&, int) {
    if (item != ModelItem::kTransferStatus) return;
    if (telling.fetch_add(1) != 0) overlaps.fetch_add(1);
    std::this_thread::yield();  // a view that takes its time
    telling.fetch_sub(1);
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kWriters; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kWrites; ++i) SetModelText(ModelItem::kTransferStatus, std::to_string(t * kWrites + i));
    });
  writers.emplace_back([] {
    for (int i = 0; i <= 100; ++i) SetModelNumber(ModelItem::kAudioLevel, i);
  });
  // A reader meanwhile sees whole texts only.
  std::thread reader([] {
    for (int i = 0; i < kWrites; ++i) {
      std::string text = ModelText(ModelItem::kTransferStatus);
      ASSERT_TRUE(text == "IDLE" || std::stoi(text) < kWriters * kWrites) << text;
    }
  });
  for (std::thread& w : writers) w.join();
  reader.join();
  UnsubscribeFromModel(slow);
  EXPECT_EQ(overlaps.load(), 0) << "two writes of one item were told at once";

  std::vector<Heard> heard = HeardSoFar();
  std::string lastText;
  int lastNumber = -1, texts = 0;
  std::vector<int> nextOfWriter(kWriters, 0);
  for (const Heard& h : heard) {
    if (h.item == ModelItem::kAudioLevel) {
      EXPECT_EQ(h.number, lastNumber + 1);
      lastNumber = h.number;
      continue;
    }
    ASSERT_EQ(h.item, ModelItem::kTransferStatus);
    int value = std::stoi(h.text);
    // Each writer's own writes arrive in the order it made them.
    EXPECT_EQ(value % kWrites, nextOfWriter[value / kWrites]++);
    lastText = h.text;
    ++texts;
  }
  EXPECT_EQ(texts, kWriters * kWrites);
  EXPECT_EQ(lastNumber, 100);
  EXPECT_EQ(lastText, ModelText(ModelItem::kTransferStatus));
}

// The status printer's lines: the recorders' and the timer's lines at every
// write, the GPS and upload lines only when their text changes, nothing for
// the other items.
TEST(StatusPrinter, LinesForEachItem) {
  struct Case {
    ModelItem item;
    const char* text;
    const char* last;
    const char* line;
  };
  const Case cases[] = {
      {ModelItem::kRecordStatus, "Status : RECORDING", "Status : RECORDING", "Record Status : RECORDING"},
      {ModelItem::kRecordFile, "site_D20240131T220000m000.wav", "", "Record file : site_D20240131T220000m000.wav"},
      {ModelItem::kTimerStatus, "IDLE", "IDLE", "Timer status: IDLE"},
      {ModelItem::kGpsDevice, "<No Device Found>", "", "GPS <No Device Found>"},
      {ModelItem::kGpsDevice, "<No Device Found>", "<No Device Found>", ""},
      {ModelItem::kGpsFix, "GPS Fix: 3D", "GPS Fix: none", "GPS GPS Fix: 3D"},
      {ModelItem::kGpsFix, "GPS Fix: 3D", "GPS Fix: 3D", ""},
      {ModelItem::kTransferStatus, "InActive", "", "Transfer status: InActive"},
      {ModelItem::kTransferStatus, "Active", "Active", ""},
      {ModelItem::kGpsLatitude, "52.520008", "", ""},
      {ModelItem::kTimerClock, "22:00:00", "", ""},
      {ModelItem::kRecordComment, "owls", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StatusLineFor(c.item, c.text, c.last), c.line) << static_cast<int>(c.item) << " " << c.text;
}

// The printer as a station runs it: subscribed once however often it is asked,
// one line per write, the GPS and upload lines once per change.
TEST(StatusPrinter, PrintsTheModelsChangesOnStandardOutput) {
  g_headless.store(true);
  PrintModelChanges();
  PrintModelChanges();
  testing::internal::CaptureStdout();
  for (int i = 0; i < 2; ++i) {
    SetModelText(ModelItem::kRecordStatus, "Status : RECORDING");
    SetModelText(ModelItem::kGpsFix, "GPS Fix: 3D");
    SetModelText(ModelItem::kTransferStatus, "Active");
    SetModelText(ModelItem::kTimerClock, "clock " + std::to_string(i));  // never printed
  }
  SetModelText(ModelItem::kTransferStatus, "InActive");
  std::string out = testing::internal::GetCapturedStdout();
  g_headless.store(false);
  auto count = [&out](const std::string& line) {
    size_t n = 0;
    for (size_t at = out.find(line + "\n"); at != std::string::npos; at = out.find(line + "\n", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Record Status : RECORDING"), 2u) << out;
  EXPECT_EQ(count("GPS GPS Fix: 3D"), 1u) << out;
  EXPECT_EQ(count("Transfer status: Active"), 1u) << out;
  EXPECT_EQ(count("Transfer status: InActive"), 1u) << out;
  EXPECT_EQ(out.find("clock"), std::string::npos) << out;
}

}  // namespace
}  // namespace hv
