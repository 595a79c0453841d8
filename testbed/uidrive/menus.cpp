// Reading a window's menu bar: directly where the system allows it, through
// the mail client's automation channel where it does not (Wine keeps menus
// per process).
#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

bool ReadMenu(HMENU menu, const std::string& path, int depth, std::vector<MenuItem>& out) {
  int count = GetMenuItemCount(menu);
  if (count < 0) return false;
  for (int i = 0; i < count && depth < 8; ++i) {
    char text[256] = "";
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, i, TRUE, &info)) return false;
    MenuItem item;
    item.path = path.empty() ? std::to_string(i) : path + "." + std::to_string(i);
    item.popup = info.hSubMenu != nullptr;
    item.id = item.popup ? 0 : info.wID;
    item.text = text;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    // MFS_GRAYED and MFS_DISABLED are one value; the old MF_ bits tell them apart.
    item.grayed = (info.fState & MF_GRAYED) != 0;
    item.disabled = !item.grayed && (info.fState & MF_DISABLED);
    item.checked = (info.fState & MFS_CHECKED) != 0;
    out.push_back(item);
    if (item.popup && !ReadMenu(info.hSubMenu, item.path, depth + 1, out)) return false;
  }
  return true;
}

bool HasFlag(const std::string& flags, std::string_view flag) {
  size_t start = 0;
  while (start <= flags.size()) {
    size_t comma = flags.find(',', start);
    if (comma == std::string::npos) comma = flags.size();
    if (std::string_view(flags).substr(start, comma - start) == flag) return true;
    start = comma + 1;
  }
  return false;
}

std::vector<MenuItem> MenuThroughAutomation(HWND window, DWORD timeoutMs) {
  automation::Message reply = MailClient(window).Call({"menu", {}}, timeoutMs);
  std::vector<MenuItem> items;
  for (const std::string& line : reply.All("item")) {
    // <path> \t <id or "popup"> \t <flags> \t <text, which may hold tabs>
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
    if (t3 == std::string::npos) throw Failure("malformed menu item from the mail client: " + line);
    MenuItem item;
    item.path = line.substr(0, t1);
    std::string id = line.substr(t1 + 1, t2 - t1 - 1);
    std::string flags = line.substr(t2 + 1, t3 - t2 - 1);
    item.text = line.substr(t3 + 1);
    item.popup = HasFlag(flags, "popup");
    if (!item.popup) {
      auto value = automation::ParseNumber(id);
      if (!value) throw Failure("malformed menu id from the mail client: " + line);
      item.id = static_cast<UINT>(*value);
    }
    item.separator = HasFlag(flags, "separator");
    item.grayed = HasFlag(flags, "grayed");
    item.disabled = HasFlag(flags, "disabled");
    item.checked = HasFlag(flags, "checked");
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

std::vector<MenuItem> MenuBar(HWND window, DWORD timeoutMs) {
  if (!IsWindow(window)) throw Failure("not a window");
  HMENU bar = GetMenu(window);
  std::vector<MenuItem> items;
  if (bar && ReadMenu(bar, "", 0, items)) return items;
  if (ClassOf(window) == "EudoraMainWindow") return MenuThroughAutomation(window, timeoutMs);
  if (!bar) throw Failure("the window has no menu bar");
  throw Failure("the menu bar of another process cannot be read here");
}

}  // namespace uidrive
