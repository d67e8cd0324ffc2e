// The thirteen worker-thread routines of the station, each defined in its
// subsystem's folder. Each runs on its own thread, loops while the run flag is
// set and returns 0 soon after it falls.
#pragma once

namespace hv {

int GpsThread(void*);
int FileTransferThread(void*);
int DisplayThread(void*);
int ConditioningThread(void*);
int SoundThread(void*);
int SoundRefillThread(void*);
int StreamRecordingThread(void*);
int PlaybackThread(void*);
int SpectrumThread(void*);
int AutoSnapThread(void*);
int OperationTimerThread(void*);
int SpectralTraceThread(void*);
int AcquisitionThread(void*);

}  // namespace hv
