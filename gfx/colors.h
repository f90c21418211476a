// Colour values: a 32-bit value with red in the lowest byte, then green, then blue. A value
// whose high byte is 0xFF names a system colour by its low byte and is resolved to RGB through
// one table when it is used.
#pragma once

#include <cstdint>

namespace orn {

using TColor = uint32_t;

// No colour: a frame without transparency, an image without background colour.
constexpr TColor clNone = 0x1FFFFFFF;
// Asks transparent drawing to take the bitmap's bottom-left pixel as the key colour.
constexpr TColor clDefault = 0x20000000;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// System colours (high byte 0xFF, low byte the system colour number).
constexpr TColor clSystemColor = 0xFF000000;
constexpr TColor clScrollBar = 0xFF000000;
constexpr TColor clBackground = 0xFF000001;
constexpr TColor clActiveCaption = 0xFF000002;
constexpr TColor clInactiveCaption = 0xFF000003;
constexpr TColor clMenu = 0xFF000004;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowFrame = 0xFF000006;
constexpr TColor clMenuText = 0xFF000007;
constexpr TColor clWindowText = 0xFF000008;
constexpr TColor clCaptionText = 0xFF000009;
constexpr TColor clActiveBorder = 0xFF00000A;
constexpr TColor clInactiveBorder = 0xFF00000B;
constexpr TColor clAppWorkSpace = 0xFF00000C;
constexpr TColor clHighlight = 0xFF00000D;
constexpr TColor clHighlightText = 0xFF00000E;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clBtnShadow = 0xFF000010;
constexpr TColor clGrayText = 0xFF000011;
constexpr TColor clBtnText = 0xFF000012;
constexpr TColor clInactiveCaptionText = 0xFF000013;
constexpr TColor clBtnHighlight = 0xFF000014;
constexpr TColor cl3DDkShadow = 0xFF000015;
constexpr TColor cl3DLight = 0xFF000016;
constexpr TColor clInfoText = 0xFF000017;
constexpr TColor clInfoBk = 0xFF000018;

// Number of entries in the system colour table.
constexpr int SystemColorCount = 0x19;

// Flag that makes a device context take the nearest entry of its selected palette.
constexpr TColor PaletteRelativeFlag = 0x02000000;

constexpr TColor RGB(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<TColor>(R) | (static_cast<TColor>(G) << 8) | (static_cast<TColor>(B) << 16);
}
constexpr uint8_t GetRValue(TColor C) {
  return static_cast<uint8_t>(C & 0xFF);
}
constexpr uint8_t GetGValue(TColor C) {
  return static_cast<uint8_t>((C >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(TColor C) {
  return static_cast<uint8_t>((C >> 16) & 0xFF);
}

// The RGB value of a system colour number (0 .. SystemColorCount-1); black for other numbers.
TColor GetSysColor(int Index);

// A system colour resolved to its RGB value; every other value comes back unchanged.
TColor ColorToRGB(TColor Color);

}  // namespace orn
