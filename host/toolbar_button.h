// Where the module's button sits on Eudora's toolbar, when it is created and
// after the bar changes size. Pure geometry; the window calls are glue.
#pragma once

#include <cstdint>

constexpr int kButtonSize = 26;               // the button is square
constexpr int kButtonMarginAfterSize = 2;     // across the bar, after a size change
constexpr int IDC_PGP_BUTTON = 0xE887;        // control id the button is found by

struct ButtonPlace {
  int x;
  int y;
};

// A bar as wide as it is high counts as vertical.
bool IsHorizontalBar(int width, int height);

// The place at creation in a toolbar whose client area is width x height:
// centred across the bar (a bar thinner than the button gives a negative
// offset), and along it at ButtonPos, or near the far end when ButtonPos
// is 0.
ButtonPlace ButtonPlaceAtCreation(int width, int height, int32_t buttonPos);

// The place after the bar changed size. A ButtonPos that no longer lies
// within the bar is given up for good (set to 0), so the button cannot stay
// out of sight; the exit then saves the 0.
ButtonPlace ButtonPlaceAfterSize(int width, int height, int32_t& buttonPos);
