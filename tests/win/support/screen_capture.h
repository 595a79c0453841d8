// Reads what a window shows on the screen into memory, so tests can compare
// painted pixels, and keeps a copy as a 24-bit BMP in the build folder's
// "screenshots" directory for a person to look at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool operator==(const Image&) const = default;
};

// A 32-bit top-down DIB section selected into its own DC; the DC and the
// bitmap go when it does.
class DibCanvas {
 public:
  DibCanvas(int width, int height, uint32_t fill = 0x00FFFFFF) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                               nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    for (int i = 0; i < width * height; ++i) bits_[i] = fill;
  }
  ~DibCanvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;

  HDC dc() const { return dc_; }
  Image Read() const {
    GdiFlush();
    return {width_, height_, std::vector<uint32_t>(bits_, bits_ + width_ * height_)};
  }

 private:
  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// The screen's pixels inside `rect` (screen coordinates).
inline Image CaptureScreen(const RECT& rect) {
  DibCanvas canvas(rect.right - rect.left, rect.bottom - rect.top);
  HDC screen = GetDC(nullptr);
  BitBlt(canvas.dc(), 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left,
         rect.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return canvas.Read();
}

// What the window shows, frame and all.
inline Image CaptureWindow(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return CaptureScreen(rect);
}

// What the window shows inside its client area.
inline Image CaptureClient(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return CaptureScreen(rect);
}

// <build>\screenshots\<name>.bmp, the test executable living in <build>\bin.
inline std::string ScreenshotPath(const char* name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path);
  for (int up = 0; up < 2; ++up) dir.erase(dir.find_last_of('\\'));
  dir += "\\screenshots";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\" + name + ".bmp";
}

// A bottom-up 24-bit BMP, rows padded to four bytes.
inline bool SaveBmp(const Image& image, const std::string& path) {
  const int stride = (image.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = image.width;
  info.biHeight = image.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(stride * image.height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::vector<uint8_t> rows(info.biSizeImage, 0);
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = rows.data() + static_cast<size_t>(image.height - 1 - y) * stride;
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = image.At(x, y);
      row[x * 3] = static_cast<uint8_t>(p);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, &file, sizeof file, &written, nullptr) &&
            WriteFile(f, &info, sizeof info, &written, nullptr) &&
            WriteFile(f, rows.data(), info.biSizeImage, &written, nullptr);
  CloseHandle(f);
  return ok;
}

// Lets the windows of this thread paint what they have to.
inline void SettlePaint() {
  MSG msg;
  for (int round = 0; round < 5; ++round) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    GdiFlush();
    Sleep(20);
  }
}
