#include "service/FirmwareQuery.h"

#include "service/ReplyScan.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace service {

namespace {

std::string_view UpToZeroByte(std::string_view text) {
  const auto zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

}  // namespace

std::optional<TransferMode> ToTransferMode(std::uint32_t value) {
  switch (value) {
    case 0:
      return TransferMode::kDirect;
    case 1:
      return TransferMode::kBootloader;
    case 2:
      return TransferMode::kFramed;
    default:
      return std::nullopt;
  }
}

FirmwareDescriptor ParseFirmwareDescriptor(std::string_view reply) {
  FirmwareDescriptor descriptor;
  const std::string_view text = UpToZeroByte(reply);
  std::size_t pos = 0;

  std::uint32_t* const numbers[] = {&descriptor.transferMode, &descriptor.bootVendorId,
                                    &descriptor.bootProductId, &descriptor.imageSize};
  for (std::uint32_t* field : numbers) {
    const auto value = ScanUnsigned(text, pos);
    if (!value) return descriptor;
    *field = *value;
    if (!ScanComma(text, pos)) return descriptor;
  }

  // No white space is skipped before the URL: it is part of the field.
  if (const auto url = ScanField(text, pos, kMaxImageUrlLength)) descriptor.imageUrl.assign(*url);
  return descriptor;
}

FirmwareDescriptor QueryFirmwareDescriptor(ServiceFetch& fetch, std::string_view baseUrl, std::uint16_t vendorId,
                                           std::uint16_t productId) {
  char query[32];
  std::snprintf(query, sizeof query, "?vid=%04x&pid=%04x&req=2", static_cast<unsigned>(vendorId),
                static_cast<unsigned>(productId));
  std::string url(baseUrl);
  url += query;

  std::string reply;
  if (auto stream = fetch.open(url, kQueryLimits)) {
    reply = stream->read(kFirmwareReplyLimit);
    if (reply.size() > kFirmwareReplyLimit) reply.resize(kFirmwareReplyLimit);
  }
  return ParseFirmwareDescriptor(reply);
}

FirmwareDownload DownloadFirmwareImage(ServiceFetch& fetch, const FirmwareDescriptor& descriptor,
                                       const FetchLimits& limits) {
  FirmwareDownload result;
  const std::uint32_t size = descriptor.imageSize;
  // The size comes from the service unchecked; one above any image of the family is not fetched.
  if (size == 0 || size > kMaxImageSize) return result;

  result.stream = fetch.open(descriptor.imageUrl, limits);
  if (!result.stream) return result;

  // The server says the body is short: it cannot become an image, so nothing is read.
  if (const auto declared = result.stream->contentLength(); declared && *declared < size) return result;

  try {
    const std::string body = result.stream->read(size);
    if (body.size() >= size) {
      const auto begin = reinterpret_cast<const std::uint8_t*>(body.data());
      result.image.emplace(begin, begin + size);
    }
  } catch (const std::bad_alloc&) {
    result.image.reset();
  }
  return result;
}

}  // namespace service
