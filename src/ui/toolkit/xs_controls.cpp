// Control operations on the toolkit's records. Every call takes the window's
// record lock for a short moment and returns; any thread may call them. A
// missing window or control id fails and changes nothing.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <strings.h>

#include "ui/toolkit/xs_records.h"

using namespace xs;

namespace xs {

ControlRecord* FindControl(XsWindow* w, int id) {
  for (auto& c : w->rec.controls)
    if (c->id == id) return c.get();
  return nullptr;
}

}  // namespace xs

namespace {

std::atomic<uint64_t> s_nextSerial{1};

// Runs `change` on the control under the record lock; the screen is told when
// it returns true.
template <typename F>
bool Change(XsWindow* w, int id, F change) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  ControlRecord* c = FindControl(w, id);
  if (!c) return false;
  if (!change(*c)) return false;
  c->version++;
  RecordsChanged(w);
  return true;
}

template <typename F>
auto Read(XsWindow* w, int id, F read, decltype(read(std::declval<ControlRecord&>())) missing) {
  if (!w) return missing;
  std::lock_guard<std::mutex> g(w->rec.lock);
  ControlRecord* c = FindControl(w, id);
  if (!c) return missing;
  return read(*c);
}

bool IsList(const ControlRecord& c) { return c.kind == kXsList || c.kind == kXsCombo; }

bool CopyOut(const std::string& text, char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return false;
  size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return true;
}

}  // namespace

bool XsControlCreate(XsWindow* w, int id, int kind) {
  if (!w || kind < kXsStatic || kind > kXsList) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  auto& list = w->rec.controls;
  // An id that already exists loses its old control first.
  list.erase(std::remove_if(list.begin(), list.end(), [id](const auto& c) { return c->id == id; }), list.end());
  auto c = std::make_unique<ControlRecord>();
  c->id = id;
  c->kind = kind;
  c->serial = s_nextSerial.fetch_add(1, std::memory_order_relaxed);
  list.push_back(std::move(c));
  RecordsChanged(w);
  return true;
}

bool XsControlMove(XsWindow* w, int id, int x, int y) {
  return Change(w, id, [&](ControlRecord& c) { return c.x = x, c.y = y, true; });
}

bool XsControlResize(XsWindow* w, int id, int width, int height) {
  if (width < 0 || height < 0) return false;
  return Change(w, id, [&](ControlRecord& c) { return c.width = width, c.height = height, true; });
}

bool XsControlShow(XsWindow* w, int id) {
  return Change(w, id, [](ControlRecord& c) { return c.shown = true; });
}

bool XsControlHide(XsWindow* w, int id) {
  return Change(w, id, [](ControlRecord& c) { return c.shown = false, true; });
}

bool XsControlEnable(XsWindow* w, int id) {
  return Change(w, id, [](ControlRecord& c) { return c.enabled = true; });
}

bool XsControlDisable(XsWindow* w, int id) {
  return Change(w, id, [](ControlRecord& c) { return c.enabled = false, true; });
}

bool XsControlIsEnabled(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.enabled; }, false);
}

bool XsControlIsShown(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.shown; }, false);
}

bool XsControlSetText(XsWindow* w, int id, const char* text) {
  if (!text) return false;
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  ControlRecord* c = FindControl(w, id);
  if (!c) return false;
  if (c->text == text) return true;  // status texts are set often, mostly unchanged
  c->text = text;
  c->version++;
  RecordsChanged(w);
  return true;
}

bool XsControlGetText(XsWindow* w, int id, char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return false;
  return Read(w, id, [&](ControlRecord& c) { return CopyOut(c.text, buffer, capacity); }, false);
}

std::vector<int> XsControlIds(XsWindow* w) {
  std::vector<int> ids;
  if (!w) return ids;
  std::lock_guard<std::mutex> g(w->rec.lock);
  for (const auto& c : w->rec.controls) ids.push_back(c->id);
  return ids;
}

bool XsControlGetRect(XsWindow* w, int id, int* kind, int* x, int* y, int* width, int* height) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  const ControlRecord* c = FindControl(w, id);
  if (!c) return false;
  *kind = c->kind, *x = c->x, *y = c->y, *width = c->width, *height = c->height;
  return true;
}

