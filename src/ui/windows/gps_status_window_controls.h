// The GPS Status window's controls by id; the satellite lines are
// kGpsFirstSatelliteLine + 0..5.
#pragma once

namespace hv {

enum GpsStatusControl : int {
  kGpsDeviceLine = 480, kGpsLatitudeLabel = 481, kGpsLatitudeField = 482, kGpsLongitudeLabel = 483,
  kGpsLongitudeField = 484, kGpsAltitudeLabel = 485, kGpsAltitudeField = 486, kGpsFixLine = 487,
  kGpsFirstSatelliteLine = 488,
};
constexpr int kGpsSatelliteLineCount = 6;

}  // namespace hv
