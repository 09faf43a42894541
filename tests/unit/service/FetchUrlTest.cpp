// What the fetch makes of a URL before it goes to the HTTP client.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "service/CurlFetch.h"

namespace service {
namespace {

struct UrlCase {
  const char* name;
  std::string url;
  std::optional<std::string> expected;
};

TEST(NormalizeFetchUrl, TrimsEncodesSpacesAndRefusesControlCharacters) {
  const UrlCase cases[] = {
      {"unchanged", "http://h/p?a=1", "http://h/p?a=1"},
      {"a reply's CR LF", "http://h/p\r\n", "http://h/p"},
      {"spaces, tabs and line ends at both ends", " \t\r\n http://h/p \t\n\r", "http://h/p"},
      {"inner spaces", "http://h/a b  c", "http://h/a%20b%20%20c"},
      {"only white space", " \r\n\t", std::nullopt},
      {"empty", "", std::nullopt},
      {"inner tab", "http://h/a\tb", std::nullopt},
      {"inner CR LF", "http://h/a\r\nHost: x", std::nullopt},
      {"inner zero byte", std::string("http://h/a\0b", 12), std::nullopt},
      {"SOH", "http://h/\x01", std::nullopt},
      {"DEL", "http://h/\x7f", std::nullopt},
      {"trailing vertical tab is not trimmed", "http://h/p\v", std::nullopt},
      {"8-bit bytes are left to the client", "http://h/\xC3\xA9", "http://h/\xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NormalizeFetchUrl(c.url), c.expected);
  }
}

}  // namespace
}  // namespace service
