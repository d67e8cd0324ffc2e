#include "ui/windows/network_window.h"

#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/network_window_controls.h"
#include "ui/windows/window_set.h"

namespace hv {

const char* const kDefaultNetworkAddress = "192.168.1.41";

void BuildNetworkWindow(XsWindow* w) {
  if (g_settings.NetworkIPAddress.Get().empty()) g_settings.NetworkIPAddress.Set(kDefaultNetworkAddress);
  const std::string address = g_settings.NetworkIPAddress.Get();
  const ControlLayout layout[] = {
      {kNetworkTitle, kXsStatic, 16, 16, 224, 24, "Network Device Address"},
      {kNetworkAddressLabel, kXsStatic, 16, 56, 48, 24, "Addr:"},
      {kNetworkAddress, kXsEdit, 64, 56, 160, 24, address.c_str()},
      {kNetworkDefaultBox, kXsCheckBox, 16, 104, 224, 32, "Make Network Default"},
  };
  AddControls(w, layout);
  XsCheckSet(w, kNetworkDefaultBox, g_settings.NetworkDefaultEnable.load(std::memory_order_relaxed));
}

int NetworkWindowHandler(XsWindow* w, int event, int* d) {
  if (event == kXsButton && d[0] == kNetworkDefaultBox) {
    bool on = !g_settings.NetworkDefaultEnable.load(std::memory_order_relaxed);
    g_settings.NetworkDefaultEnable.store(on, std::memory_order_relaxed);
    XsCheckSet(w, kNetworkDefaultBox, on);
  }
  if (event == kXsClose) XsQuit();
  return 0;
}

std::string RunNetworkParameters() {
  XsRunModal(g_networkWindow);
  std::string address = XsControlText(g_networkWindow, kNetworkAddress);
  if (address.size() > 511) address.resize(511);
  return address;
}

}  // namespace hv
