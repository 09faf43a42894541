#include "discovery/StatusQuery.h"

#include <cstdio>

#include "service/ReplyScan.h"
#include "service/Url.h"

namespace discovery {

std::string StatusQueryUrl(const std::string& serviceBaseUrl, unsigned vendorId, unsigned productId,
                           unsigned versionNumber, const std::string& product, const std::string& serial) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "?vid=%04x&pid=%04x&sn=", vendorId & 0xFFFFU, productId & 0xFFFFU);
  char version[32];
  std::snprintf(version, sizeof version, "&ver=%x%02x&name=", (versionNumber >> 8) & 0xFFU, versionNumber & 0xFFU);
  return serviceBaseUrl + ids + service::PercentEncode(serial) + version + service::PercentEncode(product) + "&req=1";
}

std::string QueryDeviceStatus(service::ServiceFetch& fetch, const std::string& serviceBaseUrl, unsigned vendorId,
                              unsigned productId, unsigned versionNumber, const std::string& product, const std::string& serial) {
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
  std::uint32_t* const numbers[] = {&result.latestVersion, &result.labelFlag};
  for (std::uint32_t* field : numbers) {
    const std::optional<std::uint32_t> value = service::ScanUnsigned(reply, pos);
    if (!value) return result;
    *field = *value;
    if (!service::ScanComma(reply, pos)) return result;
  }
  if (const auto label = service::ScanField(reply, pos, kMaxLabelLength)) result.label.assign(*label);
  return result;
}

}  // namespace discovery
