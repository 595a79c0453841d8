#include "host/about_dialog_win.h"

#include "command/confirm_dialog_win.h"
#include "core/command_state_win.h"
#include "core/shared_state_win.h"
#include "host/fonts_win.h"
#include "host/gdi_holders_win.h"
#include "resources/resource_ids.h"

namespace {

// strings 30 and 31 are one short sentence each
constexpr int kStringBufferSize = 80;

template <size_t N>
void DrawFixed(HDC dc, int x, int y, const char (&text)[N]) {
  TextOutA(dc, x, y, text, static_cast<int>(N - 1));
}

void DrawString(HDC dc, int x, int y, UINT id) {
  char text[kStringBufferSize];
  const int length = LoadModuleString(id, text, sizeof text);
  if (length > 0) TextOutA(dc, x, y, text, length);
}

// A font that could not be made is skipped: the line is then drawn in the
// font already selected rather than selecting a null handle.
void Use(HDC dc, HFONT font) {
  if (font != nullptr) SelectObject(dc, font);
}

void PaintAbout(HWND dialog) {
  PaintScope paint(dialog);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(dialog, &client);
  const int bottom = client.bottom;
  SetBkMode(dc, TRANSPARENT);
  SelectionKeeper keepFont(dc, OBJ_FONT);
  DrawFixed(dc, 90, 2, kAboutVersion);
  DrawFixed(dc, 90, 17, kAboutPurpose);
  DrawFixed(dc, 90, 32, kAboutUse);
  Use(dc, TextFont);
  DrawString(dc, 90, 55, IDS_ABOUT_LINE1);
  DrawString(dc, 90, 70, IDS_ABOUT_LINE2);
  Use(dc, SmallFont);
  DrawFixed(dc, 90, bottom - 28, kAboutProject);
  DrawFixed(dc, 1, bottom - 14, kAboutNoCrypto);
}

}  // namespace

extern "C" INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog, sharedState.clientMainWindow);
      return TRUE;
    case WM_PAINT:
      PaintAbout(dialog);
      return TRUE;
    case WM_COMMAND:
      // Only a click (notification 0) on OK, or Escape and the close box
      // (both arrive as Cancel), ends the box.
      if ((LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) && HIWORD(wParam) == 0) {
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
      }
      return TRUE;
    default:
      return FALSE;
  }
}
