#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceFetch.h"

namespace service {

// How a device's image is written (the first number of the firmware query's reply).
enum class TransferMode : std::uint32_t {
  kDirect = 0,      // straight to the listed device, without framing
  kBootloader = 1,  // to the bootloader the device enters, which enumerates as bootVendorId/bootProductId
  kFramed = 2,      // to the listed device, between a begin and an end command
};

// The mode a descriptor's `transferMode` names; null for any other value (nothing is written).
std::optional<TransferMode> ToTransferMode(std::uint32_t value);

// The reply of the firmware query has at most this many bytes.
inline constexpr std::size_t kFirmwareReplyLimit = 999;
// The image URL field keeps at most this many characters.
inline constexpr std::size_t kMaxImageUrlLength = 499;
// Larger images are refused without allocating: far above any image of this device family.
inline constexpr std::uint32_t kMaxImageSize = 64u * 1024u * 1024u;

inline constexpr std::uint32_t kNoValue = 0xFFFFFFFFu;

// The parsed reply of the firmware query. Each field keeps the value below unless the reply
// supplies it.
struct FirmwareDescriptor {
  std::uint32_t transferMode = kNoValue;  // a TransferMode when 0, 1 or 2
  std::uint32_t bootVendorId = kNoValue;  // decimal in the reply; mode 1 only
  std::uint32_t bootProductId = kNoValue;
  std::uint32_t imageSize = 0;  // bytes; 0: there is no image
  // Used as it stands (nothing trimmed or escaped here). Empty when the reply gave no URL,
  // which no fetch accepts.
  std::string imageUrl;

  friend bool operator==(const FirmwareDescriptor&, const FirmwareDescriptor&) = default;
};

// Reads `reply` as the scan format "%lu,%lu,%lu,%lu,%499[^,]" does:
// - before each number, white space (space, \t, \n, \v, \f, \r) is skipped; a number is an
//   optional sign and at least one decimal digit; a minus gives the two's complement
//   (-1 reads as 4294967295);
// - a number whose magnitude does not fit in 32 bits saturates to 4294967295, whatever its sign
//   (as strtoul does with a 32-bit unsigned long);
// - each comma must follow its number's last digit directly;
// - the URL is everything after the fourth comma up to the next comma, the end of the reply or a
//   zero byte, spaces and line ends included, cut after 499 characters; an empty URL does not fit;
// - reading stops at the first field that does not fit; later fields keep their defaults.
FirmwareDescriptor ParseFirmwareDescriptor(std::string_view reply);

// Asks the service at `baseUrl` (quorvel::build::kServiceBaseUrl in the program) how the device
// is flashed: one GET of `baseUrl` followed by "?vid=%04x&pid=%04x&req=2" (nothing escaped), with
// the query limits, and one read of at most 999 bytes. A read of at least one byte is the reply,
// cut at its first zero byte; a failed open or an empty read gives the defaults alone.
FirmwareDescriptor QueryFirmwareDescriptor(ServiceFetch& fetch, std::string_view baseUrl, std::uint16_t vendorId,
                                           std::uint16_t productId);

// The firmware image: exactly `imageSize` bytes, with no room beyond them.
using FirmwareImage = std::vector<std::uint8_t>;

// The two results of a download; the caller owns both. `stream` is declared first so that
// destroying the struct frees the image first and then releases the stream, the order the update
// procedure keeps; to end them earlier, reset `image` and then `stream`.
struct FirmwareDownload {
  std::unique_ptr<ResponseStream> stream;  // set whenever the image URL's open succeeded
  std::optional<FirmwareImage> image;      // set only when the body held at least imageSize bytes
};

// Downloads the descriptor's image with one read of `imageSize` bytes, whatever its transferMode.
// - imageSize 0, or above kMaxImageSize: nothing is opened.
// - The open fails (no URL, not 2xx, not http/https): no stream, no image.
// - A declared Content-Length below imageSize: nothing is read; the stream, no image.
// - A body shorter than imageSize, or storage for it that cannot be had: the stream, no image.
// - A longer body: the image is its first imageSize bytes; nothing more is read.
// Storage grows with what arrives; imageSize is never allocated up front.
FirmwareDownload DownloadFirmwareImage(ServiceFetch& fetch, const FirmwareDescriptor& descriptor,
                                       const FetchLimits& limits = kDownloadLimits);

}  // namespace service
