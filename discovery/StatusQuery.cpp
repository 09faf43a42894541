#include "discovery/StatusQuery.h"

#include <cstdio>

#include "service/Url.h"

namespace discovery {

namespace {

bool isScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One unsigned 32-bit decimal number as "%lu" reads it where long is 32 bits: white space
// skipped, an optional sign, at least one digit. A minus sign negates modulo 2^32; a magnitude
// that does not fit saturates to 4294967295, as strtoul does.
bool readNumber(const std::string& text, std::size_t& pos, std::uint32_t& out) {
  std::size_t p = pos;
  while (p < text.size() && isScanSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  if (p >= text.size() || text[p] < '0' || text[p] > '9') return false;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[p] - '0');
    if (magnitude > 0xFFFFFFFFULL) {
      overflow = true;
      magnitude = 0xFFFFFFFFULL;
    }
  }
  if (overflow) {
    out = 0xFFFFFFFFU;
  } else {
    const auto value = static_cast<std::uint32_t>(magnitude);
    out = negative ? static_cast<std::uint32_t>(0U - value) : value;
  }
  pos = p;
  return true;
}

bool readComma(const std::string& text, std::size_t& pos) {
  if (pos < text.size() && text[pos] == ',') {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

std::string StatusQueryUrl(const std::string& serviceBaseUrl, unsigned vendorId, unsigned productId,
                           unsigned versionNumber, const std::string& product, const std::string& serial) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "?vid=%04x&pid=%04x&sn=", vendorId & 0xFFFFU, productId & 0xFFFFU);
  char version[32];
  std::snprintf(version, sizeof version, "&ver=%x%02x&name=", (versionNumber >> 8) & 0xFFU, versionNumber & 0xFFU);
  return serviceBaseUrl + ids + service::PercentEncode(serial) + version + service::PercentEncode(product) + "&req=1";
}

std::string QueryDeviceStatus(service::ServiceFetch& fetch, const std::string& serviceBaseUrl, unsigned vendorId,
                              unsigned productId, unsigned versionNumber, std::string product, std::string serial) {
  const std::string url = StatusQueryUrl(serviceBaseUrl, vendorId, productId, versionNumber, product, serial);
  const std::unique_ptr<service::ResponseStream> stream = fetch.open(url, service::kQueryLimits);
  if (!stream) return {};
  std::string body;
  try {
    body = stream->read(kStatusReadLimit);
  } catch (const std::bad_alloc&) {
    return {};
  }
  if (body.empty() || body.size() > kMaxStatusReplyLength) return {};
  if (const std::size_t zero = body.find('\0'); zero != std::string::npos) body.resize(zero);
  return body;
}

StatusReply ParseStatusReply(const std::string& reply) {
  StatusReply result;
  std::size_t pos = 0;
  if (!readNumber(reply, pos, result.latestVersion) || !readComma(reply, pos)) return result;
  if (!readNumber(reply, pos, result.labelFlag) || !readComma(reply, pos)) return result;
  const std::size_t end = std::min(reply.find(',', pos), reply.size());
  result.label = reply.substr(pos, std::min(end - pos, kMaxLabelLength));
  return result;
}

}  // namespace discovery
