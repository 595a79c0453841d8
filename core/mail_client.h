// What the module relies on from the mail client's menus: Eudora's own
// command ids (the standard MFC ones), by which its popups are recognised
// and which the module sends it.
#pragma once

#include <cstdint>

constexpr uint32_t kMessageMenuFirstId = 0x801D;
constexpr uint32_t kHelpMenuFirstId = 0xE142;       // Help Index
constexpr uint32_t kFileMenuIdMask = 0xE10F;        // any File command passes the mask ...
constexpr uint32_t kFileMenuIdTag = 0xE100;         // ... and lands on File New
constexpr uint32_t kAppExitId = 0xE141;
constexpr uint32_t kSelectAllId = 0xE12A;
constexpr uint32_t kUndoId = 0xE12B;

// The id GetMenuItemID reports for a position that holds no command item
// (past the end, or a popup).
constexpr uint32_t kNoMenuItemId = 0xFFFFFFFF;
