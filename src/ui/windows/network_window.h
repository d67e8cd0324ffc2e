// The Network Parameters window: the network receiver's address and the
// "Make Network Default" switch. Run modally from Setup/Device/Network.
#pragma once

#include <string>

struct XsWindow;

namespace hv {

// A private address used when the user has never entered one (never contacted
// by tests or demos: they always name a loopback address).
extern const char* const kDefaultNetworkAddress;

void BuildNetworkWindow(XsWindow* window);
int NetworkWindowHandler(XsWindow* window, int event, int* data);
// Shows the window modally and returns the address text when it closes.
std::string RunNetworkParameters();

}  // namespace hv
