#include "host/fonts_win.h"

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

bool CreateFonts(Fonts& fonts) {
  DeleteFonts(fonts);
  fonts.TextFont = CreateModernFont(12, 7, 500, "helvetica");
  fonts.SmallFont = CreateModernFont(6, 4, 300, "courier");
  return fonts.TextFont != nullptr && fonts.SmallFont != nullptr;
}

void DeleteFonts(Fonts& fonts) {
  Delete(fonts.TextFont);
  Delete(fonts.SmallFont);
}
