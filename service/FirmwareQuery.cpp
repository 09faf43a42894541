#include "service/FirmwareQuery.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace service {

namespace {

bool IsScanSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// One "%lu" conversion for a 32-bit unsigned long, from `pos` on; advances `pos` past it.
// Hand-written because glibc's %lu stores 64 bits: its result differs from the 32-bit one for
// every number that does not fit, and a narrowing cast of it would wrap where this saturates.
std::optional<std::uint32_t> ScanUnsigned(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsScanSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    if (overflow) continue;  // the digits are still consumed
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[pos] - '0');
    overflow = magnitude > kNoValue;
  }
  // strtoul: an out-of-range magnitude gives ULONG_MAX without negation.
  if (overflow) return kNoValue;
  const auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

bool ScanComma(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] != ',') return false;
  ++pos;
  return true;
}

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
  const auto comma = text.find(',', pos);
  const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
  const std::size_t length = std::min(end - pos, kMaxImageUrlLength);
  if (length > 0) descriptor.imageUrl.assign(text.substr(pos, length));
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
