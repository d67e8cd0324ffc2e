// Window operations on the toolkit's records: title, client size, position and
// visibility. The screen back end follows the records on the main thread.
#include "ui/toolkit/xs_records.h"

using namespace xs;

bool XsWindowSetTitle(XsWindow* w, const char* text) {
  if (!w || !text) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  w->rec.title = text;
  RecordsChanged(w);
  return true;
}

std::string XsWindowGetTitle(XsWindow* w) {
  if (!w) return std::string();
  std::lock_guard<std::mutex> g(w->rec.lock);
  return w->rec.title;
}

bool XsWindowSetClientSize(XsWindow* w, int width, int height) {
  if (!w || width < 0 || height < 0) return false;
  {
    std::lock_guard<std::mutex> g(w->rec.lock);
    w->rec.clientWidth = width;
    w->rec.clientHeight = height;
    RecordsChanged(w);
  }
  FitSurface(w, width, height);
  return true;
}

bool XsWindowGetClientSize(XsWindow* w, int* width, int* height) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  if (width) *width = w->rec.clientWidth;
  if (height) *height = w->rec.clientHeight;
  return true;
}

bool XsWindowMove(XsWindow* w, int x, int y) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  w->rec.x = x;
  w->rec.y = y;
  RecordsChanged(w);
  return true;
}

bool XsWindowGetPosition(XsWindow* w, int* x, int* y) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  if (x) *x = w->rec.x;
  if (y) *y = w->rec.y;
  return true;
}

bool XsWindowShow(XsWindow* w) {
  if (!w) return false;
  bool wasShown;
  {
    std::lock_guard<std::mutex> g(w->rec.lock);
    wasShown = w->rec.shown;
    w->rec.shown = true;
    RecordsChanged(w);
  }
  // A window coming into view gets painted, as an exposed window would be.
  if (!wasShown) QueuePaint(w);
  return true;
}

bool XsWindowHide(XsWindow* w) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  w->rec.shown = false;
  RecordsChanged(w);
  return true;
}

bool XsWindowIsShown(XsWindow* w) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  return w->rec.shown;
}

bool XsWindowInvalidate(XsWindow* w) {
  if (!w) return false;
  QueuePaint(w);
  return true;
}
