// Control widgets of the screen back end (main thread only). Each widget knows
// its window and id; user actions update the control's record first and then
// reach the window's handler as the numbered events (button 24, edit 25/26,
// slider 30/31, selection 32, list double click 33).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Multiline_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Slider.H>
#include <FL/fl_draw.H>

#include "ui/toolkit/xs_screen_views.h"

namespace xs {

namespace {

constexpr const char* kCondensedFace = "DejaVu Sans Condensed";

// FLTK shows "@" sequences as symbols; the toolkit's texts are plain.
std::string PlainLabel(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '@') out += '@';
    out += c;
  }
  return out;
}

template <typename Base>
class Control : public Base {
 public:
  Control(XsWindow* w, int id) : Base(0, 0, 100, 20), xw_(w), id_(id) {}
  XsWindow* xw_;
  int id_;
};

// The face and size of every control's text (ChooseControlFont).
Fl_Font s_font = FL_HELVETICA;
int s_fontSize = 11;
std::string s_fontName = "sans";

// Geometry of the texts the toolkit draws itself, so that the room a control
// gives its text is known exactly: a static text starts kStaticInset inside
// its control (at its left edge, as dialog texts do); a check box's square is kCheckSize wide at kCheckLeft, its text
// kCheckGap after it.
constexpr int kStaticInset = 0;
constexpr int kCheckLeft = 1, kCheckSize = 13, kCheckGap = 3;
// A one-line edit's text keeps this far from the inside of its frame.
constexpr int kEditMargin = 1;

constexpr Fl_Align kStaticAlign = FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_CLIP;

class StaticText : public Control<Fl_Box> {
 public:
  using Control::Control;
  void draw() override {
    draw_box();
    draw_label(x() + kStaticInset, y(), w() - 2 * kStaticInset, h(), kStaticAlign);
  }
};

class Button : public Control<Fl_Button> {
 public:
  using Control::Control;
};

class CheckBox : public Control<Fl_Check_Button> {
 public:
  using Control::Control;
  void draw() override {
    draw_box(box(), color());
    const int bx = x() + kCheckLeft, by = y() + (h() - kCheckSize) / 2;
    draw_box(FL_DOWN_BOX, bx, by, kCheckSize, kCheckSize, active_r() ? FL_BACKGROUND2_COLOR : FL_BACKGROUND_COLOR);
    if (value()) {
      // A tick: down from the left, then up to the right.
      fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
      const int cx = bx + 3, cy = by + kCheckSize / 2;
      for (int t = 0; t < 2; ++t) fl_line(cx, cy - 1 + t, cx + 2, cy + 1 + t, cx + kCheckSize - 6, cy - 3 + t);
    }
    const int left = kCheckLeft + kCheckSize + kCheckGap;
    draw_label(x() + left, y(), w() - left, h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    if (Fl::focus() == this) draw_focus();
  }
};

class Edit : public Control<Fl_Input> {
 public:
  using Control::Control;
  int handle(int e) override {
    int r = Fl_Input::handle(e);
    if (e == FL_UNFOCUS) XsInjectEvent(xw_, kXsEditLostFocus, id_);
    return r;
  }
};

class MultiEdit : public Control<Fl_Multiline_Input> {
 public:
  using Control::Control;
  int handle(int e) override {
    int r = Fl_Multiline_Input::handle(e);
    if (e == FL_UNFOCUS) XsInjectEvent(xw_, kXsEditLostFocus, id_);
    return r;
  }
};

class Slider : public Control<Fl_Slider> {
 public:
  using Control::Control;
  int handle(int e) override {
    int r = Fl_Slider::handle(e);
    if (e == FL_RELEASE) XsInjectEvent(xw_, kXsSliderReleased, id_, static_cast<int>(value()));
    return r;
  }
};

class Combo : public Control<Fl_Choice> {
 public:
  using Control::Control;
};

// A list box whose items can be dragged to a new place; a line shows where
// the dragged item will land.
class DragList : public Control<Fl_Hold_Browser> {
 public:
  using Control::Control;
  int handle(int e) override {
    switch (e) {
      case FL_PUSH:
        dragFrom_ = LineAt(Fl::event_y());
        dragTo_ = -2;
        break;
      case FL_DRAG:
        if (dragFrom_ >= 0) {
          int target = TargetAt(Fl::event_x(), Fl::event_y());
          if (target != dragTo_) dragTo_ = target, redraw();
          return 1;
        }
        break;
      case FL_RELEASE:
        if (dragFrom_ >= 0 && dragTo_ != -2) {
          int from = dragFrom_, to = dragTo_;
          dragFrom_ = -1, dragTo_ = -2;
          redraw();
          if (to != from && to != from + 1) {
            XsListMoveItem(xw_, id_, from, to);
            XsInjectEvent(xw_, kXsSelectionChanged, id_);
          }
          return 1;
        }
        dragFrom_ = -1;
        break;
    }
    return Fl_Hold_Browser::handle(e);
  }
  void draw() override {
    Fl_Hold_Browser::draw();
    if (dragFrom_ < 0 || dragTo_ == -2) return;
    int X, Y, W, H;
    bbox(X, Y, W, H);
    int y = Y - position();
    int n = 0;
    for (void* item = item_first(); item && (dragTo_ < 0 || n < dragTo_); item = item_next(item), ++n)
      y += item_height(item);
    if (y < Y || y > Y + H) return;
    fl_color(FL_FOREGROUND_COLOR);
    fl_xyline(X, y, X + W - 1);
  }

