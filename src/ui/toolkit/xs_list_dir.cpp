// Fills a list box from a directory listing: "dir/*.*w*" lists the names of the
// regular files in "dir" that match the last segment's wildcard pattern.
#include <fnmatch.h>

#include <filesystem>
#include <system_error>

#include "ui/toolkit/xs_records.h"

bool XsListFillDir(XsWindow* w, int id, const char* pattern) {
  if (!w || !pattern) return false;
  if (XsListCount(w, id) < 0) return false;
  std::string p(pattern);
  size_t slash = p.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string(".") : p.substr(0, slash == 0 ? 1 : slash);
  std::string glob = p.substr(slash == std::string::npos ? 0 : slash + 1);
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return false;
  XsListClear(w, id);
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code fec;
    if (!it->is_regular_file(fec)) continue;
    std::string name = it->path().filename().string();
    if (fnmatch(glob.c_str(), name.c_str(), FNM_PERIOD) == 0) XsListAdd(w, id, name.c_str());
  }
  // Ask the screen to give the list the focus.
  std::lock_guard<std::mutex> g(w->rec.lock);
  if (xs::ControlRecord* c = xs::FindControl(w, id)) {
    c->wantFocus = true;
    c->version++;
    xs::RecordsChanged(w);
  }
  return true;
}
