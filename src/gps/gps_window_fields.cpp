#include "gps/gps_window_fields.h"

#include "core/status_print.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

void WindowGpsFields::SetText(int id, const std::string& text) {
  XsControlSetText(g_gpsStatusWindow, id, text.c_str());
  if (id == kGpsDevice || id == kGpsFix) {
    std::string& last = id == kGpsDevice ? device_ : fix_;
    if (last != text) StatusPrint("GPS %s", text.c_str());
    last = text;
  }
}

void WindowGpsFields::SetEnabled(int id, bool enabled) {
  if (enabled) XsControlEnable(g_gpsStatusWindow, id);
  else XsControlDisable(g_gpsStatusWindow, id);
}

}  // namespace hv
