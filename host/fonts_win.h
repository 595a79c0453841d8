// The two fonts the module's hand-painted dialogs draw with. They are made
// once per initialisation inside the mail client and live until the module
// leaves it, so no paint ever has to create or fail to create a font.
#pragma once

#include <windows.h>

#include "host/extension_win.h"

// Makes both fonts. Fonts left over from an earlier, failed initialisation
// attempt are deleted first, so repeated attempts do not pile up GDI
// objects. True only when both exist afterwards.
bool CreateFonts(Fonts& fonts);

// Deletes the fonts that exist and forgets them, so a later paint or a
// second release never touches a deleted handle.
void DeleteFonts(Fonts& fonts);
