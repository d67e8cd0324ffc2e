// The window toolkit: top-level windows with one event handler each, child
// controls addressed by numeric id, menus built from path strings, and
// immediate-mode drawing. Application windows are written once against these
// calls and run on either back end:
//   screen   - FLTK widgets on a display;
//   headless - the same records without a display (tests inject events,
//              message boxes answer with their default, dialogs return a preset).
// The toolkit keeps every window's controls in its own records, so setting or
// reading a control from a worker thread acts at once and never waits for the
// main thread; the screen catches up. This header includes no GUI headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct XsWindow;

// Event handler: (window, event code, four data integers) -> ignored int.
using XsHandler = int (*)(XsWindow* window, int event, int* data);

// Event codes delivered to handlers.
enum XsEvent : int {
  kXsUser = 1, kXsPaint = 2, kXsMinimised = 3, kXsMaximised = 4, kXsResized = 5, kXsClose = 6,
  kXsSizing = 7, kXsSized = 8, kXsMoving = 9, kXsMoved = 10, kXsScrolled = 11,
  kXsMouseMove = 13, kXsMouseHover = 14, kXsMouseLeave = 15, kXsLeftDown = 16, kXsDrag = 17,
  kXsLeftUp = 18, kXsRightUp = 19, kXsDoubleClick = 20, kXsKeyDown = 21, kXsKeyUp = 22,
  kXsMenu = 23, kXsButton = 24, kXsEditChanged = 25, kXsEditLostFocus = 26,
  kXsSliderMoved = 30, kXsSliderReleased = 31, kXsSelectionChanged = 32, kXsListDoubleClick = 33,
};

// Window kinds.
enum XsWindowKind : int { kXsFixedTool = 1, kXsResizableTool = 3, kXsMainFrame = 4 };

// Control kinds.
enum XsControlKind : int {
  kXsStatic = 0, kXsButtonControl = 1, kXsCheckBox = 2, kXsCombo = 3, kXsEdit = 4,
  kXsMultiEdit = 5, kXsSlider = 6, kXsProgress = 7, kXsList = 8,
};

enum XsBackend : int { kXsBackendHeadless = 0, kXsBackendScreen = 1 };

// Chooses the back end: screen when `wantScreen` and a display opens, else
// headless (with one diagnostic line when a display was wanted but failed).
bool XsToolkitInit(bool wantScreen);
XsBackend XsGetBackend();

XsWindow* XsWindowCreate(XsHandler handler, int kind);
bool XsWindowSetTitle(XsWindow* w, const char* text);
std::string XsWindowGetTitle(XsWindow* w);
bool XsWindowSetClientSize(XsWindow* w, int width, int height);
bool XsWindowGetClientSize(XsWindow* w, int* width, int* height);
bool XsWindowMove(XsWindow* w, int x, int y);
bool XsWindowGetPosition(XsWindow* w, int* x, int* y);
bool XsWindowShow(XsWindow* w);
bool XsWindowHide(XsWindow* w);
bool XsWindowIsShown(XsWindow* w);
// Requests a paint event (event 2) for the whole client area; never waits.
bool XsWindowInvalidate(XsWindow* w);

// Runs a nested loop with `w` shown until XsQuit; input to other windows is dropped.
bool XsRunModal(XsWindow* w);
// The main loop until XsQuit (or hv::QuitRequested()).
void XsMessageLoop();
// As XsMessageLoop, also ending after `seconds` (negative: no limit).
void XsMessageLoopFor(double seconds);
void XsMessageDrain();
void XsQuit();
// Posts event 1 with (kXsPostCode, value) to the main window (the first window
// created with kind 4); safe from any thread.
constexpr int kXsPostCode = 100;
void XsPostToMain(int value);

// Message boxes. Headless (and when called off the main thread): printed to
// standard output as "[caption] text", answered with the default (information,
// warning, error: OK; question: the next preset answer, else No).
void XsMessageInfoPlaybackStop(XsWindow* owner);  // "Playback must be stopped before exiting"
void XsMessageWarning(XsWindow* owner, const char* text);
bool XsMessageQuestion(XsWindow* owner, const char* text, const char* caption);
void XsMessageError(XsWindow* owner, const char* text, const char* caption);

// File dialogs: `filter` is a list of patterns separated by ";" (";*.wav").
// True with the chosen path when the user chose one. Save appends the first
// pattern's extension (entry 1 of ";*.wav") to a name typed without one.
// Headless (and off the main thread): the next preset answer; none or "" = cancel.
bool XsFileOpenDialog(XsWindow* owner, const char* filter, const char* initialDir, std::string* path);
bool XsFileSaveDialog(XsWindow* owner, const char* filter, const char* initialDir, std::string* path);
bool XsFolderDialog(XsWindow* owner, const char* title, std::string* path);
// The extension rule of the save dialog, exposed for tests: `filter` entries
// are separated by ";", `selectedEntry` counts from 0; a pattern whose
// extension holds a wildcard (".*") appends nothing.
std::string XsAppendFilterExtension(const std::string& path, const std::string& filter, int selectedEntry);

