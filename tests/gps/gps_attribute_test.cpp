// What the GPS thread writes into the station model, and that the position it
// shows is the one new recordings carry.
#include <gtest/gtest.h>

#include "core/station_state.h"
#include "formats/attribute_record.h"
#include "gps/gps_model_fields.h"
#include "model/station_model.h"
#include "recording/recording_start.h"
#include "testing/sim_garmin.h"

namespace hv {
namespace {

void NoSleep(double) {}

TEST(GpsInTheModel, EachFieldHasItsTextAndLitState) {
  ResetModel();
  auto sim = std::make_shared<SimGarminState>();
  std::vector<SatelliteSignal> sats;
  for (int i = 0; i < 6; ++i) sats.push_back({i + 10, i == 4 ? 0 : 30 + i});
  sim->afterStartPvt = {MakePvtPacket(-33.5, 151.25, 12.5f, 2), MakeSatellitePacket(sats)};
  GarminInterface gps(std::make_unique<SimGarminLink>(sim));
  ModelGpsFields fields;
  GpsSession session(gps, fields, NoSleep);
  for (int i = 0; i < 4; ++i) session.Step();
  EXPECT_EQ(ModelText(ModelItem::kGpsDevice), sim->product);
  EXPECT_EQ(ModelText(ModelItem::kGpsLatitude), "-33.500000");
  EXPECT_EQ(ModelText(ModelItem::kGpsLongitude), "151.250000");
  EXPECT_EQ(ModelText(ModelItem::kGpsAltitude), "  12.5");
  EXPECT_EQ(ModelText(ModelItem::kGpsFix), "GPS Fix: 2D");
  EXPECT_EQ(ModelNumber(ModelItem::kGpsFixUsable), 1);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ModelText(ModelItem::kGpsSatellite1 + i), "SAT:" + std::to_string(i + 10) +
                                                            "  SIG:" + std::to_string(i == 4 ? 0 : 30 + i) + "\n");
    EXPECT_EQ(ModelNumber(ModelItem::kGpsSatelliteHeard1 + i), i == 4 ? 0 : 1) << i;
  }
  sim->QueueInterrupt(MakePvtPacket(52.5, 13.4, 34, 0));  // the fix is lost
  session.Step();
  EXPECT_EQ(ModelText(ModelItem::kGpsFix), "GPS Fix: none");
  EXPECT_EQ(ModelNumber(ModelItem::kGpsFixUsable), 0);
}

TEST(GpsInRecordings, AFixAddsTheGpsPairAndNoFixLeavesItOut) {
  auto sim = std::make_shared<SimGarminState>();
  sim->afterStartPvt = {MakePvtPacket(52.520008, 13.404954, 34.25f, 3)};
  GarminInterface gps(std::make_unique<SimGarminLink>(sim));
  ModelGpsFields fields;
  GpsSession session(gps, fields, NoSleep);
  for (int i = 0; i < 3; ++i) session.Step();  // open, product, start PVT with the first fix

  g_playbackActive = false;
  std::string text = ComposeAttribute(GatherAttributeInputs(25000, 10, 250000, StreamTime{}));
  EXPECT_NE(text.find(",GPS=<lat:52.520008 lon:13.404954 alt:  34.2>,"), std::string::npos) << text;
  g_playbackActive = true;  // a replayed stream carries no position
  text = ComposeAttribute(GatherAttributeInputs(25000, 10, 250000, StreamTime{}));
  EXPECT_EQ(text.find("GPS="), std::string::npos) << text;
  g_playbackActive = false;

  sim->QueueInterrupt(MakePvtPacket(52.5, 13.4, 34, 0));  // the fix is lost
  session.Step();
  text = ComposeAttribute(GatherAttributeInputs(25000, 10, 250000, StreamTime{}));
  EXPECT_EQ(text.find("GPS="), std::string::npos) << text;
}

}  // namespace
}  // namespace hv
