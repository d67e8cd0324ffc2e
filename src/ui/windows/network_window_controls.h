// The Network Parameters window's controls by id.
#pragma once

namespace hv {

enum NetworkControl : int {
  kNetworkTitle = 500, kNetworkAddressLabel = 501, kNetworkAddress = 502, kNetworkDefaultBox = 503,
};

}  // namespace hv
