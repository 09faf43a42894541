#pragma once

#include <cstdint>
#include <string>

#include "service/ServiceFetch.h"

namespace discovery {

// The status query reads at most this many bytes and accepts a reply of 1 to 998 of them: a body
// of 999 bytes or more is dropped whole.
inline constexpr std::size_t kStatusReadLimit = 1000;
inline constexpr std::size_t kMaxStatusReplyLength = 998;
inline constexpr std::size_t kMaxLabelLength = 299;

// The service's answer to a status query: "latest,labelFlag,label", trailing parts optional.
struct StatusReply {
  std::uint32_t latestVersion = 0;  // in hundredths; compared as a signed number
  std::uint32_t labelFlag = 0;      // 1: the entry shows the label and no installed version
  std::string label;                // 0 to 299 characters; empty when the reply carries none
};

// The status URL: base?vid=%04x&pid=%04x&sn=SERIAL&ver=%x%02x&name=PRODUCT&req=1, with the two
// device texts percent-encoded so that spaces, '&' and '#' cannot break the query.
std::string StatusQueryUrl(const std::string& serviceBaseUrl, unsigned vendorId, unsigned productId,
                           unsigned versionNumber, const std::string& product, const std::string& serial);

// Asks the service about one device; the reply text, empty when no usable reply came.
std::string QueryDeviceStatus(service::ServiceFetch& fetch, const std::string& serviceBaseUrl, unsigned vendorId,
                              unsigned productId, unsigned versionNumber, const std::string& product, const std::string& serial);

// Reads a reply as "%lu,%lu,%299[^,]" does: white space before each number skipped, each comma
// right after its number, the label 1 to 299 characters that are not a comma. Reading stops at
// the first part that does not fit; later fields keep their presets.
StatusReply ParseStatusReply(const std::string& reply);

}  // namespace discovery
