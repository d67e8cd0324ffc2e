// The position the GPS thread shows is the one new recordings carry.
#include <gtest/gtest.h>

#include "core/station_state.h"
#include "gps/gps_model_fields.h"
#include "recording/attribute_record.h"
#include "recording/recording_start.h"
#include "sim_garmin.h"

namespace hv {
namespace {

void NoSleep(double) {}

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
