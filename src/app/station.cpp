#include "app/station.h"

#include <csignal>
#include <cstdio>

#include "audio/sound_device.h"
#include "core/instance_counter.h"
#include "core/lifecycle.h"
#include "core/outside_file.h"
#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "core/worker_routines.h"
#include "dsp/analysis_frame.h"
#include "model/status_printer.h"
#include "playback/playback_state.h"
#include "recording/auto_snap_recorder.h"
#include "recording/record_startup.h"
#include "settings/settings.h"
#include "sono/snapshot_picture.h"
#include "ui/toolkit/xs.h"
#include "ui/windows/playback_window.h"
#include "ui/windows/ui_actions.h"
#include "ui/windows/window_set.h"

namespace hv {

namespace {

// The worker threads by name; the value is the thread's place in kRoster.
enum Worker : int {
  kGps,
  kTransfer,
  kDisplay,
  kConditioning,
  kSound,
  kSoundRefill,
  kStreamRecording,
  kPlayback,
  kSpectrum,
  kAutoSnap,
  kOperationTimer,
  kSpectralTrace,
  kAcquisition,
  kWorkerCount,
};

struct RosterEntry {
  Worker worker;
  const char* name;
  ThreadRoutine routine;
  int priority;
};

// Worker threads in the order they are started; the acquisition thread comes
// last so every reader already runs when the first samples arrive.
constexpr RosterEntry kRoster[] = {
    {kGps, "gps", GpsThread, kPriorityBelowNormal},
    {kTransfer, "transfer", FileTransferThread, kPriorityBelowNormal},
    {kDisplay, "display", DisplayThread, kPriorityBelowNormal},
    {kConditioning, "conditioning", ConditioningThread, kPriorityNormal},
    {kSound, "sound", SoundThread, kPriorityAboveNormal},
    {kSoundRefill, "sound-refill", SoundRefillThread, kPriorityTimeCritical},
    {kStreamRecording, "stream-rec", StreamRecordingThread, kPriorityBelowNormal},
    {kPlayback, "playback", PlaybackThread, kPriorityBelowNormal},
    {kSpectrum, "spectrum", SpectrumThread, kPriorityNormal},
    {kAutoSnap, "autosnap", AutoSnapThread, kPriorityBelowNormal},
    {kOperationTimer, "timer", OperationTimerThread, kPriorityBelowNormal},
    {kSpectralTrace, "trace", SpectralTraceThread, kPriorityNormal},
    {kAcquisition, "acquisition", AcquisitionThread, kPriorityTimeCritical},
};
constexpr int kRosterSize = sizeof(kRoster) / sizeof(kRoster[0]);
static_assert(kRosterSize == kWorkerCount, "one roster entry per worker");

constexpr bool RosterInEnumOrder() {
  for (int i = 0; i < kRosterSize; ++i)
    if (kRoster[i].worker != i) return false;
  return true;
}
static_assert(RosterInEnumOrder(), "the roster lists the workers in the order of their names");

// Join order at shutdown: the source of the samples first, then the chain in
// the order the samples flow, the threads that only draw or wait on timers,
// and finally GPS (its waits are bounded; leaving it running while the process
// tears down its objects could crash it).
constexpr Worker kJoinOrder[] = {
    kAcquisition, kConditioning, kSound,          kStreamRecording, kPlayback,  kSpectrum, kDisplay,
    kAutoSnap,    kOperationTimer, kSpectralTrace, kSoundRefill,     kTransfer, kGps,
};

constexpr bool JoinsEveryWorkerOnce() {
  if (sizeof(kJoinOrder) / sizeof(kJoinOrder[0]) != kWorkerCount) return false;
  for (int w = 0; w < kWorkerCount; ++w) {
    int seen = 0;
    for (Worker joined : kJoinOrder) seen += joined == w;
    if (seen != 1) return false;
  }
  return true;
}
static_assert(JoinsEveryWorkerOnce(), "every worker is joined exactly once");

// Conduit roster: capacity and format of each, created in this order.
struct ConduitShape {
  Conduit* conduit;
  uint32_t rate;
  uint16_t block;
  uint16_t bits;
  uint32_t capacity;
};
const ConduitShape kConduits[] = {
    {&conduit1, 250000, 2, 16, 5000000}, {&conduit2, 44100, 4, 32, 176400},
    {&conduit3, 44100, 2, 16, 88200},    {&conduit4, 250000, 4, 32, 1000000},
    {&conduit5, 250000, 4, 32, 1000000},
    {&conduit6, 3906, kSpectrumFrameBytes, kSpectrumFrameBits, 1062432},
    {&conduit7, 3906, kSpectrumFrameBytes, kSpectrumFrameBits, 1062432},
};

void OnSignal(int) { RequestQuit(); }

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a peer that hangs up is an error code, not a crash
}

void PrintWarning(const char* text) { DiagPrint("Warning: %s\n", text); }

// The copies side by side take the USB receivers by their start order; there
// are four. A later copy would share the fourth receiver with the copy that
// has it, and each would get part of its samples.
constexpr int kMaxUsbCopies = 4;

// What the command line names must be usable before anything runs: the
// recording folder (created when missing) and the file to play (a regular
// file: a named pipe would block the station). False after one line saying why.
bool CheckCommandLineFiles(const StationOptions& options) {
  std::string why;
  if (!PrepareRecordFolder(options.recordBasePath, &why)) {
    std::fprintf(stderr, "halvane: --record %s: %s\n", Escaped(options.recordBasePath).c_str(), Escaped(why).c_str());
    return false;
  }
  if (!options.playFile.empty() && !CheckRegularFile(options.playFile, &why)) {
    std::fprintf(stderr, "halvane: --play %s: %s\n", Escaped(options.playFile).c_str(), why.c_str());
    return false;
  }
  return true;
}

void DestroyLocks() {
  DestroyMutexRecord(g_displayLock);
  DestroyMutexRecord(g_streamTimeLock);
  DestroyMutexRecord(g_logLock);
  DestroyMutexRecord(g_fileLock);
  DestroyMutexRecord(g_soundLock);
  g_displayLock = g_streamTimeLock = g_logLock = g_fileLock = g_soundLock = nullptr;
}

}  // namespace

