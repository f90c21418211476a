// Conversion between UTF-8 (the text of the whole system) and UTF-16 (the text of the Windows
// API). Malformed input never fails: a byte sequence that is not UTF-8 (a stray continuation
// byte, a cut sequence, an overlong form, a surrogate, a value above U+10FFFF) and an unpaired
// surrogate each become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace orn {

std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);

}  // namespace orn
