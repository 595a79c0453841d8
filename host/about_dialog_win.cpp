#include "host/about_dialog_win.h"

#include <string>

#include "command/confirm_dialog_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "host/gdi_holders_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files.h"

namespace {

void DrawLine(HDC dc, int x, int y, const std::string& text) {
  if (!text.empty()) TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
}

void DrawString(HDC dc, int x, int y, UINT id) { DrawLine(dc, x, y, ModuleString(id)); }

// A font that could not be made is skipped: the line is then drawn in the
// font already selected rather than selecting a null handle.
void Use(HDC dc, HFONT font) {
  if (font != nullptr) SelectObject(dc, font);
}

void PaintAbout(HWND dialog, const Fonts* fonts) {
  PaintScope paint(dialog);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(dialog, &client);
  const int bottom = client.bottom;
  SetBkMode(dc, TRANSPARENT);
  SelectionKeeper keepFont(dc, OBJ_FONT);
  // QL_VERSION is the project version, which the version resources carry too.
  DrawLine(dc, 90, 2, FillTemplate(ModuleString(IDS_ABOUT_VERSION).c_str(), {QL_VERSION}, {}));
  DrawString(dc, 90, 17, IDS_ABOUT_PURPOSE);
  DrawString(dc, 90, 32, IDS_ABOUT_USE);
  Use(dc, fonts != nullptr ? fonts->TextFont : nullptr);
  DrawString(dc, 90, 55, IDS_ABOUT_LINE1);
  DrawString(dc, 90, 70, IDS_ABOUT_LINE2);
  Use(dc, fonts != nullptr ? fonts->SmallFont : nullptr);
  DrawString(dc, 90, bottom - 28, IDS_ABOUT_PROJECT);
  DrawString(dc, 1, bottom - 14, IDS_ABOUT_NO_CRYPTO);
}

}  // namespace

void OpenAbout(HWND owner, const Fonts& fonts) {
  DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc,
                  reinterpret_cast<LPARAM>(&fonts));
}

extern "C" INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      CenterWindow(dialog, sharedState.clientMainWindow);
      return TRUE;
    case WM_PAINT:
      PaintAbout(dialog, reinterpret_cast<const Fonts*>(GetWindowLongPtrA(dialog, DWLP_USER)));
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
