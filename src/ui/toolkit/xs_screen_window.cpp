// Toolkit windows on the screen (main thread only): an FLTK double-buffered
// window holding the menu bar, a canvas that shows the window's drawing
// surface, and the control widgets. Mouse, keyboard, menu, close, move and
// resize activity becomes the toolkit's numbered events.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/fl_draw.H>

#include <deque>
#include <memory>

#include "ui/toolkit/xs_screen_views.h"

namespace xs {

namespace {

constexpr int kMenuBarHeight = 25;
XsWindow* s_modal = nullptr;

// Shows the toolkit window's surface; mouse activity in the client area
// arrives here (controls take their own).
class Canvas : public Fl_Widget {
 public:
  Canvas(XsWindow* xw, int x, int y, int w, int h) : Fl_Widget(x, y, w, h), xw_(xw) {}

  void draw() override {
    // Copy under the surface lock (a worker may be drawing), convert outside it.
    Surface& s = xw_->surface;
    int width, height;
    {
      std::lock_guard<std::mutex> g(s.lock);
      width = s.width;
      height = s.height;
      copy_.assign(s.pixels.begin(), s.pixels.end());
    }
    rgb_.resize(static_cast<size_t>(width) * height * 3);
    uint8_t* dst = rgb_.data();
    for (uint32_t p : copy_) {
      dst[0] = static_cast<uint8_t>(p >> 16);
      dst[1] = static_cast<uint8_t>(p >> 8);
      dst[2] = static_cast<uint8_t>(p);
      dst += 3;
    }
    fl_push_clip(x(), y(), w(), h());
    fl_color(FL_BACKGROUND_COLOR);
    fl_rectf(x(), y(), w(), h());
    if (width > 0 && height > 0) fl_draw_image(rgb_.data(), x(), y(), width, height, 3);
    fl_pop_clip();
  }

  int handle(int e) override {
    int x = Fl::event_x() - this->x(), y = Fl::event_y() - this->y();
    switch (e) {
      case FL_FOCUS:
        // Taken by a click (keys then reach the handler), never by Tab.
        return Fl::event() == FL_PUSH;
      case FL_UNFOCUS:
        return 1;
      case FL_PUSH:
        Fl::focus(this);
        Fl::remove_timeout(OnHover, this);
        if (Fl::event_button() == FL_LEFT_MOUSE) {
          XsInjectEvent(xw_, Fl::event_clicks() > 0 ? kXsDoubleClick : kXsLeftDown, x, y, KeyState());
          leftHeld_ = true;
        } else if (Fl::event_button() == FL_RIGHT_MOUSE) {
          rightHeld_ = true;
        }
        return 1;
      case FL_DRAG:
        if (leftHeld_) XsInjectEvent(xw_, kXsDrag, x, y, KeyState());
        return 1;
      case FL_RELEASE:
        // The canvas holds the pointer from the press on, wherever it is released.
        if (Fl::event_button() == FL_LEFT_MOUSE && leftHeld_) {
          leftHeld_ = false;
          XsInjectEvent(xw_, kXsLeftUp, x, y, KeyState());
        } else if (Fl::event_button() == FL_RIGHT_MOUSE && rightHeld_) {
          rightHeld_ = false;
          XsInjectEvent(xw_, kXsRightUp, x, y, KeyState());
        }
        return 1;
      case FL_ENTER:
        return 1;
      case FL_MOVE:
        XsInjectEvent(xw_, kXsMouseMove, x, y, KeyState());
        hoverX_ = x, hoverY_ = y;
        Fl::remove_timeout(OnHover, this);
        Fl::add_timeout(0.5, OnHover, this);
        return 1;
      case FL_LEAVE:
        Fl::remove_timeout(OnHover, this);
        XsInjectEvent(xw_, kXsMouseLeave, x, y, KeyState());
        return 1;
    }
    return Fl_Widget::handle(e);
  }

