// The Record Setup window: trigger, filter range, durations, idle timeout, pop
// filter, output format, time expansion and the comment of new recordings, plus
// the recorders' status and file-name lines. Every change applies at once.
#pragma once

struct XsWindow;

namespace hv {

void BuildRecordSetupWindow(XsWindow* window);
int RecordSetupWindowHandler(XsWindow* window, int event, int* data);
// Whether the idle timeout field last held a valid number (window-local state).
bool IdleTimeoutValid();
// Puts the window-local validity flags back (tests).
void ResetRecordSetupState();

}  // namespace hv
