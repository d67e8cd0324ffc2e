// The acquisition thread: finds the receiver named by the device name, opens it
// through whichever interface accepts the name (EZ-USB driver, libusb, network,
// in that order), identifies the model from its product text and moves every
// block it delivers into conduit1. Recovers by itself from the loss of the
// receiver, a change of the device name, power save and playback.
//
// A receiver that keeps dropping (connections lost before they deliver for a
// second) is opened again after growing pauses (ReconnectBackoff) and said to
// be dropping once per streak; every loss publishes the not-found notice, and the
// found notice follows again once samples flow.
//
// A network receiver is read in receives of all the socket holds (up to
// kNetReceiveBytes), once every kNetWakeMs while the stream flows; a USB
// receiver in reads of about kUsbWakeMs of its stream (1024 bytes at least),
// three kept outstanding.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "core/status_print.h"
#include "core/worker_routines.h"
#include "devices/libusb_interface.h"
#include "devices/model_table.h"
#include "devices/mrw_interface.h"
#include "devices/net_interface.h"
#include "devices/receiver_ids.h"
#include "devices/reconnect_backoff.h"
#include "devices/sample_feed.h"
#include "model/station_model.h"

namespace hv {

namespace {

constexpr uint32_t kUsbReadUnit = 1024;   // USB reads are whole multiples of this (512 samples)
constexpr uint32_t kUsbWakeMs = 8;        // the stream gathered by one USB read (latency bound)
constexpr uint32_t kRecordBytes = 16384;  // room of each request record: the largest read
constexpr int kRecords = 4;              // ring of request records, three kept outstanding
constexpr int kCompletionWaitMs = 100;   // a USB block later than this is the loss of the receiver
constexpr int kTextChars = 64;           // identification texts, terminator included
constexpr uint32_t kNetReceiveBytes = 65536;  // most taken from the socket in one receive
constexpr int kNetWakeMs = 8;                 // the read period of a flowing stream (latency bound)

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct RequestRecord {
  EzusbCompletion completion;  // event and byte count of an EZ-USB read
  uint32_t count = 0;
  void* context = nullptr;     // libusb request context
  alignas(8) uint8_t buffer[kRecordBytes] = {};
};

enum State : int {
  kEzusbStart = 0, kEzusbRun = 1, kEzusbLost = 2,
  kLibusbStart = 3, kLibusbRun = 4, kLibusbLost = 5,
  kNetStart = 6, kNetRun = 7, kNetLost = 8,
};

class Acquisition {
 public:
  Acquisition() : openedName_(g_deviceName.Get()), feed_(&conduit1) {}

  // One pass of the loop.
  void Pass() {
    // Conduit1 changes hands: while the playback mode is on, or while no
    // receiver is open, this thread does not write conduit1 and gives up its
    // writer's turn, which the playback thread waits for. Acquire pairs with
    // the release that turns the mode off after the playback thread gave up
    // its own turn.
    if (g_playbackActive.load(std::memory_order_acquire) || !(ezOpen_ || usbOpen_ || netOpen_))
      conduit1.EndWriterTurn();
    if (g_powerSave.load(std::memory_order_relaxed)) {
      if (ezOpen_) CloseEzusb();
      else if (usbOpen_) CloseLibusb();
      else if (netOpen_) CloseNetwork();
      backoff_.Reset();
      // Power save lasts minutes to hours: look at the switch 20 times a second.
      SleepSeconds(0.05);
      return;
    }
    if (!ezOpen_ && !usbOpen_ && !netOpen_) {
      if (WaitingToReopen()) return;
      OpenReceiver();
      return;
    }
    std::string name = g_deviceName.Get();
    if (name != openedName_) {
      CloseAll();
      backoff_.Reset();
      openedName_ = name;
      return;
    }
    Step();
    if (g_playbackActive.load(std::memory_order_relaxed)) feed_.RequestAnnounce();
  }

  // At the end of the thread: nothing stays outstanding or open.
  void End() { CloseAll(); }

 private:
  // In a streak of drops, the pause before the next open: sleeps a slice of it
  // (at most a second, so power save and the run flag are seen) and returns
  // true while it lasts. Another device name ends the pause and the streak.
  bool WaitingToReopen() {
    if (!backoff_.InStreak()) return false;
    if (g_deviceName.Get() != streakName_) {
      backoff_.Reset();
      return false;
    }
    double left = reopenAt_ - SteadySeconds();
    if (left <= 0) return false;
    SleepWhileRunning(left < 1.0 ? left : 1.0);
    return true;
  }

