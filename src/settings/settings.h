// The user's settings and history: process-wide values with built-in defaults,
// loaded once at start-up and saved at shutdown and on File/Save Settings.
// Numbers and switches are atomics (read relaxed by any thread); texts are
// SharedText. The tables in settings.cpp (SettingsTable, HistoryTable) list
// every value in the order it is read and saved, with its encoding and checks.
#pragma once

#include <atomic>
#include <string>

#include "core/station_state.h"

namespace hv {

// Record modes (MenuRecordMode).
enum RecordMode : int { kModeAudio = 1, kModeContinuous = 2, kModeAutoSnap = 3, kModeBufferedSnap = 4 };

struct Settings {
  std::atomic<bool> MenuPrefilter{false};       // response compensation on
  std::atomic<int> MenuRecordMode{kModeContinuous};
  std::atomic<float> AudioVolume{32.0f};        // stored as volume x 2
  std::atomic<bool> AudioOn{true};              // stored value > 2
  std::atomic<int> TimeStandard{0};             // 0 UTC, 1 local time
  std::atomic<bool> SnapAutoTrigger{true};
  std::atomic<float> SnapAutoThreshold{18.0f};  // dB above the noise floor
  std::atomic<float> SnapFilterLowFreq{18000.0f};
  std::atomic<float> SnapFilterHighFreq{120000.0f};
  std::atomic<bool> PopFilterEnable{true};
  std::atomic<int> SnapTimeExpand{10};
  std::atomic<int> OutputFileFormat{0};         // 0 WAV, non-zero WavPack
  std::atomic<int> SnapDurationMS{1000};
  std::atomic<int> UserDurationMS{5000};
  std::atomic<bool> UserDurationValid{true};    // the entered user duration is valid
  std::atomic<bool> SnapIdleTimeoutEnable{false};
  std::atomic<int> SnapIdleTimeoutMS{3000};
  std::atomic<float> SonoThreshold{20.0f};
  std::atomic<int> SonoDetail{4};
  std::atomic<int> SonoDivisions{3};
  std::atomic<float> SonoBrightness{50.0f};
  std::atomic<float> SonoContrast{50.0f};
  std::atomic<bool> SonoMarker1Enable{false};
  std::atomic<float> SonoMarker1Frequency{75000.0f};  // Hz, stored in 100 Hz units
  std::atomic<bool> SonoMarker2Enable{false};
  std::atomic<float> SonoMarker2Frequency{25000.0f};
  std::atomic<bool> GuanoMetadata{true};     // recordings carry GUANO metadata
  std::atomic<bool> SnapshotPictures{false};  // a spectrogram picture beside each snapshot
  std::atomic<bool> CallDetection{true};     // snapshots' calls counted into GUANO and the daily log
  std::atomic<float> TuneFrequency{40000.0f};
  std::atomic<bool> PowerSaverEnable{true};
  std::atomic<bool> Program1Enable{false};
  std::atomic<bool> Program2Enable{false};
  SharedText Pgm1StartTime, Pgm1StopTime, Pgm2StartTime, Pgm2StopTime;
  std::atomic<bool> FileTransferEnable{false};
  std::atomic<bool> FileTransferDuringIdle{false};
  std::atomic<bool> FileTransferLoginEnable{false};
  std::atomic<bool> FileTransferArchiveEnable{false};
  SharedText FTPHostName, FTPUserName, FTPPassWord, NetworkIPAddress;
  std::atomic<bool> NetworkDefaultEnable{false};
};

struct History {
  SharedText InputDirectory, OutputDirectory, ArchiveDirectory;
  SharedText Pgm1Directory, Pgm1FileName, Pgm1Comment;
  SharedText Pgm2Directory, Pgm2FileName, Pgm2Comment;
  SharedText FTPRootDirectory;
};

extern Settings g_settings;
extern History g_history;

// Puts every value back to its default (tests; start-up uses the defaults as built).
void ResetSettingsToDefaults();

// Loads from / saves to the registry store in `configDir` (see registry_store.h).
// Load creates both keys when missing. Save reports write failures through
// `warn` (the two warning texts) and returns false when any write failed.
void LoadSettingsAndHistory(const std::string& configDir);
// The load itself, from a store already read: each value is checked (type,
// range, a time of day where one belongs), and a refused one is reported and
// left at its default.
class RegistryStore;
void LoadSettingsFromStore(RegistryStore& store);
bool SaveSettingsAndHistory(const std::string& configDir, void (*warn)(const char* text) = nullptr);

// Sets one value by its registry name from a command-line text ("SonoThreshold=33").
// Numbers take the stored encoding (AudioVolume 64 is volume 32; marker
// frequencies in 100 Hz units). Returns false with `error` set when the name is
// unknown or the value is refused (the same checks as at load).
bool SetSettingFromText(const std::string& assignment, std::string* error);

// The folder the store lives in when the command line names none:
// $XDG_CONFIG_HOME/halvane, else ~/.config/halvane, else .halvane in the
// working folder (no HOME either).
std::string DefaultConfigDir();

// The configuration folder of this run, where the store is loaded from and
// saved to: set once at start-up (the command line's folder, else
// DefaultConfigDir()) before the windows and workers start; empty until then.
void SetConfigDir(const std::string& dir);
std::string ConfigDir();

}  // namespace hv
