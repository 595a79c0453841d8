// A window's picture as a 24-bit BMP file (the Linux side turns it into PNG).
#include <cstdio>
#include <memory>
#include <vector>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() {
    if (dc) ReleaseDC(nullptr, dc);
  }
  ScreenDc() = default;
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
};

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

std::vector<unsigned char> Pixels(HDC screen, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: rows bottom-up, as BMP files store them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<unsigned char> pixels(stride * height);
  if (GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height)
    throw Failure("cannot read the captured picture");
  return pixels;
}

void WriteBmp(const std::string& path, int width, int height,
              const std::vector<unsigned char>& pixels) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::unique_ptr<FILE, FileCloser> out(fopen(path.c_str(), "wb"));
  if (!out || fwrite(&file, sizeof file, 1, out.get()) != 1 ||
      fwrite(&info, sizeof info, 1, out.get()) != 1 ||
      fwrite(pixels.data(), 1, pixels.size(), out.get()) != pixels.size())
    throw Failure("cannot write " + path);
}

}  // namespace

void CaptureToBmp(HWND window, const std::string& path, bool printWindow) {
  if (!IsWindow(window)) throw Failure("not a window");
  RECT r;
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) throw Failure("the window has no area to capture");
  ScreenDc screen;
  UniqueMemoryDc memory(CreateCompatibleDC(screen.dc));
  UniqueBitmap bitmap(CreateCompatibleBitmap(screen.dc, width, height));
  if (!screen.dc || !memory || !bitmap) throw Failure("no memory for the picture");
  HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
  bool drawn = printWindow ? PrintWindow(window, memory.get(), 0) != FALSE
                           : BitBlt(memory.get(), 0, 0, width, height, screen.dc, r.left, r.top,
                                    SRCCOPY | CAPTUREBLT) != FALSE;
  SelectObject(memory.get(), old);
  if (!drawn) throw Failure("cannot copy the window's picture");
  WriteBmp(path, width, height, Pixels(screen.dc, bitmap.get(), width, height));
}

}  // namespace uidrive
