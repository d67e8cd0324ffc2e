// The GPS Status window as the GPS thread writes it: texts and greyed states
// through the toolkit (no display lock needed: the toolkit's records answer at
// once), with the device and fix lines also printed on a headless station.
#pragma once

#include <string>

#include "gps/gps_session.h"

namespace hv {

class WindowGpsFields : public GpsFields {
 public:
  void SetText(int id, const std::string& text) override;
  void SetEnabled(int id, bool enabled) override;

 private:
  std::string device_, fix_;
};

}  // namespace hv
