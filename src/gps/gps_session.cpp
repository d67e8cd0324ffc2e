#include "gps/gps_session.h"

#include <cstdio>
#include <vector>

#include "core/runtime.h"

namespace hv {

namespace {
constexpr int kReadWaitMs = 2000;
constexpr double kDegreesPerRadian = 57.29577957855229;
}  // namespace

const char* FixText(int fixType) {
  switch (fixType) {
    case 2: return "GPS Fix: 2D";
    case 3: return "GPS Fix: 3D";
    case 4: return "GPS Fix: 2D-Diff";
    case 5: return "GPS Fix: 3D-Diff";
    default: return "GPS Fix: none";
  }
}

GpsSession::GpsSession(GarminInterface& gps, GpsFields& fields, SleepFunction sleep)
    : gps_(gps), fields_(fields), sleep_(sleep) {}

void GpsSession::Step() {
  if (!connected_) {
    if (gps_.Open("")) {
      connected_ = true;
      stage_ = 0;
    } else {
      sleep_(1.0);
    }
    return;
  }
  if (stage_ == 0) {
    gps_.RequestProduct();
  } else if (stage_ == 1) {
    gps_.StartPvt();
    stage_ = 2;
  }
  GarminPacket* packet = gps_.ReadPacket(kReadWaitMs);
  if (!packet) {
    gps_.Close();
    connected_ = false;
    fields_.SetText(kGpsDevice, "<No Device Found>");
  } else {
    Handle(*packet);
    gps_.FreePacket(packet);
  }
  sleep_(0.001);
}

void GpsSession::Finish() {
  if (connected_) gps_.Close();
  connected_ = false;
}

void GpsSession::Handle(const GarminPacket& packet) {
  if (packet.type != kGarminApplication) return;
  switch (packet.id) {
    case kGarminPvtData:
      ShowPvt(packet);
      break;
    case kGarminSatelliteData:
      ShowSatellites(packet);
      break;
    case kGarminProductData:
      fields_.SetText(kGpsDevice, ProductDescription(packet.data));
      stage_ = 1;
      break;
    default:
      break;
  }
}

void GpsSession::ShowPvt(const GarminPacket& packet) {
  PvtFix fix;
  if (!DecodePvt(packet.data, &fix)) {
    DiagPrint("ERROR PVT Data miss-match\n");
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%3.6f", static_cast<double>(static_cast<float>(fix.latitude * kDegreesPerRadian)));
  fields_.SetText(kGpsLatitude, text);
  std::snprintf(text, sizeof text, "%3.6f", static_cast<double>(static_cast<float>(fix.longitude * kDegreesPerRadian)));
  fields_.SetText(kGpsLongitude, text);
  std::snprintf(text, sizeof text, "%6.1f", static_cast<double>(fix.altitude));
  fields_.SetText(kGpsAltitude, text);
  fields_.SetText(kGpsFix, FixText(fix.fixType));
  fields_.SetEnabled(kGpsFix, fix.fixType >= 2 && fix.fixType <= 5);
}

void GpsSession::ShowSatellites(const GarminPacket& packet) {
  std::vector<SatelliteSignal> satellites;
  if (!DecodeSatellites(packet.data, &satellites)) {
    DiagPrint("ERROR SAT Data miss-match\n");
    return;
  }
  for (size_t i = 0; i < satellites.size() && i < kGpsSatelliteLines; ++i) {
    char text[48];
    std::snprintf(text, sizeof text, "SAT:%d  SIG:%d\n", satellites[i].number, satellites[i].signalToNoise);
    int id = kGpsFirstSatellite + static_cast<int>(i);
    fields_.SetText(id, text);
    fields_.SetEnabled(id, satellites[i].signalToNoise >= 1);
  }
}

}  // namespace hv
