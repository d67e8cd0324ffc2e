#include "model/station_model.h"

#include <array>
#include <atomic>
#include <cassert>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

namespace hv {

namespace {

constexpr int kItems = static_cast<int>(ModelItem::kCount);

// The texts the windows show before anything happened.
const char* StartingText(ModelItem item) {
  switch (item) {
    case ModelItem::kRecordComment: return "<no comment>";
    case ModelItem::kRecordStatus: return "Status : Inactive";
    case ModelItem::kGpsDevice: return "<No Device Found>";
    case ModelItem::kGpsLatitude:
    case ModelItem::kGpsLongitude:
    case ModelItem::kGpsAltitude: return "0.000000";
    case ModelItem::kGpsFix: return "GPS Fix: none";
    case ModelItem::kTransferStatus: return "IDLE";
    case ModelItem::kTimerClock: return "00:00:00";
    case ModelItem::kTimerStatus: return "IDLE";
    default: break;
  }
  if (item >= ModelItem::kGpsSatellite1 && item <= ModelItem::kGpsSatellite6) return "--";
  return "";
}

struct Item {
  std::mutex lock;  // held while the value changes and the listeners are told
  std::string text;
  std::atomic<int> number{0};
};

struct Model {
  Model() { Reset(); }
  void Reset() {
    for (int i = 0; i < kItems; ++i) {
      std::lock_guard<std::mutex> guard(items[i].lock);
      items[i].text = StartingText(static_cast<ModelItem>(i));
      items[i].number.store(0, std::memory_order_relaxed);
    }
  }
  std::array<Item, kItems> items;
  std::shared_mutex listenersLock;  // shared while telling, exclusive while changing the list
  std::vector<std::pair<int, ModelListener>> listeners;
  int nextHandle = 1;
};

Model& TheModel() {
  static Model model;
  return model;
}

Item& At(ModelItem item) {
  assert(item >= ModelItem::kRecordComment && item < ModelItem::kCount);
  return TheModel().items[static_cast<int>(item)];
}

// Caller holds the item's lock.
void Tell(ModelItem item, const std::string& text, int number) {
  Model& model = TheModel();
  std::shared_lock<std::shared_mutex> guard(model.listenersLock);
  for (auto& entry : model.listeners) entry.second(item, text, number);
}

}  // namespace

std::string ModelText(ModelItem item) {
  assert(IsTextItem(item));
  Item& it = At(item);
  std::lock_guard<std::mutex> guard(it.lock);
  return it.text;
}

void SetModelText(ModelItem item, const std::string& text) {
  assert(IsTextItem(item));
  Item& it = At(item);
  std::lock_guard<std::mutex> guard(it.lock);
  it.text = text;
  Tell(item, text, 0);
}

int ModelNumber(ModelItem item) {
  assert(!IsTextItem(item));
  return At(item).number.load(std::memory_order_relaxed);
}

void SetModelNumber(ModelItem item, int number) {
  assert(!IsTextItem(item));
  Item& it = At(item);
  std::lock_guard<std::mutex> guard(it.lock);
  it.number.store(number, std::memory_order_relaxed);
  Tell(item, std::string(), number);
}

int SubscribeToModel(ModelListener listener) {
  Model& model = TheModel();
  std::unique_lock<std::shared_mutex> guard(model.listenersLock);
  int handle = model.nextHandle++;
  model.listeners.emplace_back(handle, std::move(listener));
  return handle;
}

void UnsubscribeFromModel(int handle) {
  Model& model = TheModel();
  std::unique_lock<std::shared_mutex> guard(model.listenersLock);
  for (auto it = model.listeners.begin(); it != model.listeners.end(); ++it) {
    if (it->first == handle) {
      model.listeners.erase(it);
      return;
    }
  }
}

void ResetModel() { TheModel().Reset(); }

}  // namespace hv