  // A connection ended by the receiver, not by us. `reason` says how.
  void ConnectionLost(const char* reason) {
    feed_.EndOverrunStreak();
    bool delivered = backoff_.HasDelivered();
    reopenAt_ = backoff_.Lost(SteadySeconds());
    int drops = backoff_.drops();
    if (drops == 1) {
      StatusPrint("receiver lost (%s%s): reconnecting", reason, delivered ? "" : ", before any samples");
      Notice(false, "");
    } else if (drops == 2) {
      StatusPrint("receiver keeps dropping the connection (%s): reconnecting after %.0f s, then waiting longer each "
                  "time, up to %.0f s, until it delivers samples",
                  reason, ReconnectBackoff::PauseAfter(2), ReconnectBackoff::kLongestPauseSeconds);
    }
  }

  void OpenReceiver() {
    std::string name = g_deviceName.Get();
    char manufacturer[kTextChars] = {}, product[kTextChars] = {};
    if (ez_.openOverlapped(name.c_str())) {
      ezOpen_ = true;
      if (!ez_.getStringDescriptor(1, manufacturer, kTextChars)) manufacturer[0] = 0;
      if (!ez_.getStringDescriptor(2, product, kTextChars)) product[0] = 0;
      state_ = kEzusbStart;
    } else if (usb_.find(name.c_str()) && usb_.open(name.c_str())) {
      usbOpen_ = true;
      if (!usb_.getString(1, manufacturer, kTextChars)) manufacturer[0] = 0;
      if (!usb_.getString(2, product, kTextChars)) product[0] = 0;
      state_ = kLibusbStart;
    } else if (net_.open(name.c_str())) {
      netOpen_ = true;
      net_.getString(1, manufacturer, kTextChars);
      net_.getString(2, product, kTextChars);
      state_ = kNetStart;
    } else {
      // The notice goes out before the pause, so a lost receiver is reported at once.
      Notice(false, "");
      SleepWhileRunning(1.0);
      return;
    }
    g_manufacturerText.Set(manufacturer);
    g_productText.Set(product);
    product_ = product;
    streakName_ = name;
    backoff_.Opened(SteadySeconds());
    // In a streak of drops the receiver counts as found again only once it delivers.
    if (!backoff_.InStreak()) Notice(true, product);

    ReceiverModel model = LookUpReceiverModel(product);
    g_deviceSampleRate.store(model.sampleRate, std::memory_order_relaxed);
    g_deviceChannels.store(model.channels, std::memory_order_relaxed);
    g_receiverLevelOffset.store(ReceiverLevelOffset(product), std::memory_order_relaxed);
    uint16_t block = static_cast<uint16_t>(2 * model.channels);
    WaveFormat format =
        MakeWaveFormat(static_cast<uint32_t>(model.sampleRate), static_cast<uint16_t>(model.channels), block, 16);
    feed_.Start(format);
    uint64_t usbRead = uint64_t{format.avgBytesPerSec} * kUsbWakeMs / 1000;
    usbRead = (usbRead + kUsbReadUnit - 1) / kUsbReadUnit * kUsbReadUnit;
    usbRead_ = static_cast<uint32_t>(usbRead < kUsbReadUnit ? kUsbReadUnit : usbRead < kRecordBytes ? usbRead : kRecordBytes);
    if (netOpen_)
      net_.setReadCadence(kNetWakeMs, static_cast<int>(uint64_t{format.avgBytesPerSec} * kNetWakeMs / 1000));
    next_ = 0;
  }

  // Publishes the device text and the found (1) or not-found (0) notice in the
  // station model (the main window shows the text and retitles its windows at
  // each notice); without a screen, one status line per change.
  void Notice(bool found, const std::string& product) {
    SetModelText(ModelItem::kDeviceText, found ? product : "<No device found>");
    SetModelNumber(ModelItem::kReceiverFound, found ? 1 : 0);
    std::string line = found ? "receiver found: " + product : "no receiver";
    if (line == lastLine_) return;
    lastLine_ = line;
    StatusPrint("%s", line.c_str());
  }

