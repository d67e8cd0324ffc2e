// The toolkit's start-up, window list and main-thread event queue: posted user
// events and coalesced paint requests are delivered by XsMessageLoop,
// XsMessageDrain and XsRunModal on the main thread; XsQuit ends the innermost
// loop. Without a screen the loop only waits on the queue.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "core/lifecycle.h"
#include "core/runtime.h"
#include "ui/toolkit/xs_records.h"

namespace xs {

std::atomic<BackendHooks*> g_hooks{nullptr};
BackendHooks* CreateScreenBackend();  // xs_screen.cpp; null when no display opens

namespace {

struct QueuedEvent {
  XsWindow* window;
  int event;
  int data[4];
};

struct Toolkit {
  std::mutex lock;
  std::condition_variable wake;
  std::vector<XsWindow*> windows;
  XsWindow* mainWindow = nullptr;
  std::deque<QueuedEvent> queue;
  int pendingQuits = 0;
  std::thread::id mainThread;
  bool mainThreadKnown = false;
  XsBackend backend = kXsBackendHeadless;
  bool initialised = false;
  bool overflowReported = false;
};

constexpr size_t kQueueLimit = 4096;

Toolkit& Tk() {
  static Toolkit* tk = new Toolkit;  // never destroyed: windows outlive static teardown
  return *tk;
}

// Claims the calling thread as the main thread when none has been named yet.
void ClaimMainThread() {
  Toolkit& tk = Tk();
  std::lock_guard<std::mutex> g(tk.lock);
  if (!tk.mainThreadKnown) {
    tk.mainThread = std::this_thread::get_id();
    tk.mainThreadKnown = true;
  }
}

void Deliver(const QueuedEvent& e) {
  if (e.event == kXsPaint) {
    e.window->paintPending.store(false, std::memory_order_relaxed);
    int w, h;
    XsWindowGetClientSize(e.window, &w, &h);
    XsInjectEvent(e.window, kXsPaint, 0, 0, w, h);
  } else {
    XsInjectEvent(e.window, e.event, e.data[0], e.data[1], e.data[2], e.data[3]);
  }
}

// Delivers every queued event present now (not those its handlers queue).
void DrainQueue() {
  Toolkit& tk = Tk();
  std::deque<QueuedEvent> batch;
  {
    std::lock_guard<std::mutex> g(tk.lock);
    batch.swap(tk.queue);
  }
  for (const QueuedEvent& e : batch) Deliver(e);
}

bool TakeQuit() {
  Toolkit& tk = Tk();
  std::lock_guard<std::mutex> g(tk.lock);
  if (tk.pendingQuits > 0) {
    --tk.pendingQuits;
    return true;
  }
  return false;
}

// One slice of waiting: the screen's events, or the queue's condition variable.
void WaitSlice(double seconds) {
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) {
    hooks->Sync();
    hooks->Wait(seconds);
    hooks->Sync();
    return;
  }
  Toolkit& tk = Tk();
  std::unique_lock<std::mutex> g(tk.lock);
  tk.wake.wait_for(g, std::chrono::duration<double>(seconds),
                   [&] { return !tk.queue.empty() || tk.pendingQuits > 0 || hv::QuitRequested(); });
}

// Wakes the loop for a quit request (runs on the quit relay thread).
void WakeForQuit() {
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
  }
  tk.wake.notify_all();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->Wake();
}

// Longest sleep of an idle loop; posted events, quit requests (also from a
// signal) and the screen's events end it sooner.
constexpr double kIdleSliceSeconds = 5.0;

// The loop shared by XsMessageLoop and XsRunModal. It sleeps until an event, a
// quit request or the end of `maxSeconds`; it does not poll.
void RunLoop(double maxSeconds) {
  ClaimMainThread();
  hv::AddQuitWaker(WakeForQuit);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    DrainQueue();
    if (TakeQuit() || hv::QuitRequested()) break;
    double slice = kIdleSliceSeconds;
    if (maxSeconds >= 0) {
      double left = maxSeconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (left <= 0) break;
      if (left < slice) slice = left;
    }
    WaitSlice(slice);
  }
}

}  // namespace

