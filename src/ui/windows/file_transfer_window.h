// The File Transfer window: the upload thread's status line, the switches of
// the upload, the FTP site, folder and login, and the local archive folder.
#pragma once

struct XsWindow;

namespace hv {

// Creates the window from the settings and sets g_fileTransferWindow. Main thread.
XsWindow* CreateFileTransferWindow();
int FileTransferHandler(XsWindow* w, int event, int* data);

}  // namespace hv
