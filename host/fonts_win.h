// The two fonts the module's hand-painted dialogs draw with. They are made
// once per initialisation inside the mail client and live until the module
// leaves it, so no paint ever has to create or fail to create a font.
#pragma once

#include <windows.h>

// "helvetica" 12 x 7, for the explanatory lines.
extern HFONT TextFont;
// "courier" 6 x 4, for the small print.
extern HFONT SmallFont;

// Makes both fonts. Fonts left over from an earlier, failed initialisation
// attempt are deleted first, so repeated attempts do not pile up GDI
// objects. True only when both exist afterwards.
bool CreateFonts();

// Deletes the fonts that exist and forgets them, so a later paint or a
// second release never touches a deleted handle.
void DeleteFonts();