// Controls (window, id, ...), each returning success.
bool XsControlCreate(XsWindow* w, int id, int kind);
bool XsControlMove(XsWindow* w, int id, int x, int y);
bool XsControlResize(XsWindow* w, int id, int width, int height);
bool XsControlShow(XsWindow* w, int id);
bool XsControlHide(XsWindow* w, int id);
bool XsControlEnable(XsWindow* w, int id);
bool XsControlDisable(XsWindow* w, int id);
bool XsControlIsEnabled(XsWindow* w, int id);
bool XsControlIsShown(XsWindow* w, int id);
bool XsControlSetText(XsWindow* w, int id, const char* text);
bool XsControlGetText(XsWindow* w, int id, char* buffer, int capacity);
std::string XsControlText(XsWindow* w, int id);  // "" when missing
bool XsCheckSet(XsWindow* w, int id, bool state);
bool XsCheckGet(XsWindow* w, int id);
bool XsSliderSetRange(XsWindow* w, int id, int maximum);
bool XsSliderSetPosition(XsWindow* w, int id, int position);
int XsSliderGetPosition(XsWindow* w, int id);  // -1 on failure
bool XsProgressSet(XsWindow* w, int id, int value);  // min(value, 100)
int XsProgressGet(XsWindow* w, int id);
// Combo boxes (kind 3) and list boxes (kind 8).
bool XsListAdd(XsWindow* w, int id, const char* text);
int XsListCount(XsWindow* w, int id);
int XsListGetSelected(XsWindow* w, int id);  // -1 when none
bool XsListSelect(XsWindow* w, int id, int index);
bool XsListGetText(XsWindow* w, int id, int index, char* buffer, int capacity);
int XsListFind(XsWindow* w, int id, const char* text);  // -1 when absent
bool XsListClear(XsWindow* w, int id);
// Fills the list from a directory listing with a path pattern ("dir/*.*w*"), sorted.
bool XsListFillDir(XsWindow* w, int id, const char* pattern);

// Drag list (kind 8): moves item `from` to position `to` (-1: after the last
// item) and selects it, as a drop of a drag does.
bool XsListMoveItem(XsWindow* w, int id, int from, int to);

// Menus.
bool XsMenuAdd(XsWindow* w, int id, const char* path);
bool XsMenuCheck(XsWindow* w, int id);
bool XsMenuUncheck(XsWindow* w, int id);
bool XsMenuEnable(XsWindow* w, int id);
bool XsMenuDisable(XsWindow* w, int id);
bool XsMenuIsChecked(XsWindow* w, int id);
bool XsMenuIsEnabled(XsWindow* w, int id);
// A copy of the window's menu tree (for tests and diagnostics).
struct XsMenuItem {
  std::string label;    // shown text ("__" already made "_")
  int mnemonic = 0;     // the mnemonic character, 0 when none
  int id = 0;
  bool separator = false;
  bool submenu = false;
  bool checked = false;
  bool enabled = true;
  std::vector<XsMenuItem> children;
};
std::vector<XsMenuItem> XsMenuTree(XsWindow* w);

// Drawing with the window's current colour. Worker threads hold the display lock.
bool XsDrawSetColor(XsWindow* w, int red, int green, int blue);
uint32_t XsDrawGetColor(XsWindow* w);  // 0x00RRGGBB
bool XsDrawSetColorWindowText(XsWindow* w);
bool XsDrawSetColorWindow(XsWindow* w);
bool XsDrawPixel(XsWindow* w, int x, int y);
bool XsDrawLine(XsWindow* w, int x1, int y1, int x2, int y2);
bool XsDrawLines(XsWindow* w, const int* points, int count);  // count point pairs (x, y)
bool XsDrawRect(XsWindow* w, int left, int top, int width, int height);
bool XsDrawText(XsWindow* w, const char* text, int x, int y);
// Size in pixels the text takes when drawn (one line). On the screen the
// glyphs come from the screen's font, headless from a built-in 6 x 10 face.
void XsTextExtent(const char* text, int* width, int* height);
// Draws text as XsDrawText does, with its cell's top left corner at (x, y), into
// a plain pixel buffer of width x height (0x00RRGGBB words, rows top-down) that
// belongs to no window; clipped to the buffer. False, drawing nothing, when the
// buffer holds fewer than width x height pixels.
bool XsDrawTextOnPixels(std::vector<uint32_t>* pixels, int width, int height, const char* text, int x, int y,
                        uint32_t colour);
// Stretch-copies a rectangle of a 32-bit top-down BGRX image; -1 sizes as documented.
bool XsDrawImage(XsWindow* w, const uint32_t* pixels, int imageWidth, int imageHeight, int dx, int dy,
                 int dw, int dh, int sx, int sy, int sw, int sh);
// Reads back the window's drawing surface (tests and screenshots): BGRX, top-down.
bool XsReadSurface(XsWindow* w, std::vector<uint32_t>* pixels, int* width, int* height);

// Test and headless support.
// Delivers an event to the window's handler on the calling thread.
int XsInjectEvent(XsWindow* w, int event, int d0 = 0, int d1 = 0, int d2 = 0, int d3 = 0);
// Preset answers for headless dialogs and questions (consumed in order; empty = cancel/No).
void XsPresetDialogAnswer(const std::string& path);
void XsPresetQuestionAnswer(bool yes);
// Every window created so far, in creation order.
std::vector<XsWindow*> XsAllWindows();
// The ids of the window's controls, in creation order; kind and place of one.
std::vector<int> XsControlIds(XsWindow* w);
bool XsControlGetRect(XsWindow* w, int id, int* kind, int* x, int* y, int* width, int* height);

// Text fit on the screen back end (main thread): the size `text` takes in the
// control as drawn there (static texts wrap at word breaks) and the room the
// control gives its text. Static texts, buttons, check boxes and one-line
// edits; false for other kinds, missing controls and without a screen.
struct XsTextFit {
  int textWidth = 0, textHeight = 0;
  int roomWidth = 0, roomHeight = 0;
  bool Fits() const { return (textWidth == 0 || textWidth <= roomWidth) && textHeight <= roomHeight; }
};
bool XsControlTextFit(XsWindow* w, int id, const char* text, XsTextFit* fit);
// The face and pixel size the screen uses for control texts ("" headless).
std::string XsControlFontName(int* size);
