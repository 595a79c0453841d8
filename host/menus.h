// Which of Eudora's popups are its File, Message and Help menus, and what
// follows Select All in its Edit menu. Pure: the Win32 glue reads the menu
// bar into rows and applies the answer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/mail_client.h"

// The module's own command ids.
constexpr uint16_t IDM_HELP_SEPARATOR = 15431;     // gets an id so it can be removed by command
constexpr uint16_t IDM_MESSAGE_SEPARATOR = 15432;
constexpr uint16_t IDM_ABOUT = 15433;
constexpr uint16_t IDM_RUN_PGP = 15434;
constexpr uint16_t IDM_EXIT_EXTENSION = 15435;
constexpr uint16_t IDM_ADD_BUTTON = 15436;          // posted to the main window, in no menu


// One top-level item of the menu bar: the id of its popup's first item as
// GetMenuItemID reports it, and its text. Rows are indexed by position.
struct MenuBarItem {
  uint32_t firstItemId;
  std::string_view text;
};

// Positions on the menu bar that receive the module's items.
struct MenuPositions {
  int file;
  int message;
  int help;
  int edit;  // the popup after File is taken to be Edit
};

// Recognises File, Message and Help by the first id of their popup, or else
// by their exact (case-sensitive) text; items without text are skipped. The
// lowest matching position wins. Not found: File 1, Message 3, Help the last
// position (-1 for an empty bar, which names no popup).
MenuPositions FindMenuPositions(std::span<const MenuBarItem> menuBar);

// The command ids of the two items after Select All, which the text capture
// sends to Eudora. Taken at the highest position holding Select All; a
// position past the end gives kNoMenuItemId, a separator 0. No Select All:
// both 0.
struct SelectAllNeighbours {
  uint32_t SelectAllNext1;
  uint32_t SelectAllNext2;
};
SelectAllNeighbours FindSelectAllNeighbours(std::span<const uint32_t> editMenuIds);

// Without a second item after Select All, Eudora has no nickname completion
// command the module could use, so NickNames has to be switched off.
bool NickNamesUnavailable(const SelectAllNeighbours& neighbours);
