// Menus built from path strings. "File/Save _As" adds the item "Save As" with
// the mnemonic A to the submenu "File", creating the submenu on first use and
// reusing it afterwards. In an item's text "_" marks the next character as the
// mnemonic and "__" stands for one shown underscore. A path ending in "_"
// appends a separator to the submenu its earlier segments reach.
#include "ui/toolkit/xs_records.h"

using namespace xs;

namespace {

// Splits the mnemonic marker out of a segment.
void ParseLabel(const std::string& raw, MenuNode* node) {
  node->label.clear();
  node->mnemonic = -1;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '_' && i + 1 < raw.size()) {
      if (raw[i + 1] == '_') {
        node->label += '_';
      } else {
        if (node->mnemonic < 0) node->mnemonic = static_cast<int>(node->label.size());
        node->label += raw[i + 1];
      }
      ++i;
    } else {
      node->label += raw[i];
    }
  }
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return parts;
}

// Applies `fn` to every item with the id, anywhere in the tree; returns how many.
template <typename F>
int ForEachWithId(std::vector<MenuNode>& level, int id, F fn) {
  int found = 0;
  for (MenuNode& n : level) {
    if (n.submenu) {
      found += ForEachWithId(n.children, id, fn);
    } else if (!n.separator && n.id == id) {
      fn(n);
      ++found;
    }
  }
  return found;
}

template <typename F>
bool ApplyToId(XsWindow* w, int id, F fn) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  if (!w->rec.hasMenuBar) return false;
  if (ForEachWithId(w->rec.menu, id, fn) == 0) return false;
  w->rec.menuVersion++;
  RecordsChanged(w);
  return true;
}

template <typename F>
bool QueryId(XsWindow* w, int id, F fn) {
  if (!w) return false;
  std::lock_guard<std::mutex> g(w->rec.lock);
  bool result = false;
  bool first = true;
  ForEachWithId(w->rec.menu, id, [&](MenuNode& n) {
    if (first) result = fn(n);
    first = false;
  });
  return result;
}

XsMenuItem Copy(const MenuNode& n) {
  XsMenuItem item;
  item.label = n.label;
  item.mnemonic = n.mnemonic >= 0 ? static_cast<unsigned char>(n.label[n.mnemonic]) : 0;
  item.id = n.id;
  item.separator = n.separator;
  item.submenu = n.submenu;
  item.checked = n.checked;
  item.enabled = n.enabled;
  for (const MenuNode& c : n.children) item.children.push_back(Copy(c));
  return item;
}

}  // namespace

bool XsMenuAdd(XsWindow* w, int id, const char* path) {
  if (!w || !path || !*path) return false;
  std::string p(path);
  std::vector<std::string> parts = SplitPath(p);
  std::lock_guard<std::mutex> g(w->rec.lock);
  w->rec.hasMenuBar = true;
  std::vector<MenuNode>* level = &w->rec.menu;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    MenuNode* sub = nullptr;
    for (MenuNode& n : *level)
      if (n.submenu && n.raw == parts[i]) sub = &n;
    if (!sub) {
      MenuNode n;
      n.raw = parts[i];
      n.submenu = true;
      ParseLabel(parts[i], &n);
      level->push_back(std::move(n));
      sub = &level->back();
    }
    level = &sub->children;
  }
  MenuNode item;
  if (p.back() == '_') {
    item.separator = true;
  } else {
    item.raw = parts.back();
    item.id = id;
    ParseLabel(parts.back(), &item);
  }
  level->push_back(std::move(item));
  w->rec.menuVersion++;
  RecordsChanged(w);
  return true;
}

bool XsMenuCheck(XsWindow* w, int id) {
  return ApplyToId(w, id, [](MenuNode& n) { n.checked = true; });
}

bool XsMenuUncheck(XsWindow* w, int id) {
  return ApplyToId(w, id, [](MenuNode& n) { n.checked = false; });
}

bool XsMenuEnable(XsWindow* w, int id) {
  return ApplyToId(w, id, [](MenuNode& n) { n.enabled = true; });
}

bool XsMenuDisable(XsWindow* w, int id) {
  return ApplyToId(w, id, [](MenuNode& n) { n.enabled = false; });
}

bool XsMenuIsChecked(XsWindow* w, int id) {
  return QueryId(w, id, [](MenuNode& n) { return n.checked; });
}

bool XsMenuIsEnabled(XsWindow* w, int id) {
  return QueryId(w, id, [](MenuNode& n) { return n.enabled; });
}

std::vector<XsMenuItem> XsMenuTree(XsWindow* w) {
  std::vector<XsMenuItem> tree;
  if (!w) return tree;
  std::lock_guard<std::mutex> g(w->rec.lock);
  for (const MenuNode& n : w->rec.menu) tree.push_back(Copy(n));
  return tree;
}
