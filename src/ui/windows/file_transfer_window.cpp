#include "ui/windows/file_transfer_window.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_colours.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/control_layout.h"
#include "ui/windows/file_transfer_window_controls.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

constexpr int kWidth = 560, kHeight = 352;
constexpr size_t kTextCapacity = 259;

// The layout reads top to bottom: status, switches, site, login, archive.
const ControlLayout kLayout[] = {
    {kTransferStatusLabel, kXsStatic, 16, 16, 136, 24, "File Transfer Status:"},
    {kTransferStatus, kXsStatic, 152, 16, 392, 24, "IDLE"},
    {kTransferEnable, kXsCheckBox, 16, 48, 240, 24, "Enable File Transfer"},
    {kTransferDuringIdle, kXsCheckBox, 16, 72, 240, 24, "Transfer only during power save"},
    {kTransferSiteLabel, kXsStatic, 16, 112, 96, 24, "FTP site:"},
    {kTransferSite, kXsEdit, 112, 112, 320, 24, nullptr},
    {kTransferFolderLabel, kXsStatic, 16, 144, 96, 24, "FTP directory:"},
    {kTransferFolder, kXsEdit, 112, 144, 320, 24, nullptr},
    {kTransferLoginAs, kXsCheckBox, 16, 184, 96, 24, "Login as"},
    {kTransferUserLabel, kXsStatic, 40, 212, 72, 24, "username:"},
    {kTransferUser, kXsEdit, 112, 212, 200, 24, nullptr},
    {kTransferPasswordLabel, kXsStatic, 40, 244, 72, 24, "password:"},
    {kTransferPassword, kXsEdit, 112, 244, 200, 24, nullptr},
    {kTransferArchive, kXsCheckBox, 16, 288, 112, 24, "Local Archive"},
    {kTransferArchiveFolder, kXsEdit, 136, 288, 304, 24, nullptr},
    {kTransferBrowse, kXsButtonControl, 448, 288, 88, 24, "Browse..."},
};

std::vector<uint32_t>& Background() {
  static std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, kButtonFacePixel);
  return pixels;
}

void SetEnabled(XsWindow* w, int id, bool on) { on ? XsControlEnable(w, id) : XsControlDisable(w, id); }

void ShowText(XsWindow* w, int id, const std::string& value, const char* placeholder) {
  XsControlSetText(w, id, value.empty() ? placeholder : value.c_str());
}

// While Local Archive is on, the folder cannot be changed.
void ApplyArchiveSwitch(XsWindow* w, bool on) {
  SetEnabled(w, kTransferArchiveFolder, !on);
  SetEnabled(w, kTransferBrowse, !on);
}

SharedText* TextSetting(int id) {
  switch (id) {
    case kTransferSite: return &g_settings.FTPHostName;
    case kTransferFolder: return &g_history.FTPRootDirectory;
    case kTransferUser: return &g_settings.FTPUserName;
    case kTransferPassword: return &g_settings.FTPPassWord;
    case kTransferArchiveFolder: return &g_history.ArchiveDirectory;
  }
  return nullptr;
}

}  // namespace

// Runs on the main thread.
int FileTransferHandler(XsWindow* w, int event, int* data) {
  switch (event) {
    case kXsPaint: {
      LockGuard lock(g_displayLock);
      XsDrawImage(w, Background().data(), kWidth, kHeight, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight);
      break;
    }
    case kXsClose:
      XsWindowHide(w);
      XsMenuUncheck(g_mainWindow, kToolFileTransfer);
      break;
    case kXsButton:
      switch (data[0]) {
        case kTransferEnable:
          g_settings.FileTransferEnable.store(XsCheckGet(w, kTransferEnable), std::memory_order_relaxed);
          NotifyStationChange();  // the transfer thread waits for it while inactive
          break;
        case kTransferDuringIdle:
          g_settings.FileTransferDuringIdle.store(XsCheckGet(w, kTransferDuringIdle), std::memory_order_relaxed);
          NotifyStationChange();
          break;
        case kTransferLoginAs:
          g_settings.FileTransferLoginEnable.store(XsCheckGet(w, kTransferLoginAs), std::memory_order_relaxed);
          break;
        case kTransferArchive: {
          bool on = XsCheckGet(w, kTransferArchive);
          g_settings.FileTransferArchiveEnable.store(on, std::memory_order_relaxed);
          ApplyArchiveSwitch(w, on);
          break;
        }
        case kTransferBrowse: {
          // A cancelled browser empties the archive folder.
          if (!ChooseArchiveDirectory()) g_history.ArchiveDirectory.Set("");
          std::string folder = g_history.ArchiveDirectory.Get();
          XsControlSetText(w, kTransferArchiveFolder, folder.c_str());
          SetEnabled(w, kTransferArchive, !folder.empty());
          break;
        }
        default:
          break;
      }
      break;
    case kXsEditChanged: {
      SharedText* setting = TextSetting(data[0]);
      if (!setting) break;
      std::string text = XsControlText(w, data[0]).substr(0, kTextCapacity);
      setting->Set(text);
      if (data[0] == kTransferArchiveFolder) SetEnabled(w, kTransferArchive, !text.empty());
      break;
    }
    default:
      break;
  }
  return 0;
}

// Runs on the main thread.
XsWindow* CreateFileTransferWindow() {
  XsWindow* w = CreateToolWindow(FileTransferHandler, kXsFixedTool, "File Transfer", kWidth, kHeight, 80, 144);
  if (!w) return nullptr;
  g_fileTransferWindow = w;
  AddControls(w, kLayout);
  XsCheckSet(w, kTransferEnable, g_settings.FileTransferEnable.load(std::memory_order_relaxed));
  XsCheckSet(w, kTransferDuringIdle, g_settings.FileTransferDuringIdle.load(std::memory_order_relaxed));
  XsCheckSet(w, kTransferLoginAs, g_settings.FileTransferLoginEnable.load(std::memory_order_relaxed));
  const bool archive = g_settings.FileTransferArchiveEnable.load(std::memory_order_relaxed);
  XsCheckSet(w, kTransferArchive, archive);
  ShowText(w, kTransferSite, g_settings.FTPHostName.Get(), "<no address>");
  ShowText(w, kTransferFolder, g_history.FTPRootDirectory.Get(), "<no directory>");
  ShowText(w, kTransferUser, g_settings.FTPUserName.Get(), "<no username>");
  ShowText(w, kTransferPassword, g_settings.FTPPassWord.Get(), "<no password>");
  const std::string folder = g_history.ArchiveDirectory.Get();
  XsControlSetText(w, kTransferArchiveFolder, folder.c_str());
  SetEnabled(w, kTransferArchive, archive || !folder.empty());
  ApplyArchiveSwitch(w, archive);
  return w;
}

}  // namespace hv
