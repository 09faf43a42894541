#pragma once

#include <string>
#include <string_view>

namespace service {

// RFC 3986 percent-encoding for a query value: unreserved characters (A-Z a-z 0-9 - . _ ~)
// stay, every other byte becomes %XX with upper-case hex digits.
std::string PercentEncode(std::string_view text);

}  // namespace service
