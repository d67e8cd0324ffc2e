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

// A main loop that sleeps registers how to wake it; every quit request then
// calls it (also one made in a signal handler: a small relay thread, blocked
// on a semaphore the handler posts, makes the call outside the handler).
using QuitWaker = void (*)();
void AddQuitWaker(QuitWaker wake);

// Registered once at start-up; run on the main thread, in order of
// registration, before the run flag falls. Each must be bounded in time.
using ShutdownPreparation = void (*)();
void AddShutdownPreparation(ShutdownPreparation fn);
void RunShutdownPreparations();

}  // namespace hv