 private:
  // Zero-based line under y, or -1.
  int LineAt(int y) {
    void* item = find_item(y);
    return item ? lineno(item) - 1 : -1;
  }
  // The insertion index under the cursor: an item, -1 below the last item
  // within the list's width, -2 elsewhere.
  int TargetAt(int x, int y) {
    int line = LineAt(y);
    if (line >= 0) return line;
    if (x >= this->x() && x < this->x() + w() && y >= this->y()) return -1;
    return -2;
  }
  int dragFrom_ = -1;
  int dragTo_ = -2;
};

void OnButton(Fl_Widget* widget, void*) {
  auto* b = static_cast<Button*>(widget);
  XsInjectEvent(b->xw_, kXsButton, b->id_);
}

void OnCheck(Fl_Widget* widget, void*) {
  auto* b = static_cast<CheckBox*>(widget);
  bool state = b->value() != 0;
  UpdateFromScreen(b->xw_, b->id_, [&](ControlRecord& c) { c.check = state; });
  XsInjectEvent(b->xw_, kXsButton, b->id_);
}

template <typename E>
void OnEdit(Fl_Widget* widget, void*) {
  auto* e = static_cast<E*>(widget);
  std::string text = e->value();
  UpdateFromScreen(e->xw_, e->id_, [&](ControlRecord& c) { c.text = text; });
  XsInjectEvent(e->xw_, kXsEditChanged, e->id_);
}

void OnSlider(Fl_Widget* widget, void*) {
  auto* s = static_cast<Slider*>(widget);
  int position = static_cast<int>(s->value());
  UpdateFromScreen(s->xw_, s->id_, [&](ControlRecord& c) { c.sliderPos = position; });
  XsInjectEvent(s->xw_, kXsSliderMoved, s->id_, position);
}

void OnCombo(Fl_Widget* widget, void*) {
  auto* c = static_cast<Combo*>(widget);
  int selected = c->value();
  UpdateFromScreen(c->xw_, c->id_, [&](ControlRecord& r) { r.selected = selected; });
  XsInjectEvent(c->xw_, kXsSelectionChanged, c->id_);
}

void OnList(Fl_Widget* widget, void*) {
  auto* l = static_cast<DragList*>(widget);
  int selected = l->value() - 1;
  UpdateFromScreen(l->xw_, l->id_, [&](ControlRecord& r) { r.selected = selected; });
  if (Fl::event() == FL_RELEASE && Fl::event_clicks() > 0)
    XsInjectEvent(l->xw_, kXsListDoubleClick, l->id_);
  else
    XsInjectEvent(l->xw_, kXsSelectionChanged, l->id_);
}

}  // namespace

