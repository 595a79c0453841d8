#include "host/menus.h"

#include <cstddef>

MenuPositions FindMenuPositions(std::span<const MenuBarItem> menuBar) {
  int file = -1;
  int message = -1;
  int help = -1;
  // Downward, every match overwriting: the lowest matching position stays.
  for (size_t i = menuBar.size(); i-- > 0;) {
    const MenuBarItem& item = menuBar[i];
    if (item.text.empty()) continue;
    const int position = static_cast<int>(i);
    if (item.firstItemId == kMessageMenuFirstId || item.text == "&Message") message = position;
    if (item.firstItemId == kHelpMenuFirstId || item.text == "&Help") help = position;
    if ((item.firstItemId & kFileMenuIdMask) == kFileMenuIdTag || item.text == "&File") file = position;
  }
  if (file < 0) file = 1;
  if (message < 0) message = 3;
  if (help < 0) help = static_cast<int>(menuBar.size()) - 1;
  return {file, message, help, file + 1};
}

SelectAllNeighbours FindSelectAllNeighbours(std::span<const uint32_t> editMenuIds) {
  auto idAt = [&](size_t position) {
    return position < editMenuIds.size() ? editMenuIds[position] : kNoMenuItemId;
  };
  for (size_t i = editMenuIds.size(); i-- > 0;) {
    if (editMenuIds[i] == kSelectAllId) return {idAt(i + 1), idAt(i + 2)};
  }
  return {0, 0};
}

bool NickNamesUnavailable(const SelectAllNeighbours& neighbours) {
  return neighbours.SelectAllNext2 == 0;
}
