#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "service/ServiceFetch.h"

namespace service {

namespace detail {
class CurlSession;
}

// The URL as it goes to the HTTP client: leading and trailing spaces, tabs, CRs and LFs removed
// and every inner space sent as %20. Null when what is left is empty or holds any other control
// character (0x00-0x1F, 0x7F): such a URL is never sent.
std::optional<std::string> NormalizeFetchUrl(std::string_view url);

// ServiceFetch over libcurl: one blocking GET per open().
//
// - The final response's status must be 2xx, or the open fails; the body of an error page is
//   never delivered (and not downloaded beyond what was in flight).
// - Up to 5 redirects are followed; the first request and every redirect may use only http and
//   https, so a reply naming file:// or any other scheme never makes the program read a file.
// - HTTPS verifies the server's certificate and host name against the system's CA store.
// - The body streams: a read returns after its bytes have come, and the transfer is paused while
//   nobody reads, so the tail of a long body is not fetched before it is asked for.
// - Successive requests through one CurlFetch reuse the connection when the previous response
//   was read to its end; a stream released before its body ended closes its connection.
//
// Streams may outlive the CurlFetch that opened them. Not thread-safe: one thread uses one
// CurlFetch and its streams.
class CurlFetch final : public ServiceFetch {
 public:
  struct Options {
    // A PEM file of CA certificates to trust instead of the system's store (empty: the system's).
    std::string caFile;
  };

  CurlFetch();
  explicit CurlFetch(Options options);
  ~CurlFetch() override;
  CurlFetch(const CurlFetch&) = delete;
  CurlFetch& operator=(const CurlFetch&) = delete;

  std::unique_ptr<ResponseStream> open(const std::string& url, const FetchLimits& limits) override;

 private:
  Options m_options;
  // The handles kept between requests (their connection cache); shared with open streams.
  std::shared_ptr<detail::CurlSession> m_session;
};

}  // namespace service
