#include "timer/power_save.h"

#include "core/station_state.h"
#include "core/status_print.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/window_set.h"

namespace hv {

bool SetPowerSave(bool on) {
  if (!g_settings.PowerSaverEnable.load(std::memory_order_relaxed)) {
    g_powerSave.store(false, std::memory_order_relaxed);
    return false;
  }
  bool was = g_powerSave.exchange(on, std::memory_order_relaxed);
  XsWindowSetTitle(g_mainWindow, "Halvane [Power Save]");
  XsWindowSetTitle(g_tessagramWindow, "Tessagram [Power Save]");
  XsWindowSetTitle(g_recordSetupWindow, "Record Setup [Power Save]");
  XsWindowSetTitle(g_operationTimerWindow, "Operation Timer [Power Save]");
  XsWindowSetTitle(g_spectralTraceWindow, "Spectral Trace [Power Save]");
  if (was != on) StatusPrint("Power save %s", on ? "on" : "off");
  return on;
}

}  // namespace hv
