// The GPS thread's work: keep a session with the receiver open, ask for its
// product, start the position stream and show what arrives in the GPS Status
// fields (device line, latitude, longitude, altitude, fix, six satellites),
// which the station keeps in its model; the recorders read the position there.
#pragma once

#include <string>

#include "gps/garmin_interface.h"

namespace hv {

// The fields the session writes; the satellite lines are kGpsFirstSatellite + 0..5.
enum GpsField : int {
  kGpsDevice, kGpsLatitude, kGpsLongitude, kGpsAltitude, kGpsFix, kGpsFirstSatellite,
};
constexpr int kGpsSatelliteLines = 6;

// Where the fields are written; the station writes its model (gps_model_fields.h).
class GpsFields {
 public:
  virtual ~GpsFields() = default;
  virtual void SetText(int id, const std::string& text) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
};

class GpsSession {
 public:
  using SleepFunction = void (*)(double seconds);
  GpsSession(GarminInterface& gps, GpsFields& fields, SleepFunction sleep);

  // One pass of the thread's loop.
  void Step();
  // Closes the session when the thread ends.
  void Finish();

  bool Connected() const { return connected_; }
  int Stage() const { return stage_; }

 private:
  void Handle(const GarminPacket& packet);
  void ShowPvt(const GarminPacket& packet);
  void ShowSatellites(const GarminPacket& packet);

  GarminInterface& gps_;
  GpsFields& fields_;
  SleepFunction sleep_;
  bool connected_ = false;
  int stage_ = 0;  // 0 product request pending, 1 product known, 2 position stream on
};

// The fix line's text for a fix type; "GPS Fix: none" for anything unknown.
const char* FixText(int fixType);

}  // namespace hv
