// What every new recording needs at the moment it opens: its start time, its
// attribute inputs (device, compensation, time, GPS, comment) and its names.
#pragma once

#include <string>

#include "core/station_state.h"
#include "formats/attribute_record.h"
#include "recording/record_paths.h"

namespace hv {

// The start time: the replayed stream time during playback, else the clock (UTC).
StreamTime RecordingStartTime();

// Attribute inputs for a recording at `start` with header rate `headerRate`,
// expansion `expansion` and real rate `realRate` (Hz), from the windows and settings.
AttributeInputs GatherAttributeInputs(int64_t headerRate, int64_t expansion, double realRate, const StreamTime& start);

}  // namespace hv
