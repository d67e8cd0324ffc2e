#include "ui/windows/window_set.h"

#include "core/station_state.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/about_window.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/file_transfer_window.h"
#include "ui/windows/gps_status_window.h"
#include "ui/windows/main_window.h"
#include "ui/windows/model_views.h"
#include "ui/windows/network_window.h"
#include "ui/windows/operation_timer_window.h"
#include "ui/windows/playback_window.h"
#include "ui/windows/record_setup_window.h"
#include "ui/windows/tessagram_window.h"
#include "ui/windows/trace_window.h"
#include "ui/windows/ui_actions.h"

namespace hv {

XsWindow* g_aboutWindow = nullptr;
XsWindow* g_playbackWindow = nullptr;
XsWindow* g_tessagramWindow = nullptr;
XsWindow* g_recordSetupWindow = nullptr;
XsWindow* g_operationTimerWindow = nullptr;
XsWindow* g_fileTransferWindow = nullptr;
XsWindow* g_gpsStatusWindow = nullptr;
XsWindow* g_networkWindow = nullptr;

namespace {

// The main window's client size at start-up, set again once every window is built.
constexpr int kMainWidth = 800, kMainHeight = 336;

// Closing a tool window only hides it and unchecks its Window menu item.
template <int kMenuId>
int HideOnClose(XsWindow*, int event, int*) {
  if (event == kXsClose) HideToolWindow(kMenuId);
  return 0;
}

// A window is either made here from its title, kind, size, position, handler
// and layout function, or by its owner's create function (which does all of it).
struct WindowEntry {
  XsWindow** window;
  const char* title;
  int kind, width, height, x, y;
  XsHandler handler;
  void (*build)(XsWindow*);
  XsWindow* (*create)() = nullptr;
};

}  // namespace

void CreateWindowSet() {
  const WindowEntry entries[] = {
      {&g_mainWindow, "Halvane", kXsMainFrame, kMainWidth, kMainHeight, 336, 128, MainWindowHandler, BuildMainWindow},
      {&g_aboutWindow, "About", kXsFixedTool, 384, 384, 192, 192, AboutWindowHandler, BuildAboutWindow},
      {&g_playbackWindow, "Playback", 0, 0, 0, 0, 0, nullptr, nullptr, CreatePlaybackWindow},
      {&g_tessagramWindow, "Tessagram", 0, 0, 0, 0, 0, nullptr, nullptr, CreateTessagramWindow},
      {&g_recordSetupWindow, "Record Setup", kXsFixedTool, 560, 352, 64, 128, RecordSetupWindowHandler,
       BuildRecordSetupWindow},
      {&g_operationTimerWindow, "Operation Timer", 0, 0, 0, 0, 0, nullptr, nullptr, CreateOperationTimerWindow},
      {&g_fileTransferWindow, "File Transfer", 0, 0, 0, 0, 0, nullptr, nullptr, CreateFileTransferWindow},
      {&g_spectralTraceWindow, "Spectral Trace", 0, 0, 0, 0, 0, nullptr, nullptr, CreateSpectralTraceWindow},
      {&g_gpsStatusWindow, "GPS Status", 0, 0, 0, 0, 0, nullptr, nullptr, CreateGpsStatusWindow},
      {&g_networkWindow, "Network Parameters", kXsFixedTool, 256, 160, 192, 192, NetworkWindowHandler,
       BuildNetworkWindow},
  };
  for (const WindowEntry& s : entries)
    *s.window = s.create ? s.create() : CreateToolWindow(s.handler, s.kind, s.title, s.width, s.height, s.x, s.y);
  for (const WindowEntry& s : entries)
    if (s.build) s.build(*s.window);
  // The windows show the station model from here on.
  for (const WindowEntry& s : entries) ShowModelIn(*s.window);
  ShowStationModel();
  XsWindowSetClientSize(g_mainWindow, kMainWidth, kMainHeight);
  XsWindowShow(g_mainWindow);
}

}  // namespace hv
