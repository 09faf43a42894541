// The firmware query's reply read into a descriptor, as the reply format's scan does.
#include <gtest/gtest.h>

#include <string>

#include "service/FirmwareQuery.h"

namespace service {
namespace {

constexpr std::uint32_t kAll = 0xFFFFFFFFu;

struct ReplyCase {
  const char* name;
  std::string reply;
  FirmwareDescriptor expected;
};

FirmwareDescriptor Descriptor(std::uint32_t mode, std::uint32_t vid, std::uint32_t pid, std::uint32_t size,
                              std::string url = {}) {
  return FirmwareDescriptor{mode, vid, pid, size, std::move(url)};
}

TEST(ParseFirmwareDescriptor, ReadsTheReplyFormat) {
  const std::string url499(499, 'u');
  const ReplyCase cases[] = {
      {"empty reply: the defaults", "", Descriptor(kAll, kAll, kAll, 0)},
      {"an error page", "<html>404</html>", Descriptor(kAll, kAll, kAll, 0)},
      {"plain reply", "2,0,0,4096,U", Descriptor(2, 0, 0, 4096, "U")},
      {"CR LF belongs to the URL", "2,0,0,4096,U\r\n", Descriptor(2, 0, 0, 4096, "U\r\n")},
      {"a line break inside the URL", "2,0,0,4096,U\nV", Descriptor(2, 0, 0, 4096, "U\nV")},
      {"what follows the next comma is ignored", "2,0,0,4096,U,V", Descriptor(2, 0, 0, 4096, "U")},
      {"space before the first comma stops after the mode", "2 ,0,0,4096,U", Descriptor(2, kAll, kAll, 0)},
      {"space before the fourth comma", "2,0,0,4096 ,U", Descriptor(2, 0, 0, 4096)},
      {"white space before every number is skipped", " \t\r\n2,\n 0,\v\f0,\r\n 4096,U",
       Descriptor(2, 0, 0, 4096, "U")},
      {"a space after the fourth comma starts the URL", "2,0,0,4096, U", Descriptor(2, 0, 0, 4096, " U")},
      {"boot IDs are decimal", "1,7634,4097,4096,U", Descriptor(1, 0x1DD2, 0x1001, 4096, "U")},
      {"mode -1", "-1,0,0,4096,U", Descriptor(kAll, 0, 0, 4096, "U")},
      {"mode 3", "3,0,0,4096,U", Descriptor(3, 0, 0, 4096, "U")},
      {"plus sign and leading zeros", "+2,00,-0,0004096,U", Descriptor(2, 0, 0, 4096, "U")},
      {"a negative size wraps", "0,0,0,-4294967295,U", Descriptor(0, 0, 0, 1, "U")},
      {"sign without digits stops", "-,0,0,4096,U", Descriptor(kAll, kAll, kAll, 0)},
      {"hex is not read", "2,0x10,0,4096,U", Descriptor(2, 0, kAll, 0)},
      {"four numbers, no URL", "2,0,0,4096", Descriptor(2, 0, 0, 4096)},
      {"empty URL at the end", "2,0,0,4096,", Descriptor(2, 0, 0, 4096)},
      {"empty URL before a comma", "2,0,0,4096,,U", Descriptor(2, 0, 0, 4096)},
      {"a URL of 499 characters is kept whole", "2,0,0,4096," + url499, Descriptor(2, 0, 0, 4096, url499)},
      {"a longer URL is cut after 499", "2,0,0,4096," + url499 + "TAIL,x", Descriptor(2, 0, 0, 4096, url499)},
      {"a zero byte ends the reply in the URL", std::string("2,0,0,4096,U\0V", 14), Descriptor(2, 0, 0, 4096, "U")},
      {"a zero byte ends the reply in a number", std::string("2,0,0,40\0" "96,U", 13), Descriptor(2, 0, 0, 40)},
      // A magnitude beyond 32 bits saturates whatever its sign; glibc's 64-bit %lu narrowed to
      // 32 bits would give 0 and 1 for the middle two, and 0 for -4294967296.
      {"32-bit bounds", "4294967295,4294967296,4294967297,18446744073709551617,U",
       Descriptor(kAll, kAll, kAll, kAll, "U")},
      {"far beyond 64 bits and negative overflow", "99999999999999999999999999,-4294967296,-18446744073709551615,0,U",
       Descriptor(kAll, kAll, kAll, 0, "U")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FirmwareDescriptor got = ParseFirmwareDescriptor(c.reply);
    EXPECT_EQ(got.transferMode, c.expected.transferMode);
    EXPECT_EQ(got.bootVendorId, c.expected.bootVendorId);
    EXPECT_EQ(got.bootProductId, c.expected.bootProductId);
    EXPECT_EQ(got.imageSize, c.expected.imageSize);
    EXPECT_EQ(got.imageUrl, c.expected.imageUrl);
  }
}

TEST(ToTransferMode, NamesOnlyTheThreeModes) {
  EXPECT_EQ(ToTransferMode(0), TransferMode::kDirect);
  EXPECT_EQ(ToTransferMode(1), TransferMode::kBootloader);
  EXPECT_EQ(ToTransferMode(2), TransferMode::kFramed);
  EXPECT_EQ(ToTransferMode(3), std::nullopt);
  EXPECT_EQ(ToTransferMode(kAll), std::nullopt);
}

}  // namespace
}  // namespace service