Fl_Widget* CreateControlWidget(XsWindow* w, const ControlRecord& r) {
  Fl_Widget* widget = nullptr;
  switch (r.kind) {
    case kXsStatic: {
      auto* box = new StaticText(w, r.id);
      box->box(FL_FLAT_BOX);  // paints its background, so a shorter text leaves nothing behind
      box->align(kStaticAlign);
      widget = box;
      break;
    }
    case kXsButtonControl:
      widget = new Button(w, r.id);
      widget->callback(OnButton);
      break;
    case kXsCheckBox:
      widget = new CheckBox(w, r.id);
      widget->box(FL_FLAT_BOX);
      widget->callback(OnCheck);
      break;
    case kXsCombo:
      widget = new Combo(w, r.id);
      widget->callback(OnCombo);
      widget->when(FL_WHEN_CHANGED);
      break;
    case kXsEdit:
      widget = new Edit(w, r.id);
      widget->callback(OnEdit<Edit>);
      widget->when(FL_WHEN_CHANGED);
      break;
    case kXsMultiEdit:
      widget = new MultiEdit(w, r.id);
      widget->callback(OnEdit<MultiEdit>);
      widget->when(FL_WHEN_CHANGED);
      break;
    case kXsSlider: {
      auto* s = new Slider(w, r.id);
      s->type(FL_HOR_NICE_SLIDER);
      s->step(1);
      s->callback(OnSlider);
      s->when(FL_WHEN_CHANGED);
      widget = s;
      break;
    }
    case kXsProgress: {
      auto* p = new Control<Fl_Progress>(w, r.id);
      p->minimum(0);
      p->maximum(100);
      p->selection_color(FL_BLUE);
      widget = p;
      break;
    }
    case kXsList: {
      auto* l = new DragList(w, r.id);
      l->callback(OnList);
      l->when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED);
      widget = l;
      break;
    }
    default:
      return nullptr;
  }
  widget->labelfont(s_font);
  widget->labelsize(s_fontSize);
  if (auto* in = dynamic_cast<Fl_Input_*>(widget)) in->textfont(s_font), in->textsize(s_fontSize);
  if (auto* menu = dynamic_cast<Fl_Menu_*>(widget)) menu->textfont(s_font), menu->textsize(s_fontSize);
  if (auto* list = dynamic_cast<Fl_Browser_*>(widget)) list->textfont(s_font), list->textsize(s_fontSize);
  widget->hide();
  return widget;
}

void ApplyControl(const ControlRecord& r, ControlView* view, int top) {
  Fl_Widget* widget = view->widget;
  if (widget->x() != r.x || widget->y() != r.y + top || widget->w() != r.width || widget->h() != r.height) {
    widget->resize(r.x, r.y + top, r.width, r.height);
    if (widget->parent()) widget->parent()->redraw();
  }
  switch (r.kind) {
    case kXsStatic:
    case kXsButtonControl: {
      std::string label = PlainLabel(r.text);
      if (!widget->label() || label != widget->label()) widget->copy_label(label.c_str());
      break;
    }
    case kXsCheckBox: {
      auto* b = static_cast<Fl_Check_Button*>(widget);
      std::string label = PlainLabel(r.text);
      if (!widget->label() || label != widget->label()) widget->copy_label(label.c_str());
      if ((b->value() != 0) != r.check) b->value(r.check);
      break;
    }
    case kXsEdit:
    case kXsMultiEdit: {
      auto* in = static_cast<Fl_Input_*>(widget);
      if (r.text != in->value()) in->value(r.text.c_str());
      break;
    }
    case kXsSlider: {
      auto* s = static_cast<Fl_Slider*>(widget);
      s->bounds(r.sliderMin, r.sliderMax);
      if (static_cast<int>(s->value()) != r.sliderPos) s->value(r.sliderPos);
      break;
    }
    case kXsProgress: {
      auto* p = static_cast<Fl_Progress*>(widget);
      if (static_cast<int>(p->value()) != r.progress) p->value(static_cast<float>(r.progress));
      break;
    }
    case kXsCombo: {
      auto* c = static_cast<Fl_Choice*>(widget);
      if (view->items != r.items) {
        c->clear();
        for (const std::string& item : r.items) {
          // Menu texts: "/" would start a submenu, "&" and "_" mark shortcuts.
          int index = c->add("x");
          c->replace(index, item.c_str());
        }
        view->items = r.items;
      }
      if (c->value() != r.selected) {
        if (r.selected >= 0 && r.selected < c->size() - 1)
          c->value(r.selected);
        else
          c->value(static_cast<const Fl_Menu_Item*>(nullptr));
      }
      break;
    }
    case kXsList: {
      auto* l = static_cast<Fl_Hold_Browser*>(widget);
      if (view->items != r.items) {
        l->clear();
        for (const std::string& item : r.items) l->add(("@." + item).c_str());
        view->items = r.items;
      }
      if (l->value() != r.selected + 1) l->value(r.selected + 1);
      break;
    }
  }
  if ((widget->active() != 0) != r.enabled) r.enabled ? widget->activate() : widget->deactivate();
  if ((widget->visible() != 0) != r.shown) r.shown ? widget->show() : widget->hide();
  if (r.wantFocus && r.shown) widget->take_focus();
  widget->redraw();
  view->version = r.version;
}

