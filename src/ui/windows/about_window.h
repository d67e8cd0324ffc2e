// The About window: our artwork and the program's and the compression
// library's names, versions and notices. Shown modally from Help/About...
#pragma once

struct XsWindow;

namespace hv {

void BuildAboutWindow(XsWindow* window);
int AboutWindowHandler(XsWindow* window, int event, int* data);
void RunAboutWindow();

}  // namespace hv
