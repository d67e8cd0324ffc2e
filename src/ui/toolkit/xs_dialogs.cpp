// Message boxes and file dialogs. On the screen (and on the main thread) they
// are real modal dialogs; otherwise a message box is printed to standard output
// and answered with its default, and a dialog returns the next preset answer.
#include <cstdio>
#include <deque>
#include <mutex>

#include "ui/toolkit/xs_records.h"

using namespace xs;

namespace {

enum BoxType { kBoxInfo = 0, kBoxWarning = 1, kBoxQuestion = 2, kBoxError = 3 };

std::mutex s_presetLock;
std::deque<std::string> s_dialogAnswers;
std::deque<bool> s_questionAnswers;

// The screen, when there is one and the caller is its main thread.
BackendHooks* Screen() {
  BackendHooks* hooks = g_hooks.load(std::memory_order_acquire);
  return hooks && OnMainThread() ? hooks : nullptr;
}

bool Box(XsWindow* owner, int type, const char* text, const char* caption) {
  if (BackendHooks* screen = Screen()) return screen->MessageBox(owner, type, text, caption);
  bool answer = true;
  if (type == kBoxQuestion) {
    std::lock_guard<std::mutex> g(s_presetLock);
    answer = false;
    if (!s_questionAnswers.empty()) {
      answer = s_questionAnswers.front();
      s_questionAnswers.pop_front();
    }
  }
  if (type == kBoxQuestion)
    std::printf("[%s] %s -> %s\n", caption, text, answer ? "Yes" : "No");
  else
    std::printf("[%s] %s\n", caption, text);
  std::fflush(stdout);
  return answer;
}

bool PresetAnswer(std::string* path) {
  std::lock_guard<std::mutex> g(s_presetLock);
  if (s_dialogAnswers.empty()) return false;
  std::string answer = std::move(s_dialogAnswers.front());
  s_dialogAnswers.pop_front();
  if (answer.empty()) return false;
  *path = std::move(answer);
  return true;
}

}  // namespace

void XsPresetDialogAnswer(const std::string& path) {
  std::lock_guard<std::mutex> g(s_presetLock);
  s_dialogAnswers.push_back(path);
}

void XsPresetQuestionAnswer(bool yes) {
  std::lock_guard<std::mutex> g(s_presetLock);
  s_questionAnswers.push_back(yes);
}

void XsMessageInfoPlaybackStop(XsWindow* owner) {
  Box(owner, kBoxInfo, "Playback must be stopped before exiting", "Playback Message");
}

void XsMessageWarning(XsWindow* owner, const char* text) { Box(owner, kBoxWarning, text ? text : "", "Warning"); }

bool XsMessageQuestion(XsWindow* owner, const char* text, const char* caption) {
  std::string title = caption && *caption ? caption : XsWindowGetTitle(owner);
  return Box(owner, kBoxQuestion, text ? text : "", title.c_str());
}

void XsMessageError(XsWindow* owner, const char* text, const char* caption) {
  Box(owner, kBoxError, text ? text : "", caption && *caption ? caption : "Error");
}

// The filter is a list of entries separated by ";" (";*.wav" holds an empty
// description and the pattern "*.wav"); the selected entry's text from its
// first "." on is appended to a file name typed without an extension.
std::string XsAppendFilterExtension(const std::string& path, const std::string& filter, int selectedEntry) {
  if (path.empty()) return path;
  size_t slash = path.find_last_of('/');
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return path;
  size_t start = 0;
  for (int i = 0; i < selectedEntry; ++i) {
    start = filter.find(';', start);
    if (start == std::string::npos) return path;
    ++start;
  }
  size_t end = filter.find(';', start);
  std::string entry = filter.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t dot = entry.find('.');
  if (dot == std::string::npos) return path;
  std::string extension = entry.substr(dot);
  // A pattern extension such as ".*" or ".w*" names no single extension.
  if (extension.find_first_of("*?") != std::string::npos) return path;
  return path + extension;
}

bool XsFileOpenDialog(XsWindow* owner, const char* filter, const char* initialDir, std::string* path) {
  if (!path) return false;
  if (BackendHooks* screen = Screen()) return screen->FileDialog(owner, 0, filter ? filter : "", initialDir, path);
  return PresetAnswer(path);
}

bool XsFileSaveDialog(XsWindow* owner, const char* filter, const char* initialDir, std::string* path) {
  if (!path) return false;
  std::string chosen;
  bool ok;
  if (BackendHooks* screen = Screen())
    ok = screen->FileDialog(owner, 1, filter ? filter : "", initialDir, &chosen);
  else
    ok = PresetAnswer(&chosen);
  if (!ok) return false;
  // The dialogs offer the first pattern of the filter, entry 1 of ";*.wav".
  *path = XsAppendFilterExtension(chosen, filter ? filter : "", 1);
  return true;
}

bool XsFolderDialog(XsWindow* owner, const char* title, std::string* path) {
  if (!path) return false;
  if (BackendHooks* screen = Screen()) return screen->FileDialog(owner, 2, title ? title : "", nullptr, path);
  return PresetAnswer(path);
}
