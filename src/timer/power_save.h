// Entering and leaving power save: the shared flag the acquisition thread
// watches (it releases the receiver while the flag is set) and the mark the
// windows put in their titles to tell the user.
#pragma once

namespace hv {

// With PowerSaverEnable off: clears the flag and returns false. Otherwise sets
// the flag to `on`, publishes the power-save title mark in the station model
// (the windows then show five "[Power Save]" titles, whatever `on` is; the
// device titles return with the next device notification) and returns the
// flag.
bool SetPowerSave(bool on);

}  // namespace hv
