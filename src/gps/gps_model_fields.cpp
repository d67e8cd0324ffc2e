#include "gps/gps_model_fields.h"

#include "model/station_model.h"

namespace hv {

void ModelGpsFields::SetText(int id, const std::string& text) {
  static_assert(ModelItem::kGpsDevice + kGpsFix == ModelItem::kGpsFix &&
                    ModelItem::kGpsDevice + kGpsFirstSatellite + (kGpsSatelliteLines - 1) == ModelItem::kGpsSatellite6,
                "the GPS fields follow the model's GPS texts one to one");
  if (id < kGpsDevice || id >= kGpsFirstSatellite + kGpsSatelliteLines) return;
  SetModelText(ModelItem::kGpsDevice + id, text);
}

void ModelGpsFields::SetEnabled(int id, bool enabled) {
  if (id == kGpsFix) SetModelNumber(ModelItem::kGpsFixUsable, enabled);
  else if (id >= kGpsFirstSatellite && id < kGpsFirstSatellite + kGpsSatelliteLines)
    SetModelNumber(ModelItem::kGpsSatelliteHeard1 + (id - kGpsFirstSatellite), enabled);
}

}  // namespace hv