std::string XsControlText(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.text; }, std::string());
}

bool XsCheckSet(XsWindow* w, int id, bool state) {
  return Change(w, id, [&](ControlRecord& c) { return c.check = state, true; });
}

bool XsCheckGet(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.check; }, false);
}

bool XsSliderSetRange(XsWindow* w, int id, int maximum) {
  return Change(w, id, [&](ControlRecord& c) {
    if (c.kind != kXsSlider || maximum < 1) return false;
    c.sliderMin = 1;
    c.sliderMax = maximum;
    c.sliderPos = std::clamp(c.sliderPos, c.sliderMin, c.sliderMax);
    return true;
  });
}

bool XsSliderSetPosition(XsWindow* w, int id, int position) {
  return Change(w, id, [&](ControlRecord& c) {
    if (c.kind != kXsSlider) return false;
    c.sliderPos = std::clamp(position, c.sliderMin, c.sliderMax);
    return true;
  });
}

int XsSliderGetPosition(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.kind == kXsSlider ? c.sliderPos : -1; }, -1);
}

bool XsProgressSet(XsWindow* w, int id, int value) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  ControlRecord* c = FindControl(w, id);
  if (!c || c->kind != kXsProgress) return false;
  int v = std::clamp(value, 0, 100);
  if (c->progress == v) return true;
  c->progress = v;
  c->version++;
  RecordsChanged(w);
  return true;
}

int XsProgressGet(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return c.kind == kXsProgress ? c.progress : -1; }, -1);
}

bool XsListAdd(XsWindow* w, int id, const char* text) {
  if (!text) return false;
  return Change(w, id, [&](ControlRecord& c) {
    if (!IsList(c)) return false;
    if (c.kind == kXsCombo) {
      c.items.push_back(text);
      return true;
    }
    // List boxes keep their items sorted, case-insensitively; the selected item stays selected.
    auto at = std::upper_bound(c.items.begin(), c.items.end(), std::string(text),
                               [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    int index = static_cast<int>(at - c.items.begin());
    c.items.insert(at, text);
    if (c.selected >= index) c.selected++;
    return true;
  });
}

int XsListCount(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return IsList(c) ? static_cast<int>(c.items.size()) : -1; }, -1);
}

int XsListGetSelected(XsWindow* w, int id) {
  return Read(w, id, [](ControlRecord& c) { return IsList(c) ? c.selected : -1; }, -1);
}

bool XsListSelect(XsWindow* w, int id, int index) {
  return Change(w, id, [&](ControlRecord& c) {
    if (!IsList(c) || index < -1 || index >= static_cast<int>(c.items.size())) return false;
    c.selected = index;
    return true;
  });
}

bool XsListGetText(XsWindow* w, int id, int index, char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return false;
  return Read(w, id, [&](ControlRecord& c) {
    if (!IsList(c) || index < 0 || index >= static_cast<int>(c.items.size())) return false;
    const std::string& t = c.items[index];
    if (t.size() + 1 > static_cast<size_t>(capacity)) return false;
    return CopyOut(t, buffer, capacity);
  }, false);
}

int XsListFind(XsWindow* w, int id, const char* text) {
  if (!text) return -1;
  return Read(w, id, [&](ControlRecord& c) {
    if (!IsList(c)) return -1;
    for (size_t i = 0; i < c.items.size(); ++i)
      if (strcasecmp(c.items[i].c_str(), text) == 0) return static_cast<int>(i);
    return -1;
  }, -1);
}

bool XsListClear(XsWindow* w, int id) {
  return Change(w, id, [](ControlRecord& c) {
    if (!IsList(c)) return false;
    c.items.clear();
    c.selected = -1;
    return true;
  });
}

bool XsListMoveItem(XsWindow* w, int id, int from, int to) {
  return Change(w, id, [&](ControlRecord& c) {
    int n = static_cast<int>(c.items.size());
    if (c.kind != kXsList || from < 0 || from >= n || to < -1 || to > n) return false;
    if (to == -1) to = n;
    std::string item = std::move(c.items[from]);
    c.items.erase(c.items.begin() + from);
    if (to > from) --to;  // the target index counted the removed item
    c.items.insert(c.items.begin() + to, std::move(item));
    c.selected = to;
    return true;
  });
}
