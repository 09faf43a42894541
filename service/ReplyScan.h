#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace service {

// The pieces of the scan formats that the service's replies are read with ("%lu", a literal
// comma, "%N[^,]"), as they behave where unsigned long has 32 bits. Each reads `text` from
// `pos` on and advances `pos` past what it took; on a misfit `pos` is left where the misfit is.

// "%lu": white space (space, \t, \n, \v, \f, \r) skipped, an optional sign, at least one decimal
// digit. A minus negates modulo 2^32 (-1 reads as 4294967295); a magnitude that does not fit in
// 32 bits saturates to 4294967295 whatever the sign, as strtoul does. Hand-written because
// glibc's %lu stores 64 bits, and narrowing its result would wrap where this saturates.
std::optional<std::uint32_t> ScanUnsigned(std::string_view text, std::size_t& pos);

// A literal comma, right at `pos`.
bool ScanComma(std::string_view text, std::size_t& pos);

// "%N[^,]": 1 to `maxLength` characters that are not a comma, white space and line ends
// included; nullopt when the field is empty. Characters beyond `maxLength` are left unread.
std::optional<std::string_view> ScanField(std::string_view text, std::size_t& pos, std::size_t maxLength);

}  // namespace service
