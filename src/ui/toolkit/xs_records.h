// The toolkit's own records of windows, controls and menus, shared by both back
// ends. Every record change happens under the window's record lock and is
// answered at once; the screen back end (when active) is told through
// XsBackendHooks and catches up on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/toolkit/xs.h"

namespace xs {

struct ControlRecord {
  int id = 0;
  int kind = 0;
  uint64_t serial = 0;  // unique per created control: a re-created id gets a new widget
  uint32_t version = 1;  // bumped on every change the screen must show
  std::string text;
  bool check = false;
  bool enabled = true;
  bool shown = false;
  int x = 0, y = 0, width = 100, height = 20;
  int sliderMin = 0, sliderMax = 100, sliderPos = 0;
  int progress = 0;
  std::vector<std::string> items;
  int selected = -1;
  bool wantFocus = false;  // a fill asked for the focus; the screen consumes it
};

struct MenuNode {
  std::string raw;    // the path segment as given (submenus are matched by it)
  std::string label;  // shown text, mnemonic marker removed
  int mnemonic = -1;  // index into label of the mnemonic character, or -1
  int id = 0;
  bool separator = false;
  bool submenu = false;
  bool checked = false;
  bool enabled = true;
  std::vector<MenuNode> children;
};

// Everything about one window. Windows live for the whole process.
struct WindowRecord {
  std::mutex lock;  // guards the fields below up to the surface
  std::string title;
  int x = 64, y = 64, clientWidth = 320, clientHeight = 240;
  bool shown = false;
  std::vector<std::unique_ptr<ControlRecord>> controls;  // creation order
  bool hasMenuBar = false;
  std::vector<MenuNode> menu;
  uint32_t menuVersion = 0;  // bumped on every menu change
};

struct Surface {
  std::mutex lock;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // BGRX, top-down
};

}  // namespace xs

struct XsWindow {
  XsHandler handler = nullptr;
  int kind = 0;
  int index = 0;  // creation order
  xs::WindowRecord rec;
  xs::Surface surface;
  std::atomic<uint32_t> color{0};  // current drawing colour 0x00RRGGBB
  std::atomic<bool> paintPending{false};
  std::atomic<bool> recordsDirty{false};
  std::atomic<bool> surfaceDirty{false};
  void* screen = nullptr;  // the screen back end's object; main thread only
};

namespace xs {

// The screen back end's side of the toolkit. Null while headless.
class BackendHooks {
 public:
  virtual ~BackendHooks() = default;
  // Any thread: the window's records or surface changed; schedule a catch-up.
  virtual void Wake() = 0;
  // Main thread: process screen events for at most `seconds`.
  virtual void Wait(double seconds) = 0;
  // Main thread: bring every changed window up to date with its records.
  virtual void Sync() = 0;
  virtual void SetModal(XsWindow* w) = 0;
  // Main thread: show a message box; returns true for Yes/OK.
  virtual bool MessageBox(XsWindow* owner, int type, const char* text, const char* caption) = 0;
  // Main thread: file (mode 0 open, 1 save) or folder (mode 2) dialog.
  virtual bool FileDialog(XsWindow* owner, int mode, const char* filter, const char* initial,
                          std::string* path) = 0;
};

extern std::atomic<BackendHooks*> g_hooks;

// Marks records as changed and wakes the screen, if any.
void RecordsChanged(XsWindow* w);
void SurfaceChanged(XsWindow* w);
// True on the thread that runs the toolkit's message loop.
bool OnMainThread();

// Caller holds w->rec.lock.
ControlRecord* FindControl(XsWindow* w, int id);

// Resizes the drawing surface to the client size, keeping what overlaps.
void FitSurface(XsWindow* w, int width, int height);

// Queues a paint event for the window (coalesced); any thread.
void QueuePaint(XsWindow* w);

// Text drawn with the built-in font into the surface (caller holds the surface lock).
void DrawTextLocked(XsWindow* w, const char* text, int x, int y, uint32_t bgrx);
void BuiltinTextExtent(const char* text, int* width, int* height);

// A screen back end may install its own glyphs: for each character 32..126 an
// alpha mask of `height` rows and the character's advance width.
struct Glyph {
  int advance = 0;
  std::vector<uint8_t> alpha;  // advance x height, 0..255
};
void InstallFont(std::vector<Glyph> glyphs, int height);

}  // namespace xs
