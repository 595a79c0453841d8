#include "host/toolbar_button.h"

#include <algorithm>
#include <limits>

namespace {

// The arithmetic runs in 64 bits so that no rectangle the platform could
// report makes a signed overflow; the result is held to the int range.
int ToInt(int64_t value) {
  constexpr int64_t lowest = std::numeric_limits<int>::min();
  constexpr int64_t highest = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(value, lowest, highest));
}

ButtonPlace Oriented(bool horizontal, int64_t along, int64_t across) {
  if (horizontal) return {ToInt(along), ToInt(across)};
  return {ToInt(across), ToInt(along)};
}

}  // namespace

bool IsHorizontalBar(int width, int height) { return height < width; }

ButtonPlace ButtonPlaceAtCreation(int width, int height, int32_t buttonPos) {
  const bool horizontal = IsHorizontalBar(width, height);
  const int64_t shortSide = std::min(width, height);
  const int64_t longSide = std::max(width, height);
  const int64_t across = (shortSide - kButtonSize) / 2;  // C++ division truncates toward zero
  const int64_t along = buttonPos != 0 ? int64_t{buttonPos} : longSide - shortSide + across;
  return Oriented(horizontal, along, across);
}

ButtonPlace ButtonPlaceAfterSize(int width, int height, int32_t& buttonPos) {
  const int64_t difference = int64_t{width} - height;
  int64_t pos = difference < 0 ? -difference : difference;
  if (buttonPos != 0) {
    if (buttonPos < pos) {
      pos = buttonPos;
    } else {
      buttonPos = 0;
    }
  }
  return Oriented(IsHorizontalBar(width, height), pos, kButtonMarginAfterSize);
}
