// UTF-8 text of the system to and from the UTF-16 text of the Windows API (wchar_t is 16 bits
// wide there).
#pragma once

#include <string>
#include <string_view>

#include "core/unicode.h"

namespace orn {

inline std::wstring Wide(std::string_view Text) {
  const std::u16string W = Utf8ToUtf16(Text);
  return std::wstring(W.begin(), W.end());
}

inline std::string Narrow(std::wstring_view Text) {
  return Utf16ToUtf8(std::u16string(Text.begin(), Text.end()));
}

}  // namespace orn
