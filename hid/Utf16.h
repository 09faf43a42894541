#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hid {

// Writes `utf8` as a zero-terminated UTF-16LE string at the start of `buffer`, touching no byte
// at or beyond `length`. A string that does not fit is cut at the last whole character (a
// surrogate pair is never split) so that the terminator still fits. Bytes that are not valid
// UTF-8 (stray continuation bytes, overlong forms, encoded surrogates, values above U+10FFFF,
// sequences cut short) become U+FFFD, one per maximal ill-formed subsequence as Unicode
// recommends; a zero byte ends the string. false, writing nothing, when `length` cannot even
// hold the terminator (below 2).
bool writeUtf16Le(std::string_view utf8, std::uint8_t* buffer, std::size_t length);

}  // namespace hid
