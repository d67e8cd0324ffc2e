// The headless station's view of the model: status lines on standard output
// for the recorders' status and file lines, the GPS receiver and fix lines,
// and the timer's and the upload worker's status (StatusPrint prints only when
// the station runs without a screen).
#pragma once

#include <string>

#include "model/station_model.h"

namespace hv {

// Subscribes the printer to the model (once; later calls do nothing).
void PrintModelChanges();

// The line printed for a change of `item` to `text`, or "" when nothing is
// printed. `last` is the item's text at its previous change (the GPS and
// upload lines are printed only when their text changes).
std::string StatusLineFor(ModelItem item, const std::string& text, const std::string& last);

}  // namespace hv