void ChooseControlFont() {
  // The layout gives texts the room of a small dialog font. The tightest fit
  // is the widest check box text in the room its 128-pixel box leaves; the
  // first face and size (tallest letters first) that fits it is taken, so a
  // system without the condensed face gets a smaller plain one.
  static const char kReference[] = "Automatic :  NF +  (dB)";
  const int room = 128 - (kCheckLeft + kCheckSize + kCheckGap);
  struct Candidate {
    Fl_Font font;
    int size;
    const char* name;
  };
  Fl::set_font(FL_FREE_FONT, kCondensedFace);
  const Candidate candidates[] = {
      {FL_FREE_FONT, 10, kCondensedFace}, {FL_HELVETICA, 10, "sans"}, {FL_HELVETICA, 9, "sans"}};
  for (const Candidate& c : candidates) {
    s_font = c.font, s_fontSize = c.size, s_fontName = c.name;
    fl_font(c.font, c.size);
    if (fl_width(kReference) <= room) return;
  }
  s_fontSize = 8;
}

int KeyState() {
  return (Fl::event_state(FL_SHIFT) ? 1 : 0) | (Fl::event_state(FL_CTRL) ? 2 : 0);
}

int VirtualKey(int k) {
  if (k >= 'a' && k <= 'z') return k - 'a' + 'A';
  if ((k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z') || k == ' ') return k;
  if (k >= FL_KP + '0' && k <= FL_KP + '9') return 0x60 + (k - FL_KP - '0');
  if (k > FL_F && k <= FL_F + 24) return 0x6F + (k - FL_F);
  switch (k) {
    case FL_Enter: case FL_KP_Enter: return 13;
    case FL_Escape: return 27;
    case FL_BackSpace: return 8;
    case FL_Tab: return 9;
    case FL_Page_Up: return 33;
    case FL_Page_Down: return 34;
    case FL_End: return 35;
    case FL_Home: return 36;
    case FL_Left: return 37;
    case FL_Up: return 38;
    case FL_Right: return 39;
    case FL_Down: return 40;
    case FL_Insert: return 45;
    case FL_Delete: return 46;
    case FL_Shift_L: case FL_Shift_R: case FL_Control_L: case FL_Control_R: return 0;
    case '-': return 0xBD;
    case '=': return 0xBB;
    case ',': return 0xBC;
    case '.': return 0xBE;
  }
  return k < 256 ? k : 0;
}

}  // namespace xs

bool XsControlTextFit(XsWindow* w, int id, const char* text, XsTextFit* fit) {
  if (!w || !text || !fit || !xs::g_hooks.load() || !xs::OnMainThread()) return false;
  int kind, width, height;
  {
    std::lock_guard<std::mutex> g(w->rec.lock);
    const xs::ControlRecord* c = xs::FindControl(w, id);
    if (!c) return false;
    kind = c->kind, width = c->width, height = c->height;
  }
  fl_font(xs::s_font, xs::s_fontSize);
  int tw = 0, th = 0;
  switch (kind) {
    case kXsStatic:
      fit->roomWidth = width - 2 * xs::kStaticInset;
      fit->roomHeight = height;
      tw = fit->roomWidth;  // wrap at the room's width, as the control draws it
      fl_measure(text, tw, th, 0);
      break;
    case kXsButtonControl:
      fit->roomWidth = width - Fl::box_dw(FL_UP_BOX);
      fit->roomHeight = height - Fl::box_dh(FL_UP_BOX);
      fl_measure(text, tw, th, 0);
      break;
    case kXsCheckBox:
      fit->roomWidth = width - (xs::kCheckLeft + xs::kCheckSize + xs::kCheckGap);
      fit->roomHeight = height;
      fl_measure(text, tw, th, 0);
      break;
    case kXsEdit:
      fit->roomWidth = width - Fl::box_dw(FL_DOWN_BOX) - 2 * xs::kEditMargin;
      fit->roomHeight = height - Fl::box_dh(FL_DOWN_BOX);
      tw = static_cast<int>(fl_width(text) + 0.999);
      th = fl_height();
      break;
    default:
      return false;
  }
  fit->textWidth = tw, fit->textHeight = th;
  return true;
}

std::string XsControlFontName(int* size) {
  if (!xs::g_hooks.load()) return "";
  if (size) *size = xs::s_fontSize;
  return xs::s_fontName;
}
