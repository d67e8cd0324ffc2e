// The calls drawn on a spectrogram: a box from start to end and from the
// lowest to the highest frequency, inside the plot, and the picture written
// by halvane-calls --picture.
#include <gtest/gtest.h>

#include <string>

#include "sono/call_picture.h"
#include "support/files.h"
#include "support/process.h"

namespace hv {
namespace {

const std::string kSim = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-sim/halvane-sim";
const std::string kCalls = std::string(HALVANE_BUILD_DIR) + "/apps/halvane-calls/halvane-calls";
using testutil::CommandStatus;

TEST(CallPicture, BoxesCallsWhereTheyAre) {
  SonoPicture p;
  p.width = 1000;
  p.height = 300;
  p.pixels.assign(size_t(p.width) * p.height, 0);
  p.plotLeft = 40, p.plotTop = 20, p.plotWidth = 900, p.plotHeight = 256;
  p.realRate = 256000;  // 1 kHz per row
  p.seconds = 1.0;
  CallMeasure call;
  call.startS = 0.5, call.endS = 0.6;
  call.fMaxHz = 80000, call.fMinHz = 40000, call.fPeakHz = 60000;
  CallMeasure outside = call;  // past the plot: clipped, not drawn over the margin
  outside.startS = 0.99, outside.endS = 1.5;
  MarkCalls({call, outside}, &p);
  auto at = [&](int x, int y) { return p.pixels[size_t(y) * p.width + x]; };
  const int x0 = p.plotLeft + int(0.5 * 899 + 0.5), x1 = p.plotLeft + int(0.6 * 899 + 0.5);
  const int yTop = p.plotTop + SonoRowForFrequency(p, 80000) - 1;
  const int yBottom = p.plotTop + SonoRowForFrequency(p, 40000) + 1;
  const uint32_t white = 0xFFFFFF;
  const int yMid = (yTop + yBottom) / 2;
  for (auto [x, y] : {std::pair(x0, yTop), {x1, yBottom}, {x0, yMid}, {x1, yMid}})
    EXPECT_EQ(at(x, y), white) << "edge " << x << "," << y;
  // Open inside, nothing just outside the box.
  for (auto [x, y] : {std::pair((x0 + x1) / 2, yMid), {x0 - 1, yMid}, {x1 + 1, yMid}, {x0, yTop - 1}, {x0, yBottom + 1}})
    EXPECT_NE(at(x, y), white) << "off the box " << x << "," << y;
  for (int y = 0; y < p.height; ++y)
    for (int x = p.plotLeft + p.plotWidth; x < p.width; ++x) ASSERT_NE(at(x, y), white) << x << "," << y;
}

TEST(CallPicture, HalvaneCallsWritesPictures) {
  TempFolder dir;
  const std::string wav = dir / "scene.wav";
  ASSERT_EQ(CommandStatus(kSim + " --signal scene:20 --seconds 1 --write " + wav), 0);
  ASSERT_EQ(CommandStatus(kCalls + " --picture " + dir.path + " --picture-width 800 " + wav + " >/dev/null 2>&1"), 0);
  std::vector<uint8_t> png = ReadAllBytes(dir / "scene.png");
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png[1], 'P');
  // Width in the header chunk.
  EXPECT_EQ((png[16] << 24) | (png[17] << 16) | (png[18] << 8) | png[19], 800);
  // A folder that is not there is an error; bad numbers are refused.
  EXPECT_NE(CommandStatus(kCalls + " --picture " + (dir / "none") + " " + wav + " >/dev/null 2>&1"), 0);
  for (const char* bad : {"--picture-width 10", "--picture-width x", "--low-khz -1", "--low-khz 300"})
    EXPECT_EQ(CommandStatus(kCalls + " " + bad + " " + wav + " >/dev/null 2>&1"), 2) << bad;
}

}  // namespace
}  // namespace hv
