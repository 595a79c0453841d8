#include "host/fonts_win.h"

HFONT TextFont = nullptr;
HFONT SmallFont = nullptr;

namespace {

// Only height, width, weight, family and face matter to the dialogs; the
// rest stays at the system's defaults so the mapper picks freely.
HFONT CreateModernFont(int height, int width, int weight, const char* face) {
  return CreateFontA(height, width, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, FF_MODERN | DEFAULT_PITCH,
                     face);
}

void Delete(HFONT& font) {
  if (font != nullptr) DeleteObject(font);
  font = nullptr;
}

}  // namespace

bool CreateFonts() {
  DeleteFonts();
  TextFont = CreateModernFont(12, 7, 500, "helvetica");
  SmallFont = CreateModernFont(6, 4, 300, "courier");
  return TextFont != nullptr && SmallFont != nullptr;
}

void DeleteFonts() {
  Delete(TextFont);
  Delete(SmallFont);
}
