#include "gfx/colors.h"

namespace orn {

namespace {

// The system colour table: the one place system colours are resolved.
constexpr TColor SysColors[SystemColorCount] = {
    RGB(200, 200, 200),  // scroll bar
    RGB(0, 0, 0),        // desktop background
    RGB(153, 180, 209),  // active caption
    RGB(191, 205, 219),  // inactive caption
    RGB(240, 240, 240),  // menu
    RGB(255, 255, 255),  // window background
    RGB(100, 100, 100),  // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(0, 0, 0),        // caption text
    RGB(180, 180, 180),  // active border
    RGB(244, 247, 252),  // inactive border
    RGB(171, 171, 171),  // application workspace
    RGB(51, 153, 255),   // highlight
    RGB(255, 255, 255),  // highlighted text
    RGB(240, 240, 240),  // button face
    RGB(160, 160, 160),  // button shadow
    RGB(109, 109, 109),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(67, 78, 84),     // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(105, 105, 105),  // 3D dark shadow
    RGB(227, 227, 227),  // 3D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
};

}  // namespace

TColor GetSysColor(int Index) {
  if (Index < 0 || Index >= SystemColorCount) return clBlack;
  return SysColors[Index];
}

TColor ColorToRGB(TColor Color) {
  if ((Color & 0xFF000000u) == clSystemColor) return GetSysColor(static_cast<int>(Color & 0xFF));
  return Color;
}

}  // namespace orn
