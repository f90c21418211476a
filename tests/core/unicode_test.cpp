#include "core/unicode.h"

#include <gtest/gtest.h>

namespace orn {
namespace {

struct TCase {
  const char* Name;
  std::string Utf8;
  std::u16string Utf16;
};

// Well-formed text converts both ways unchanged.
TEST(Unicode, WellFormedTextRoundTrips) {
  const TCase Cases[] = {
      {"empty", "", u""},
      {"ascii with NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"two-byte letters", "Fernlight \xC3\xA4\xC3\xB6 \xD0\x96", u"Fernlight \u00E4\u00F6 \u0416"},
      {"three-byte", "\xE2\x82\xAC\xEF\xBF\xBF", u"\u20AC\uFFFF"},
      {"surrogate pair", "\xF0\x9F\x8E\x84!", u"\U0001F384!"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Utf8ToUtf16(C.Utf8), C.Utf16) << C.Name;
    EXPECT_EQ(Utf16ToUtf8(C.Utf16), C.Utf8) << C.Name;
  }
}

TEST(Unicode, MalformedUtf8BecomesReplacementCharacters) {
  const TCase Cases[] = {
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"cut two-byte at end", "a\xC3", u"a\uFFFD"},
      {"cut three-byte before ascii", "\xE2\x82z", u"\uFFFDz"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD"},
      {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"invalid lead byte", "\xFF\xFE", u"\uFFFD\uFFFD"},
  };
  for (const TCase& C : Cases) EXPECT_EQ(Utf8ToUtf16(C.Utf8), C.Utf16) << C.Name;
}

TEST(Unicode, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
  // A high surrogate at the very end.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDBFF))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace orn
