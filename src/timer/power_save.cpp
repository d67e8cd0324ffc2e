#include "timer/power_save.h"

#include "core/station_state.h"
#include "core/status_print.h"
#include "model/station_model.h"
#include "settings/settings.h"

namespace hv {

bool SetPowerSave(bool on) {
  if (!g_settings.PowerSaverEnable.load(std::memory_order_relaxed)) {
    g_powerSave.store(false, std::memory_order_relaxed);
    return false;
  }
  bool was = g_powerSave.exchange(on, std::memory_order_relaxed);
  SetModelNumber(ModelItem::kPowerSaveTitles, on);
  if (was != on) StatusPrint("Power save %s", on ? "on" : "off");
  return on;
}

}  // namespace hv