  ~Canvas() override { Fl::remove_timeout(OnHover, this); }

 private:
  static void OnHover(void* data) {
    auto* c = static_cast<Canvas*>(data);
    XsInjectEvent(c->xw_, kXsMouseHover, c->hoverX_, c->hoverY_, KeyState());
  }
  XsWindow* xw_;
  std::vector<uint32_t> copy_;
  std::vector<uint8_t> rgb_;
  bool leftHeld_ = false, rightHeld_ = false;
  int hoverX_ = 0, hoverY_ = 0;
};

bool IsInputEvent(int e) {
  switch (e) {
    case FL_PUSH: case FL_RELEASE: case FL_DRAG: case FL_MOVE: case FL_MOUSEWHEEL:
    case FL_KEYDOWN: case FL_KEYUP: case FL_SHORTCUT: case FL_DND_ENTER: case FL_DND_DRAG:
    case FL_DND_RELEASE: case FL_PASTE:
      return true;
  }
  return false;
}

class ScreenWindow : public Fl_Double_Window {
 public:
  ScreenWindow(XsWindow* xw, int w, int h) : Fl_Double_Window(w, h), xw_(xw) {
    canvas_ = new Canvas(xw, 0, 0, w, h);
    end();
    // No resizable child: the toolkit places controls itself, FLTK must not
    // scale them when the window changes size.
    if (xw->kind == kXsResizableTool || xw->kind == kXsMainFrame)
      size_range(64, 32);
    else
      size_range(w, h, w, h);
    callback(OnClose);
  }

  ~ScreenWindow() override {
    Fl::remove_timeout(OnSizeEnd, this);
    Fl::remove_timeout(OnMoveEnd, this);
  }

  int handle(int e) override {
    if (s_modal && s_modal != xw_ && IsInputEvent(e)) return 1;
    if (e == FL_KEYDOWN || e == FL_KEYUP || e == FL_SHORTCUT) {
      int key = VirtualKey(Fl::event_key());
      // Enter and Escape reach the handler even when a control has the focus;
      // other keys only when the window itself has it.
      bool enterOrEscape = key == 13 || key == 27;
      bool ownFocus = !Fl::focus() || Fl::focus() == this || Fl::focus() == canvas_;
      if (e == FL_SHORTCUT) {
        if (!enterOrEscape) return Fl_Double_Window::handle(e);
        XsInjectEvent(xw_, kXsKeyDown, key, KeyState());
        return 1;
      }
      int used = Fl_Double_Window::handle(e);
      if (used || !key || Fl::event_state(FL_ALT) || !(ownFocus || enterOrEscape)) return used;
      XsInjectEvent(xw_, e == FL_KEYDOWN ? kXsKeyDown : kXsKeyUp, key, KeyState());
      return 1;
    }
    return Fl_Double_Window::handle(e);
  }

  void resize(int x, int y, int w, int h) override {
    bool moved = x != this->x() || y != this->y();
    bool sized = w != this->w() || h != this->h();
    Fl_Double_Window::resize(x, y, w, h);
    Layout();
    if (applying_ || !shown()) return;
    int clientHeight = h - Top();
    {
      std::lock_guard<std::mutex> g(xw_->rec.lock);
      xw_->rec.x = x, xw_->rec.y = y;
      if (sized) xw_->rec.clientWidth = w, xw_->rec.clientHeight = clientHeight;
    }
    if (sized) {
      int data[4] = {w, clientHeight, 0, 0};
      if (xw_->handler) xw_->handler(xw_, kXsSizing, data);
      if (data[0] != w || data[1] != clientHeight) {
        XsWindowSetClientSize(xw_, data[0], data[1]);
        return;
      }
      FitSurface(xw_, w, clientHeight);
      XsInjectEvent(xw_, kXsResized, w, clientHeight);
      QueuePaint(xw_);
      Fl::remove_timeout(OnSizeEnd, this);
      Fl::add_timeout(0.3, OnSizeEnd, this);
    } else if (moved) {
      XsInjectEvent(xw_, kXsMoving, x, y);
      Fl::remove_timeout(OnMoveEnd, this);
      Fl::add_timeout(0.3, OnMoveEnd, this);
    }
  }

