// The spine of the station: start-up in the designed order, the main loop and
// the orderly shutdown.
#pragma once

#include <string>

#include "app/command_line.h"

namespace hv {

// Runs the whole station until a quit request, File/Exit or --run-for ends it.
// Returns the process exit status: 0; 1 when the replay asked for on the
// command line failed; 2, before anything runs, when a file or folder the
// command line names cannot be used or a fifth copy would share a USB receiver.
int RunStation(const StationOptions& options);

}  // namespace hv
