#include "hid/Utf16.h"

namespace hid {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[pos], advancing pos past it, or past the maximal ill-formed
// subsequence for which U+FFFD is returned.
char32_t decodeOne(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(pos++);
  if (lead < 0x80) return lead;

  std::size_t trailing = 0;
  char32_t value = 0;
  std::uint8_t low = 0x80;  // the permitted range of the first continuation byte
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    value = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    value = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return kReplacement;  // continuation byte, C0, C1, F5..FF
  }

  for (std::size_t i = 0; i < trailing; ++i) {
    if (pos >= text.size()) return kReplacement;
    const std::uint8_t b = byte(pos);
    if (b < low || b > high) return kReplacement;  // the offending byte starts the next character
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (b & 0x3Fu);
    ++pos;
  }
  return value;
}

void putUnit(std::uint8_t* at, char16_t unit) {
  at[0] = static_cast<std::uint8_t>(unit & 0xFFu);
  at[1] = static_cast<std::uint8_t>(unit >> 8);
}

}  // namespace

bool writeUtf16Le(std::string_view utf8, std::uint8_t* buffer, std::size_t length) {
  if (buffer == nullptr || length < 2) return false;
  const std::size_t maxUnits = (length - 2) / 2;  // room left for the terminator
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = decodeOne(utf8, pos);
    if (cp == 0) break;
    if (cp >= 0x10000) {
      if (maxUnits - units < 2) break;
      const char32_t v = cp - 0x10000;
      putUnit(buffer + 2 * units++, static_cast<char16_t>(0xD800 + (v >> 10)));
      putUnit(buffer + 2 * units++, static_cast<char16_t>(0xDC00 + (v & 0x3FFu)));
    } else {
      if (maxUnits - units < 1) break;
      putUnit(buffer + 2 * units++, static_cast<char16_t>(cp));
    }
  }
  putUnit(buffer + 2 * units, u'\0');
  return true;
}

}  // namespace hid
