#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "hid/Utf16.h"

namespace {

constexpr std::uint8_t kUntouched = 0xAA;

// Converts into a buffer of `length` bytes that has two guard bytes after it.
struct Converted {
  bool ok;
  std::vector<std::uint8_t> bytes;  // length + 2 guard bytes
};
Converted convert(std::string_view text, std::size_t length) {
  Converted c{false, std::vector<std::uint8_t>(length + 2, kUntouched)};
  c.ok = hid::writeUtf16Le(text, c.bytes.data(), length);
  return c;
}

std::u16string unitsOf(const std::vector<std::uint8_t>& bytes) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) return s;
    s.push_back(unit);
  }
  ADD_FAILURE() << "not terminated";
  return s;
}

TEST(Utf16, ConvertsUtf8AndReplacesWhatIsNotUtf8) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string utf8;
    std::u16string expected;
  } cases[] = {
      {"empty", "", u""},
      {"ascii", "Demo Unit", u"Demo Unit"},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600"},
      {"the largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"stray continuation bytes", "a\x80\xBF" "b", u"a\uFFFD\uFFFDb"},
      {"overlong forms", "\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"sequence cut short by the next character", "\xE2\x82" "A", u"\uFFFDA"},
      {"sequence cut short by the end", "A\xF0\x9F\x98", u"A\uFFFD"},
      {"bytes that never occur", "\xF5\xFE\xFF", u"\uFFFD\uFFFD\uFFFD"},
      {"a zero byte ends the string", "ab\0cd"s, u"ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Converted out = convert(c.utf8, 64);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(unitsOf(out.bytes), c.expected);
  }
}

TEST(Utf16, NeverWritesAtOrBeyondTheLength) {
  const struct {
    const char* name;
    std::string utf8;
    std::size_t length;
    std::u16string expected;
  } cases[] = {
      {"room for the terminator alone", "abc", 2, u""},
      {"odd length", "abc", 5, u"a"},
      {"exact fit", "abc", 8, u"abc"},
      {"one byte short", "abc", 7, u"ab"},
      {"a surrogate pair is not split", "a\xF0\x9F\x98\x80", 7, u"a"},
      {"a surrogate pair that fits", "a\xF0\x9F\x98\x80", 8, u"a\U0001F600"},
      {"the device string buffer", std::string(5000, 'x'), 4093, std::u16string(2045, u'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Converted out = convert(c.utf8, c.length);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(unitsOf(out.bytes), c.expected);
    // Nothing written past the terminator's end, and nothing at or beyond the length.
    for (std::size_t i = 2 * c.expected.size() + 2; i < out.bytes.size(); ++i) EXPECT_EQ(out.bytes[i], kUntouched) << i;
  }
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}}) {
    const Converted out = convert("abc", length);
    EXPECT_FALSE(out.ok);
    for (const std::uint8_t b : out.bytes) EXPECT_EQ(b, kUntouched);
  }
  EXPECT_FALSE(hid::writeUtf16Le("abc", nullptr, 16));
}

}  // namespace
