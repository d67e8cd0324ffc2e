// The Tessagram window's controls by id.
#pragma once

namespace hv {

enum TessagramControl : int {
  kTessagramPause = 350,
  kTessagramThresholdText = 351, kTessagramThresholdSlider = 352,
  kTessagramDetailText = 353, kTessagramDetailSlider = 354,
  kTessagramDivisionsText = 355, kTessagramDivisionsSlider = 356,
  kTessagramMarker1Check = 400, kTessagramMarker1Edit = 401, kTessagramMarker1Up = 403, kTessagramMarker1Down = 404,
  kTessagramMarker2Check = 405, kTessagramMarker2Edit = 406, kTessagramMarker2Up = 408, kTessagramMarker2Down = 409,
};

}  // namespace hv
