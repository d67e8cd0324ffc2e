// The screen back end over FLTK 1.3 on X11. Only the main thread (the one that
// opened the display and runs the loop) touches FLTK. Other threads change the
// toolkit's records and surfaces and call Wake, which sends at most one
// Fl::awake until the main thread has caught up; the catch-up runs as an FLTK
// check before every wait, so it also runs inside modal dialogs. Surfaces are
// shown again at most every 15 ms.
#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <unistd.h>

#include <chrono>

#include "core/runtime.h"
#include "ui/toolkit/xs_screen_views.h"

namespace xs {

namespace {

constexpr double kSurfaceInterval = 0.015;

// Renders the printable ASCII characters of FLTK's default font once, so that
// drawing text into surfaces (from any thread) looks like the screen's text.
void InstallScreenFont() {
  fl_font(FL_HELVETICA, 12);
  const int height = fl_height();
  const int descent = fl_descent();
  const int cell = 32;
  if (height <= 0 || height > 64) return;
  Fl_Offscreen off = fl_create_offscreen(cell, height);
  if (!off) return;
  std::vector<Glyph> glyphs(95);
  bool ok = true;
  for (int c = 32; c <= 126 && ok; ++c) {
    char text[2] = {static_cast<char>(c), 0};
    fl_begin_offscreen(off);
    fl_color(FL_BLACK);
    fl_rectf(0, 0, cell, height);
    fl_color(FL_WHITE);
    fl_font(FL_HELVETICA, 12);
    fl_draw(text, 0, height - descent);
    int advance = static_cast<int>(fl_width(text) + 0.5);
    uchar* rgb = fl_read_image(nullptr, 0, 0, cell, height);
    fl_end_offscreen();
    if (!rgb) {
      ok = false;
      break;
    }
    Glyph& g = glyphs[c - 32];
    g.advance = std::min(std::max(advance, 1), cell);
    g.alpha.resize(static_cast<size_t>(g.advance) * height);
    for (int row = 0; row < height; ++row)
      for (int col = 0; col < g.advance; ++col) g.alpha[row * g.advance + col] = rgb[(row * cell + col) * 3 + 1];
    delete[] rgb;
  }
  fl_delete_offscreen(off);
  if (ok) InstallFont(std::move(glyphs), height);
}

// ";*.wav" (descriptions and patterns alternating) as FLTK's "name\tpattern" lines.
std::string ChooserFilter(const std::string& filter) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (;;) {
    size_t semi = filter.find(';', start);
    entries.push_back(filter.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  std::string out;
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (entries[i + 1].empty()) continue;
    out += (entries[i].empty() ? "" : entries[i] + "\t") + entries[i + 1] + "\n";
  }
  return out;
}

class ScreenBackend : public BackendHooks {
 public:
  ScreenBackend() { Fl::add_check(OnCheck, this); }

  void Wake() override {
    if (!awakePending_.exchange(true, std::memory_order_acq_rel)) Fl::awake();
  }

  void Wait(double seconds) override {
    if (surfaceDeferred_) seconds = std::min(seconds, kSurfaceInterval);
    if (seconds <= 0)
      Fl::check();
    else
      Fl::wait(seconds);
  }

  void Sync() override {
    awakePending_.store(false, std::memory_order_release);
    auto now = std::chrono::steady_clock::now();
    bool surfacesDue = now - lastSurfaces_ >= std::chrono::duration<double>(kSurfaceInterval);
    bool anySurface = false;
    surfaceDeferred_ = false;
    for (XsWindow* w : XsAllWindows()) {
      bool records = w->recordsDirty.exchange(false, std::memory_order_acq_rel) || !w->screen;
      bool surface = false;
      if (w->surfaceDirty.load(std::memory_order_acquire)) {
        if (surfacesDue)
          surface = w->surfaceDirty.exchange(false, std::memory_order_acq_rel);
        else
          surfaceDeferred_ = true;
      }
      anySurface |= surface;
      if (records || surface) SyncWindowView(w, records, surface);
    }
    if (anySurface) lastSurfaces_ = now;
    // A deferred surface is shown by a later pass even when nothing else
    // wakes the loop (for example inside a modal dialog's own loop).
    if (surfaceDeferred_ && !Fl::has_timeout(OnDeferred, this)) Fl::add_timeout(kSurfaceInterval, OnDeferred, this);
  }

  void SetModal(XsWindow* w) override { SetModalView(w); }

  bool MessageBox(XsWindow*, int type, const char* text, const char* caption) override {
    fl_message_title(caption);
    switch (type) {
      case 0:
        fl_beep(FL_BEEP_MESSAGE);
        fl_message("%s", text);
        return true;
      case 2:
        fl_beep(FL_BEEP_QUESTION);
        return fl_choice("%s", "No", "Yes", nullptr, text) == 1;
      default:
        fl_beep(type == 1 ? FL_BEEP_NOTIFICATION : FL_BEEP_ERROR);
        fl_alert("%s", text);
        return true;
    }
  }

  bool FileDialog(XsWindow*, int mode, const char* filter, const char* initial, std::string* path) override {
    Fl_Native_File_Chooser chooser;
    if (mode == 2) {
      chooser.type(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
      chooser.title(filter);
    } else {
      chooser.type(mode == 0 ? Fl_Native_File_Chooser::BROWSE_FILE : Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
      chooser.title(mode == 0 ? "Open" : "Save As");
      std::string f = ChooserFilter(filter);
      if (!f.empty()) chooser.filter(f.c_str());
      if (mode == 1) chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    }
    if (initial && *initial) chooser.directory(initial);
    if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return false;
    std::string chosen = chooser.filename();
    if (chosen.size() >= 2048) return false;  // longer than the dialogs' path room
    if (mode == 0 && access(chosen.c_str(), F_OK) != 0) return false;  // open needs an existing file
    *path = chosen;
    return true;
  }

 private:
  static void OnCheck(void* data) { static_cast<ScreenBackend*>(data)->Sync(); }
  static void OnDeferred(void*) {}  // the check that follows does the work

  std::atomic<bool> awakePending_{false};
  bool surfaceDeferred_ = false;
  std::chrono::steady_clock::time_point lastSurfaces_{};
};

}  // namespace

// Main thread, at start-up: opens the display, or returns none when there is none.
BackendHooks* CreateScreenBackend() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  fl_open_display(display);
  Fl::visual(FL_RGB);
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
  Fl::scheme("gtk+");
  Fl::background(0xF0, 0xF0, 0xF0);  // the face colour of fresh drawing surfaces
  Fl::lock();  // lets other threads call Fl::awake
  InstallScreenFont();
  ChooseControlFont();
  return new ScreenBackend;
}

}  // namespace xs
