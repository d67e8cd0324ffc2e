#include "model/status_printer.h"

#include <array>
#include <mutex>
#include <string>

#include "core/status_print.h"

namespace hv {

std::string StatusLineFor(ModelItem item, const std::string& text, const std::string& last) {
  switch (item) {
    case ModelItem::kRecordStatus: return "Record " + text;
    case ModelItem::kRecordFile: return "Record file : " + text;
    case ModelItem::kTimerStatus: return "Timer status: " + text;
    case ModelItem::kGpsDevice:
    case ModelItem::kGpsFix: return text == last ? std::string() : "GPS " + text;
    case ModelItem::kTransferStatus: return text == last ? std::string() : "Transfer status: " + text;
    default: return std::string();
  }
}

void PrintModelChanges() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Each item's last text; touched only under that item's lock, in the listener.
    static std::array<std::string, static_cast<size_t>(ModelItem::kCount)> last;
    SubscribeToModel([](ModelItem item, const std::string& text, int) {
      if (!IsTextItem(item)) return;
      std::string& previous = last[static_cast<size_t>(item)];
      std::string line = StatusLineFor(item, text, previous);
      previous = text;
      if (!line.empty()) StatusPrint("%s", line.c_str());
    });
  });
}

}  // namespace hv
