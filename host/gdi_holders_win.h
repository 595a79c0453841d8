// The scopes of one paint: BeginPaint ... EndPaint, and what a DC had
// selected put back, so every way out of a paint leaves the DC as it was
// (an object is put out of a DC before either is deleted; the objects and
// DCs themselves are owned by the holders of common/handles_win.h).
#pragma once

#include <windows.h>

#include "common/handles_win.h"

// BeginPaint ... EndPaint for one WM_PAINT. dc() is null when BeginPaint
// gave no device context; EndPaint is still called, as the platform wants.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Remembers what a DC has selected of one kind (font, bitmap) and selects
// it again at the end of the scope, whatever was selected in between.
class SelectionKeeper {
 public:
  SelectionKeeper(HDC dc, UINT kind) : dc_(dc), kept_(dc ? GetCurrentObject(dc, kind) : nullptr) {}
  ~SelectionKeeper() {
    if (kept_ != nullptr) SelectObject(dc_, kept_);
  }
  SelectionKeeper(const SelectionKeeper&) = delete;
  SelectionKeeper& operator=(const SelectionKeeper&) = delete;

 private:
  HDC dc_;
  HGDIOBJ kept_;
};
