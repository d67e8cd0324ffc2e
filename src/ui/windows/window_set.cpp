#include "ui/windows/window_set.h"

namespace hv {

XsWindow* g_mainWindow = nullptr;
XsWindow* g_aboutWindow = nullptr;
XsWindow* g_playbackWindow = nullptr;
XsWindow* g_tessagramWindow = nullptr;
XsWindow* g_recordSetupWindow = nullptr;
XsWindow* g_operationTimerWindow = nullptr;
XsWindow* g_fileTransferWindow = nullptr;
XsWindow* g_spectralTraceWindow = nullptr;
XsWindow* g_gpsStatusWindow = nullptr;
XsWindow* g_networkWindow = nullptr;

}  // namespace hv