  // Brings the window up to date with its records.
  void ApplyRecords() {
    std::string title;
    int x, y, cw, ch;
    bool shown, hasMenu;
    std::vector<ControlRecord> controls;
    std::vector<MenuNode> menu;
    bool menuChanged = false;
    {
      std::lock_guard<std::mutex> g(xw_->rec.lock);
      WindowRecord& r = xw_->rec;
      title = r.title, x = r.x, y = r.y, cw = r.clientWidth, ch = r.clientHeight;
      shown = r.shown, hasMenu = r.hasMenuBar;
      controls.reserve(r.controls.size());
      for (auto& c : r.controls) {
        controls.push_back(*c);
        c->wantFocus = false;
      }
      if (r.menuVersion != menuVersion_ || forceMenu_) {
        menu = r.menu;
        menuVersion_ = r.menuVersion;
        menuChanged = true;
        forceMenu_ = false;
      }
    }
    applying_ = true;
    if (title != title_) copy_label(title.c_str()), title_ = title;
    if (hasMenu && !bar_) {
      bar_ = new Fl_Menu_Bar(0, 0, cw, kMenuBarHeight);
      bar_->textsize(12);
      add(bar_);
    }
    if (menuChanged && bar_) BuildMenu(menu);
    int fullHeight = ch + Top();
    if (this->x() != x || this->y() != y || w() != cw || h() != fullHeight) {
      if (xw_->kind == kXsFixedTool) size_range(cw, fullHeight, cw, fullHeight);
      Fl_Double_Window::resize(x, y, cw, fullHeight);
    }
    Layout();
    ApplyControls(controls);
    if (shown && !this->shown()) {
      show();
    } else if (!shown && this->shown()) {
      hide();
    }
    applying_ = false;
  }

  // The canvas lies under the controls: redrawing it paints over them, so the
  // controls it covers are drawn again after it.
  void SurfaceChanged() {
    canvas_->redraw();
    for (ControlView& v : views_)
      if (v.widget->visible()) v.widget->redraw();
  }

 private:
  int Top() const { return bar_ ? kMenuBarHeight : 0; }

  void Layout() {
    if (bar_) bar_->resize(0, 0, w(), kMenuBarHeight);
    canvas_->resize(0, Top(), w(), h() - Top());
  }


  void ApplyControls(const std::vector<ControlRecord>& controls) {
    // Drop views of controls that were destroyed or re-created.
    for (auto it = views_.begin(); it != views_.end();) {
      bool keep = false;
      for (const ControlRecord& c : controls) keep |= c.serial == it->serial;
      if (!keep) {
        remove(it->widget);
        Fl::delete_widget(it->widget);
        it = views_.erase(it);
      } else {
        ++it;
      }
    }
    for (const ControlRecord& c : controls) {
      ControlView* view = nullptr;
      for (ControlView& v : views_)
        if (v.serial == c.serial) view = &v;
      if (!view) {
        ControlView v;
        v.id = c.id, v.kind = c.kind, v.serial = c.serial;
        v.widget = CreateControlWidget(xw_, c);
        if (!v.widget) continue;
        add(v.widget);
        views_.push_back(std::move(v));
        view = &views_.back();
      }
      Fl_Widget* wd = view->widget;
      if (view->version != c.version || wd->x() != c.x || wd->y() != c.y + Top() || wd->w() != c.width ||
          wd->h() != c.height)
        ApplyControl(c, view, Top());
    }
  }

