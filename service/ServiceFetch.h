#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace service {

// Time limits of one request. A zero duration means no limit of that kind.
struct FetchLimits {
  std::chrono::milliseconds connectTimeout{5000};
  // The whole request, from open to the end of the last read.
  std::chrono::milliseconds totalTimeout{15000};
  // Give up when no byte of the body has come for this long.
  std::chrono::milliseconds stallTimeout{20000};
};

// The status and firmware queries: connect 5 s, 15 s in all.
inline constexpr FetchLimits kQueryLimits{};
// Image downloads: no overall limit, but no stall longer than 20 s.
inline constexpr FetchLimits kDownloadLimits{std::chrono::milliseconds{5000}, std::chrono::milliseconds{0},
                                             std::chrono::milliseconds{20000}};

// The body of a response whose open succeeded. Releasing it is destroying it.
class ResponseStream {
 public:
  virtual ~ResponseStream() = default;

  // The body length the server declared, when it declared one.
  virtual std::optional<std::uint64_t> contentLength() const = 0;

  // Blocks until `maxBytes` bytes of the body have come or the body has ended (or failed),
  // and returns what came, never more than `maxBytes`. Storage grows with what arrives, so a
  // large `maxBytes` allocates nothing up front. Throws std::bad_alloc when storage runs out.
  virtual std::string read(std::size_t maxBytes) = 0;
};

// A blocking HTTP GET of a URL: a stream on the response body, or null when the open failed
// (no connection, a status that is not 2xx, a URL that is not http or https).
class ServiceFetch {
 public:
  virtual ~ServiceFetch() = default;
  virtual std::unique_ptr<ResponseStream> open(const std::string& url, const FetchLimits& limits) = 0;
};

}  // namespace service
