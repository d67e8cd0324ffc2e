// The GPS thread's passes against a simulated receiver.
#include "gps/gps_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "testing/sim_garmin.h"

namespace hv {
namespace {

struct Field {
  std::string text;
  bool enabled = true;
};

class RecordedFields : public GpsFields {
 public:
  std::map<int, Field> fields;
  void SetText(int id, const std::string& text) override { fields[id].text = text; }
  void SetEnabled(int id, bool enabled) override { fields[id].enabled = enabled; }
  std::string Text(int id) { return fields.count(id) ? fields[id].text : "<unset>"; }
};

double g_slept = 0;
void RecordSleep(double seconds) { g_slept += seconds; }

class GpsSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { g_slept = 0; }
  std::shared_ptr<SimGarminState> sim = std::make_shared<SimGarminState>();
  GarminInterface gps{std::make_unique<SimGarminLink>(sim)};
  RecordedFields fields;
  GpsSession session{gps, fields, RecordSleep};

  // Opens and gets the product, then the position stream starts.
  void Connect() {
    session.Step();  // open
    ASSERT_TRUE(session.Connected());
    session.Step();  // product request, product data
    ASSERT_EQ(session.Stage(), 1);
  }
  std::string StepStderr() {
    testing::internal::CaptureStderr();
    session.Step();
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(GpsSessionTest, ProductAfterSeveralRequestsThenStartPvtExactlyOnce) {
  sim->productAfterRequests = 3;
  session.Step();
  ASSERT_TRUE(session.Connected());
  for (int i = 0; i < 3; ++i) session.Step();  // two unanswered passes close the session
  // Unanswered requests look like a silent receiver: it is reopened and asked again.
  while (session.Stage() == 0 && sim->productRequests < 10) session.Step();
  EXPECT_EQ(sim->productRequests, 3);
  EXPECT_EQ(fields.Text(kGpsDevice), sim->product);
  sim->afterStartPvt = {MakePvtPacket(1, 2, 3, 3), MakePvtPacket(1, 2, 3, 3)};
  session.Step();
  session.Step();
  EXPECT_EQ(sim->startPvtCommands, 1);
  EXPECT_EQ(session.Stage(), 2);
}

TEST_F(GpsSessionTest, PositionShownInDegreesWithFixQuality) {
  Connect();
  sim->afterStartPvt = {MakePvtPacket(52.520008, 13.404954, 34.25f, 3)};
  session.Step();
  EXPECT_EQ(fields.Text(kGpsLatitude), "52.520008");
  EXPECT_EQ(fields.Text(kGpsLongitude), "13.404954");
  EXPECT_EQ(fields.Text(kGpsAltitude), "  34.2");
  EXPECT_EQ(fields.Text(kGpsFix), "GPS Fix: 3D");
  EXPECT_TRUE(fields.fields[kGpsFix].enabled);

  for (auto [type, text] : std::map<int, std::string>{{2, "GPS Fix: 2D"}, {4, "GPS Fix: 2D-Diff"},
                                                      {5, "GPS Fix: 3D-Diff"}, {1, "GPS Fix: none"},
                                                      {6, "GPS Fix: none"}, {-1, "GPS Fix: none"}}) {
    sim->QueueInterrupt(MakePvtPacket(-33.5, -70.25, 100, static_cast<int16_t>(type)));
    session.Step();
    EXPECT_EQ(fields.Text(kGpsFix), text);
    EXPECT_EQ(fields.fields[kGpsFix].enabled, text != "GPS Fix: none");
  }
  EXPECT_EQ(fields.Text(kGpsLatitude), "-33.500000");
}

TEST_F(GpsSessionTest, PvtOfTheWrongSizeChangesNothingAndIsReported) {
  Connect();
  sim->afterStartPvt = {MakePvtPacket(10, 20, 30, 3)};
  session.Step();
  std::map<int, Field> before = fields.fields;
  sim->QueueInterrupt(MakePvtPacket(50, 60, 70, 2, 60));
  EXPECT_NE(StepStderr().find("ERROR PVT Data miss-match\n"), std::string::npos);
  for (auto& [id, f] : before) EXPECT_EQ(fields.Text(id), f.text) << id;
}

TEST_F(GpsSessionTest, EightSatellitesFillTheSixLines) {
  Connect();
  std::vector<SatelliteSignal> sats;
  for (int i = 0; i < 8; ++i) sats.push_back({i + 10, i == 2 ? 0 : 30 + i});
  sim->afterStartPvt = {MakeSatellitePacket(sats)};
  session.Step();
  for (int i = 0; i < 6; ++i) {
    char expect[48];
    std::snprintf(expect, sizeof expect, "SAT:%d  SIG:%d\n", i + 10, i == 2 ? 0 : 30 + i);
    EXPECT_EQ(fields.Text(kGpsFirstSatellite + i), expect);
    EXPECT_EQ(fields.fields[kGpsFirstSatellite + i].enabled, i != 2);
  }
  EXPECT_EQ(fields.fields.count(kGpsFirstSatellite + 6), 0u);

  sim->QueueInterrupt(EncodeGarminPacket(20, kGarminSatelliteData, std::vector<uint8_t>(15, 1)));
  EXPECT_NE(StepStderr().find("ERROR SAT Data miss-match\n"), std::string::npos);
}

TEST_F(GpsSessionTest, SilentReceiverIsClosedAndAMissingOneRetriedEverySecond) {
  Connect();
  session.Step();  // start PVT sent, nothing arrives
  EXPECT_FALSE(session.Connected());
  EXPECT_EQ(fields.Text(kGpsDevice), "<No Device Found>");
  EXPECT_EQ(sim->closes, 1);
  sim->present = false;
  g_slept = 0;
  session.Step();
  session.Step();
  EXPECT_FALSE(session.Connected());
  EXPECT_DOUBLE_EQ(g_slept, 2.0);
}

TEST_F(GpsSessionTest, InterfaceOpenNeedsTheSessionAnswer) {
  sim->answersSession = false;
  EXPECT_FALSE(gps.Open(""));
  EXPECT_FALSE(gps.IsOpen());
  EXPECT_EQ(sim->closes, 1);
  sim->answersSession = true;
  EXPECT_TRUE(gps.Open(""));
  EXPECT_EQ(gps.UsbPacketSize(), 64u);
}

TEST_F(GpsSessionTest, InterfaceWriteFillingWholeUsbPacketsIsFollowedByAZeroLengthWrite) {
  sim->packetSize = 14;  // the start PVT command is 12 + 2 bytes
  ASSERT_TRUE(gps.Open(""));
  sim->writes.clear();
  ASSERT_TRUE(gps.StartPvt());
  ASSERT_EQ(sim->writes.size(), 2u);
  EXPECT_EQ(sim->writes[0].size(), 14u);
  EXPECT_TRUE(sim->writes[1].empty());
  sim->writes.clear();
  gps.RequestProduct();  // 12 bytes: no zero-length write
  EXPECT_EQ(sim->writes.size(), 1u);
}

TEST_F(GpsSessionTest, InterfaceReadsAreBoundedAgainstBabblingOrBrokenReceivers) {
  ASSERT_TRUE(gps.Open(""));
  // Full 64-byte pieces that never end.
  for (int i = 0; i < 2000; ++i) sim->interruptPieces.emplace_back(64, 0x14);
  EXPECT_EQ(gps.ReadPacket(10), nullptr);
  sim->interruptPieces.clear();
  // A header claiming more data than arrived is handed on as an unknown packet.
  std::vector<uint8_t> bytes = EncodeGarminPacket(20, 51, std::vector<uint8_t>(64, 0));
  bytes.resize(40);
  sim->interruptPieces.push_back(bytes);
  GarminPacket* p = gps.ReadPacket(10);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(gps.PacketType(p), 20);
  gps.FreePacket(p);
  // A data-available packet whose bulk data never comes is none.
  sim->QueueInterrupt(EncodeGarminPacket(0, kGarminDataAvailable));
  EXPECT_EQ(gps.ReadPacket(10), nullptr);
}

}  // namespace
}  // namespace hv