  void Step() {
    switch (state_) {
      case kEzusbStart: {
        int issued = 0;
        while (issued < 3 && ez_.asyncBulkRead(records_[issued].buffer, usbRead_, &records_[issued].completion))
          ++issued;
        next_ = issued;
        state_ = issued == 3 ? kEzusbRun : kEzusbLost;
        break;
      }
      case kEzusbRun: {
        if (!ez_.asyncBulkRead(records_[next_].buffer, usbRead_, &records_[next_].completion)) {
          state_ = kEzusbLost;
          break;
        }
        next_ = (next_ + 1) % kRecords;
        RequestRecord& r = records_[next_];
        // A failed completion is a lost receiver as much as a missing one.
        if (!r.completion.event.Wait(kCompletionWaitMs) || !r.completion.ok.load()) {
          state_ = kEzusbLost;
          break;
        }
        r.count = r.completion.bytes.load();
        Deliver(r.buffer, r.count, true);
        break;
      }
      case kEzusbLost:
        ConnectionLost("no block within 100 ms, or a read failed");
        CloseEzusb();
        state_ = kEzusbStart;
        break;
      case kLibusbStart: {
        int submitted = 0;
        for (; submitted < 3; ++submitted) {
          RequestRecord& r = records_[submitted];
          if (!r.context && !usb_.setupRequest(&r.context, kReceiverBulkInEndpoint)) break;
          if (!usb_.submitRequest(r.context, reinterpret_cast<char*>(r.buffer), usbRead_)) break;
          r.count = usbRead_;
        }
        if (submitted == 3 && !records_[3].context) usb_.setupRequest(&records_[3].context, kReceiverBulkInEndpoint);
        next_ = submitted;
        state_ = submitted == 3 ? kLibusbRun : kLibusbLost;
        break;
      }
      case kLibusbRun: {
        RequestRecord& issue = records_[next_];
        if (!issue.context || !usb_.submitRequest(issue.context, reinterpret_cast<char*>(issue.buffer), usbRead_)) {
          state_ = kLibusbLost;
          break;
        }
        next_ = (next_ + 1) % kRecords;
        RequestRecord& r = records_[next_];
        int transferred = 0;
        if (!usb_.reapRequest(r.context, kCompletionWaitMs, &transferred)) {
          state_ = kLibusbLost;
          break;
        }
        // Only the bytes actually transferred are samples.
        r.count = static_cast<uint32_t>(transferred);
        Deliver(r.buffer, r.count, true);
        break;
      }
      case kLibusbLost:
        ConnectionLost("no block within 100 ms, or a request failed");
        CloseLibusb();
        state_ = kLibusbStart;
        break;
      case kNetStart:
      case kNetRun: {
        if (netBuffer_.empty()) netBuffer_.resize(kNetReceiveBytes);
        int size = static_cast<int>(netBuffer_.size());
        int count = 0;
        if (net_.receive(netBuffer_.data(), size, &count)) {
          Deliver(netBuffer_.data(), static_cast<uint32_t>(count), false);
          state_ = kNetRun;
        } else if (net_.lost()) {
          state_ = kNetLost;
        }
        break;
      }
      case kNetLost:
        ConnectionLost(net_.lostReason());
        CloseNetwork();
        state_ = kNetStart;
        break;
      default:
        state_ = kEzusbStart;
        break;
    }
  }

  void Deliver(const uint8_t* bytes, uint32_t count, bool usb) {
    if (count == 0) return;
    if (!backoff_.Healthy()) {
      if (backoff_.InStreak() && !backoff_.HasDelivered()) Notice(true, product_);
      if (backoff_.Delivered(SteadySeconds()) && backoff_.EndedStreak() > 1)
        StatusPrint("receiver delivers again after %d dropped connections", backoff_.EndedStreak());
    }
    // Only with conduit1's writer's turn: a replay that holds it keeps the
    // receiver's blocks out even when the flag has just fallen and risen again.
    const bool playing = g_playbackActive.load(std::memory_order_acquire);
    feed_.Deliver(bytes, count, usb, playing || !conduit1.TakeWriterTurn());
  }

  void CloseEzusb() {
    feed_.EndOverrunStreak();
    // The driver completes every outstanding read as failed before the close returns.
    ez_.close();
    ezOpen_ = false;
  }

  // Every libusb close reaps and frees what is outstanding first, so no request
  // survives its device or writes into a record after the close.
  void CloseLibusb() {
    feed_.EndOverrunStreak();
    for (RequestRecord& r : records_) {
      if (!r.context) continue;
      usb_.reapRequest(r.context, kCompletionWaitMs);
      usb_.freeRequest(&r.context);
      r.context = nullptr;
    }
    usb_.close();
    usbOpen_ = false;
  }

  void CloseNetwork() {
    feed_.EndOverrunStreak();
    net_.close();
    netOpen_ = false;
  }

  void CloseAll() {
    if (ezOpen_) CloseEzusb();
    if (usbOpen_) CloseLibusb();
    if (netOpen_) CloseNetwork();
  }

  MRWInterface ez_;
  libUSBInterface usb_;
  NetInterface net_;
  bool ezOpen_ = false, usbOpen_ = false, netOpen_ = false;
  std::string openedName_;
  int state_ = kEzusbStart;
  int next_ = 0;
  uint32_t usbRead_ = kUsbReadUnit;  // bytes of each USB read, by the receiver's stream rate
  SampleFeed feed_;
  RequestRecord records_[kRecords];
  std::vector<uint8_t> netBuffer_;
  std::string lastLine_;
  std::string product_;      // product text of the receiver open now
  ReconnectBackoff backoff_;
  double reopenAt_ = 0;      // steady seconds: in a streak, no open before this
  std::string streakName_;   // the device name last opened: the one a streak is about
};

}  // namespace

// Runs on the acquisition thread (time-critical) until the run flag falls.
int AcquisitionThread(void*) {
  auto* acquisition = new Acquisition;
  while (IsRunning()) acquisition->Pass();
  acquisition->End();
  delete acquisition;
  return 0;
}

}  // namespace hv
