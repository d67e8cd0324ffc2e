// The GPS fields as the GPS thread writes them: texts and lit states into the
// station model, which the GPS Status window shows and a headless station
// prints (the device and fix lines).
#pragma once

#include <string>

#include "gps/gps_session.h"

namespace hv {

class ModelGpsFields : public GpsFields {
 public:
  void SetText(int id, const std::string& text) override;
  void SetEnabled(int id, bool enabled) override;
};

}  // namespace hv