  void BuildMenu(const std::vector<MenuNode>& menu) {
    std::vector<Fl_Menu_Item> items;
    auto labels = std::make_unique<std::deque<std::string>>();
    AddItems(menu, &items, labels.get());
    items.push_back(Fl_Menu_Item{});
    items_.swap(items);
    bar_->menu(items_.data());
    labels_.swap(labels);
    bar_->redraw();
  }

  // FLTK marks a shortcut with "&" and shows "&&" as one "&".
  static std::string MenuLabel(const MenuNode& n) {
    std::string s;
    for (size_t i = 0; i < n.label.size(); ++i) {
      if (static_cast<int>(i) == n.mnemonic) s += '&';
      if (n.label[i] == '&') s += '&';
      s += n.label[i];
    }
    return s;
  }

  static void AddItems(const std::vector<MenuNode>& level, std::vector<Fl_Menu_Item>* items,
                       std::deque<std::string>* labels) {
    for (const MenuNode& n : level) {
      if (n.separator) {
        if (!items->empty()) items->back().flags |= FL_MENU_DIVIDER;
        continue;
      }
      labels->push_back(MenuLabel(n));
      Fl_Menu_Item item{};
      item.text = labels->back().c_str();
      item.labelsize_ = 12;
      if (n.submenu) {
        item.flags = FL_SUBMENU;
        items->push_back(item);
        AddItems(n.children, items, labels);
        items->push_back(Fl_Menu_Item{});
        continue;
      }
      item.callback_ = OnMenu;
      item.user_data_ = reinterpret_cast<void*>(static_cast<intptr_t>(n.id));
      if (n.checked) item.flags |= FL_MENU_TOGGLE | FL_MENU_VALUE;
      if (!n.enabled) item.flags |= FL_MENU_INACTIVE;
      items->push_back(item);
    }
  }

  static void OnMenu(Fl_Widget* bar, void* data) {
    auto* window = static_cast<ScreenWindow*>(bar->window());
    // FLTK flips a toggle item by itself; the records decide, so rebuild.
    window->forceMenu_ = true;
    window->xw_->recordsDirty.store(true, std::memory_order_relaxed);
    XsInjectEvent(window->xw_, kXsMenu, static_cast<int>(reinterpret_cast<intptr_t>(data)));
  }

  static void OnClose(Fl_Widget* widget, void*) {
    auto* window = static_cast<ScreenWindow*>(widget);
    // Escape is a key for the handler, never a close.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    XsInjectEvent(window->xw_, kXsClose);
  }

  static void OnSizeEnd(void* data) {
    auto* window = static_cast<ScreenWindow*>(data);
    XsInjectEvent(window->xw_, kXsSized, window->w(), window->h() - window->Top());
  }

  static void OnMoveEnd(void* data) {
    auto* window = static_cast<ScreenWindow*>(data);
    XsInjectEvent(window->xw_, kXsMoved, window->x(), window->y());
  }

  XsWindow* xw_;
  Canvas* canvas_ = nullptr;
  Fl_Menu_Bar* bar_ = nullptr;
  std::vector<Fl_Menu_Item> items_;
  std::unique_ptr<std::deque<std::string>> labels_;
  std::vector<ControlView> views_;
  std::string title_;
  uint32_t menuVersion_ = 0;
  bool forceMenu_ = false;
  bool applying_ = false;
};

}  // namespace

void SyncWindowView(XsWindow* w, bool recordsChanged, bool surfaceChanged) {
  auto* view = static_cast<ScreenWindow*>(w->screen);
  if (!view) {
    int cw, ch;
    XsWindowGetClientSize(w, &cw, &ch);
    view = new ScreenWindow(w, cw > 0 ? cw : 1, ch > 0 ? ch : 1);
    w->screen = view;
    recordsChanged = true;
  }
  if (recordsChanged) view->ApplyRecords();
  if (surfaceChanged) view->SurfaceChanged();
}

void SetModalView(XsWindow* w) { s_modal = w; }

}  // namespace xs
