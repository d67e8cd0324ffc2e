#include "gps/garmin_packet.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(GarminPacket, EncodesAndDecodesTheHeader) {
  std::vector<uint8_t> bytes = EncodeGarminPacket(kGarminApplication, kGarminCommand, {49, 0});
  // Type, three reserved bytes, id of two bytes, two reserved, the data size of four, the data.
  EXPECT_EQ(bytes, (std::vector<uint8_t>{20, 0, 0, 0, 10, 0, 0, 0, 2, 0, 0, 0, 49, 0}));
  GarminPacket p;
  ASSERT_TRUE(DecodeFirstGarminPacket(bytes.data(), bytes.size(), &p));
  EXPECT_EQ(p.type, 20);
  EXPECT_EQ(p.id, 10);
  EXPECT_EQ(p.data, (std::vector<uint8_t>{49, 0}));
}

TEST(GarminPacket, OnlyTheFirstPacketIsTakenAndTruncatedOrOversizedOnesAreRefused) {
  std::vector<uint8_t> two = EncodeGarminPacket(20, 255, {1, 2, 3});
  std::vector<uint8_t> second = EncodeGarminPacket(20, 51, {9});
  two.insert(two.end(), second.begin(), second.end());
  GarminPacket p;
  ASSERT_TRUE(DecodeFirstGarminPacket(two.data(), two.size(), &p));
  EXPECT_EQ(p.id, 255);
  EXPECT_EQ(p.data.size(), 3u);

  std::vector<uint8_t> bytes = EncodeGarminPacket(20, 51, std::vector<uint8_t>(64, 0));
  EXPECT_FALSE(DecodeFirstGarminPacket(bytes.data(), 11, &p));
  EXPECT_FALSE(DecodeFirstGarminPacket(bytes.data(), bytes.size() - 1, &p));
  bytes[11] = 0xff;  // data size of about 4 GiB
  EXPECT_FALSE(DecodeFirstGarminPacket(bytes.data(), bytes.size(), &p));
  EXPECT_FALSE(DecodeFirstGarminPacket(nullptr, 0, &p));
}

// Short records are refused in GpsSessionTest (PVT of 60 bytes, 15 satellite bytes).
TEST(GarminPacket, RecordsNeedTheirExactSizes) {
  PvtFix fix;
  EXPECT_FALSE(DecodePvt(std::vector<uint8_t>(65, 0), &fix));
  std::vector<SatelliteSignal> sats;
  EXPECT_TRUE(DecodeSatellites({}, &sats));
  EXPECT_TRUE(sats.empty());
}

TEST(GarminPacket, ProductDescriptionStopsAtItsZeroOrTheEnd) {
  EXPECT_EQ(ProductDescription({1, 0, 2, 0, 'G', 'P', 'S', 0, 'x'}), "GPS");
  EXPECT_EQ(ProductDescription({1, 0, 2, 0, 'G', 'P'}), "GP");
  EXPECT_EQ(ProductDescription({1, 0, 2}), "");
}

}  // namespace
}  // namespace hv