bool OnMainThread() {
  Toolkit& tk = Tk();
  std::lock_guard<std::mutex> g(tk.lock);
  return !tk.mainThreadKnown || tk.mainThread == std::this_thread::get_id();
}

void RecordsChanged(XsWindow* w) {
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) {
    if (!w->recordsDirty.exchange(true, std::memory_order_acq_rel)) hooks->Wake();
  }
}

void SurfaceChanged(XsWindow* w) {
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) {
    if (!w->surfaceDirty.exchange(true, std::memory_order_acq_rel)) hooks->Wake();
  }
}

void QueuePaint(XsWindow* w) {
  if (w->paintPending.exchange(true, std::memory_order_acq_rel)) return;
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
    tk.queue.push_back({w, kXsPaint, {0, 0, 0, 0}});
  }
  tk.wake.notify_one();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->Wake();
}

}  // namespace xs

using namespace xs;

bool XsToolkitInit(bool wantScreen) {
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
    tk.mainThread = std::this_thread::get_id();
    tk.mainThreadKnown = true;
    if (tk.initialised) return true;
    tk.initialised = true;
  }
  if (wantScreen) {
    BackendHooks* hooks = CreateScreenBackend();
    if (hooks) {
      std::lock_guard<std::mutex> g(tk.lock);
      tk.backend = kXsBackendScreen;
      g_hooks.store(hooks, std::memory_order_release);
      return true;
    }
    hv::DiagPrint("No display could be opened; running without windows\n");
  }
  return true;
}

XsBackend XsGetBackend() {
  Toolkit& tk = Tk();
  std::lock_guard<std::mutex> g(tk.lock);
  return tk.backend;
}

XsWindow* XsWindowCreate(XsHandler handler, int kind) {
  if (kind != kXsFixedTool && kind != kXsResizableTool && kind != kXsMainFrame) return nullptr;
  XsWindow* w = new XsWindow;
  w->handler = handler;
  w->kind = kind;
  FitSurface(w, 320, 240);
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
    w->index = static_cast<int>(tk.windows.size());
    tk.windows.push_back(w);
    if (kind == kXsMainFrame && !tk.mainWindow) tk.mainWindow = w;
  }
  {
    std::lock_guard<std::mutex> g(w->rec.lock);
    RecordsChanged(w);
  }
  return w;
}

std::vector<XsWindow*> XsAllWindows() {
  Toolkit& tk = Tk();
  std::lock_guard<std::mutex> g(tk.lock);
  return tk.windows;
}

int XsInjectEvent(XsWindow* w, int event, int d0, int d1, int d2, int d3) {
  if (!w || !w->handler) return 0;
  int data[4] = {d0, d1, d2, d3};
  return w->handler(w, event, data);
}

void XsPostToMain(int value) {
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
    if (!tk.mainWindow) return;
    // Nobody runs the loop (a stalled main thread): say so once, drop the notice.
    if (tk.queue.size() >= kQueueLimit) {
      if (!tk.overflowReported) hv::DiagPrint("Main window event queue full; notice %d dropped\n", value);
      tk.overflowReported = true;
      return;
    }
    tk.queue.push_back({tk.mainWindow, kXsUser, {kXsPostCode, value, 0, 0}});
  }
  tk.wake.notify_one();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->Wake();
  std::this_thread::yield();
}

void XsQuit() {
  Toolkit& tk = Tk();
  {
    std::lock_guard<std::mutex> g(tk.lock);
    ++tk.pendingQuits;
  }
  tk.wake.notify_one();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->Wake();
}

void XsMessageLoop() { RunLoop(-1); }

void XsMessageLoopFor(double seconds) { RunLoop(seconds); }

void XsMessageDrain() {
  ClaimMainThread();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) {
    hooks->Sync();
    hooks->Wait(0);
  }
  DrainQueue();
  if (BackendHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->Sync();
}

bool XsRunModal(XsWindow* w) {
  if (!w) return false;
  XsMessageDrain();
  XsWindowShow(w);
  BackendHooks* hooks = g_hooks.load(std::memory_order_acquire);
  if (hooks) hooks->SetModal(w);
  RunLoop(-1);
  if (hooks) hooks->SetModal(nullptr);
  XsWindowHide(w);
  return true;
}
