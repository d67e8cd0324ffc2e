// The station model: what the station knows and shows, kept below the windows.
// Workers write their status texts and values here and read the recording
// context (the comment, the GPS fix) from here; the windows and the headless
// status printer are views: they subscribe to changes, show what changed, and
// write the user's edits back with SetText.
//
// Threads: every item may be written and read from any thread. An item's new
// value is stored and its listeners are told under that item's own lock, so a
// view sees one item's changes in the order they were made. Every write tells
// the listeners, also when the value is unchanged (events such as a receiver
// notice are writes of the same value). Listeners run synchronously on the
// writing thread and only hand the value they are given on (set a toolkit
// record, post to the main thread, print a line): they never wait and never
// read or write the model.
#pragma once

#include <functional>
#include <string>

namespace hv {

enum class ModelItem : int {
  // Texts.
  kRecordComment,    // the recording comment (Record Setup; the timer and a chosen file set it)
  kRecordStatus,     // "Status : ..." of the recorders
  kRecordFile,       // the file the recorders write now
  kDeviceText,       // the receiver as the main window names it
  kGpsDevice,        // the GPS receiver's product line
  kGpsLatitude,      // degrees, "%3.6f"
  kGpsLongitude,     // degrees, "%3.6f"
  kGpsAltitude,      // metres, "%6.1f"
  kGpsFix,           // "GPS Fix: ..."; "GPS Fix: none" without a fix
  kGpsSatellite1,    // six satellite lines follow one another
  kGpsSatellite6 = kGpsSatellite1 + 5,
  kTransferStatus,   // the upload worker's status line
  kTimerClock,       // the operation timer's clock, "hh:mm:ss"
  kTimerStatus,      // "IDLE", "ACTIVE - Program n", "Power Saver Mode"
  kTimerStart1,      // the programs' times and comments as the user entered them
  kTimerStop1,
  kTimerComment1,
  kTimerStart2,
  kTimerStop2,
  kTimerComment2,
  // Numbers.
  kAudioLevel,          // the audio level meter, 0..100
  kReceiverFound,       // event: 1 a receiver was found, 0 none or lost
  kPowerSaveTitles,     // event: the power saver marks the titles (1 entering, 0 leaving)
  kGpsFixUsable,        // 1 when the fix is 2D or 3D
  kGpsSatelliteHeard1,  // 1 when satellite line n has a signal; six follow one another
  kGpsSatelliteHeard6 = kGpsSatelliteHeard1 + 5,
  kTimerProgramsEntered,  // 1 once the Operation Timer window entered the programs' texts
  kCount,
};

constexpr bool IsTextItem(ModelItem item) { return item < ModelItem::kAudioLevel; }
constexpr ModelItem operator+(ModelItem item, int n) { return static_cast<ModelItem>(static_cast<int>(item) + n); }

// Runs on the writing thread, under the item's lock: `text` for a text item,
// `number` for a number item (the other is "" or 0).
using ModelListener = std::function<void(ModelItem item, const std::string& text, int number)>;

// The texts and numbers of the station, each starting at what the windows show
// before anything happened ("Status : Inactive", "GPS Fix: none", ...).
std::string ModelText(ModelItem item);
void SetModelText(ModelItem item, const std::string& text);
int ModelNumber(ModelItem item);
void SetModelNumber(ModelItem item, int number);

// Adds a listener for every item; returns its handle. Unsubscribing waits for
// notifications in progress, so the listener's state may go once it returns
// (never subscribe or unsubscribe from inside a listener).
int SubscribeToModel(ModelListener listener);
void UnsubscribeFromModel(int handle);

// Every item back to its starting value, without telling listeners (tests).
void ResetModel();

}  // namespace hv