void CreateConduits() {
  for (int i = 0; i < 7; ++i) {
    const ConduitShape& c = kConduits[i];
    g_conduitFormat[i] = MakeWaveFormat(c.rate, 1, c.block, c.bits);
    c.conduit->Create(c.capacity, &g_conduitFormat[i]);
  }
}

int RunStation(const StationOptions& options) {
  if (!CheckCommandLineFiles(options)) return 2;
  InstallSignalHandlers();
  g_headless.store(options.headless, std::memory_order_relaxed);
  g_run.store(true, std::memory_order_relaxed);

  // 1. The five locks.
  g_displayLock = CreateMutexRecord();
  g_streamTimeLock = CreateMutexRecord();
  g_soundLock = CreateMutexRecord();
  g_logLock = CreateMutexRecord();
  g_fileLock = CreateMutexRecord();

  // 2. The time zone comes from tzdata on each conversion (LocalBiasMinutes).
  tzset();

  // 3. Settings and history, then this run's command-line values.
  SetConfigDir(options.configDir.empty() ? DefaultConfigDir() : options.configDir);
  LoadSettingsAndHistory(ConfigDir());
  for (const std::string& assignment : options.settings) {
    std::string error;
    if (!SetSettingFromText(assignment, &error))
      DiagPrint("--set %s: %s; ignored\n", Escaped(assignment).c_str(), Escaped(error).c_str());
  }
  if (options.recordMode) g_settings.MenuRecordMode.store(options.recordMode, std::memory_order_relaxed);

  // 4. Instance index and device name.
  InstanceCounter instances;
  int index = instances.Enter();
  g_instanceIndex.store(index, std::memory_order_relaxed);
  g_instanceOffset.store(32 * index, std::memory_order_relaxed);
  g_deviceName.Set(UsbDeviceNameForIndex(index));

  // 5. Network device name; it replaces the USB one when the network is the default.
  g_networkDeviceName.Set("IP" + g_settings.NetworkIPAddress.Get());
  if (g_settings.NetworkDefaultEnable.load(std::memory_order_relaxed)) g_deviceName.Set(g_networkDeviceName.Get());
  if (!options.device.empty()) g_deviceName.Set(options.device);
  if (index >= kMaxUsbCopies && g_deviceName.Get().rfind("Ezusb-", 0) == 0) {
    std::fprintf(stderr,
                 "halvane: %d copies run already, one on each USB receiver; this copy would share %s with "
                 "another (a network receiver can be chosen with --device IP<address>)\n",
                 index, g_deviceName.Get().c_str());
    instances.Leave();
    DestroyLocks();
    return 2;
  }

  // 6. The window toolkit: a screen when one opens, else headless (status
  //    lines then go to standard output). The application windows and the
  //    status printer follow, both views of the station model.
  XsToolkitInit(!options.headless);
  if (XsGetBackend() == kXsBackendHeadless) g_headless.store(true, std::memory_order_relaxed);
  g_drawingSeen.store(!g_headless.load(std::memory_order_relaxed), std::memory_order_relaxed);
  CreateWindowSet();
  PrintModelChanges();
  for (int menuId : options.showWindows) ShowToolWindow(menuId);

  // 7-8. Conduits, then the sound event.
  CreateConduits();
  g_soundEvent.Reset();

  if (g_headless.load(std::memory_order_relaxed))
    std::printf("Halvane instance %d, device %s\n", index, g_deviceName.Get().c_str()), std::fflush(stdout);

  // 9. Worker threads (the sound thread opens the audio back end chosen here);
  //    --record turns Record on once the recorders run.
  SetAudioBackend(options.audio);
  PrepareRecording(options.recordBasePath);
  SetSnapshotFinishedHook(WriteSnapshotPicture);  // a picture beside each finished snapshot
  ThreadRecord* threads[kWorkerCount] = {};
  for (const RosterEntry& entry : kRoster)
    threads[entry.worker] = StartThread(entry.routine, entry.priority, entry.name);
  // Command line: replay a file through the Playback window, as if chosen there.
  // A recording asked for beside it starts with the replay's first sample.
  if (options.playFile.empty()) {
    StartRecordingFromCommandLine(options.recordBasePath);
  } else {
    g_playback.recordFromStart.store(!options.recordBasePath.empty(), std::memory_order_relaxed);
    g_playback.endRunOnFailure.store(g_headless.load(std::memory_order_relaxed), std::memory_order_relaxed);
    if (!StartPlaybackFromCommandLine(options.playFile, options.loop, options.timebase))
      g_playback.recordFromStart.store(false, std::memory_order_relaxed);
  }

  // 10. The message loop until XsQuit, a quit request or the end of --run-for.
  XsMessageLoopFor(options.runForSeconds);

  // Shutdown. Recordings in progress are closed and renamed first.
  RunShutdownPreparations();
  g_run.store(false, std::memory_order_relaxed);
  for (Conduit* c : {&conduit1, &conduit2, &conduit3, &conduit4, &conduit5, &conduit6, &conduit7}) c->Wake();
  g_soundEvent.Signal();
  for (Worker worker : kJoinOrder) {
    ReleaseThread(threads[worker]);
    threads[worker] = nullptr;
  }
  instances.Leave();
  SaveSettingsAndHistory(ConfigDir(), PrintWarning);
  DestroyLocks();
  // The replay asked for on the command line failed: the run did not do its job.
  if (!options.playFile.empty() && g_playback.failures.load(std::memory_order_relaxed) > 0) return 1;
  return 0;
}

}  // namespace hv
