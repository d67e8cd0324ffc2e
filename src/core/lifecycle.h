// Orderly-exit plumbing: the quit request (signals, --run-for, File/Exit) that
// ends the main loop, and the preparations run before the run flag falls (for
// example closing a recording in progress so it gets its final name).
#pragma once

namespace hv {

// Any thread or a signal handler may ask the main loop to end.
void RequestQuit();
bool QuitRequested();
// Clears the request (tests that run the spine more than once).
void ClearQuitRequest();

// Registered once at start-up; run on the main thread, in order of
// registration, before the run flag falls. Each must be bounded in time.
using ShutdownPreparation = void (*)();
void AddShutdownPreparation(ShutdownPreparation fn);
void RunShutdownPreparations();

}  // namespace hv
