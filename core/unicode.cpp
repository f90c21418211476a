#include "core/unicode.h"

#include <cstdint>

namespace orn {

namespace {

constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

void AppendUtf16(std::u16string& Out, char32_t C) {
  if (C < 0x10000) {
    Out += static_cast<char16_t>(C);
  } else {
    C -= 0x10000;
    Out += static_cast<char16_t>(0xD800 + (C >> 10));
    Out += static_cast<char16_t>(0xDC00 + (C & 0x3FF));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string Out;
  Out.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    const uint8_t B = static_cast<uint8_t>(Text[I]);
    int Extra;
    char32_t C;
    char32_t Least;
    if (B < 0x80) {
      Out += static_cast<char16_t>(B);
      ++I;
      continue;
    } else if ((B & 0xE0) == 0xC0) {
      Extra = 1, C = B & 0x1F, Least = 0x80;
    } else if ((B & 0xF0) == 0xE0) {
      Extra = 2, C = B & 0x0F, Least = 0x800;
    } else if ((B & 0xF8) == 0xF0) {
      Extra = 3, C = B & 0x07, Least = 0x10000;
    } else {
      // A continuation byte without a lead, or a byte that never occurs in UTF-8.
      Out += static_cast<char16_t>(Replacement);
      ++I;
      continue;
    }
    size_t J = I + 1;
    int Got = 0;
    while (Got < Extra && J < Text.size() && (static_cast<uint8_t>(Text[J]) & 0xC0) == 0x80) {
      C = (C << 6) | (static_cast<uint8_t>(Text[J]) & 0x3F);
      ++J;
      ++Got;
    }
    // A cut sequence is replaced as a whole; the byte that cut it starts the next character.
    if (Got < Extra || C < Least || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) C = Replacement;
    AppendUtf16(Out, C);
    I = J;
  }
  return Out;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    char32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 &&
        Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = Replacement;
    }
    AppendUtf8(Out, C);
  }
  return Out;
}

}  // namespace orn
