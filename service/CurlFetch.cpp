#include "service/CurlFetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <new>
#include <utility>

namespace service {

namespace detail {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// With the multi interface the connection cache (and the DNS cache) belong to the multi handle,
// so keeping it between requests is what lets the next request reuse the connection.
class CurlSession {
 public:
  void take(MultiHandle& multi, EasyHandle& easy) {
    multi = std::move(m_multi);
    easy = std::move(m_easy);
    if (!multi) multi.reset(curl_multi_init());
    if (!easy) easy.reset(curl_easy_init());
  }

  // `easy` may be null. When another stream's handles are kept already, these are dropped.
  void giveBack(MultiHandle multi, EasyHandle easy) {
    if (m_multi || !multi) return;
    m_multi = std::move(multi);
    m_easy = std::move(easy);
  }

 private:
  MultiHandle m_multi;
  EasyHandle m_easy;
};

}  // namespace detail

namespace {

using Clock = std::chrono::steady_clock;

bool CurlReady() {
  // curl_global_init is not thread-safe itself; a function-local static runs it exactly once.
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

bool IsTrimmed(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// "HTTP/1.1 200 OK" or "HTTP/2 404": the three digits after the first space, 0 if there are none.
int ParseStatusLine(std::string_view line) {
  const auto space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    const char ch = line[i];
    if (ch < '0' || ch > '9') return 0;
    status = status * 10 + (ch - '0');
  }
  return status;
}

class CurlStream final : public ResponseStream {
 public:
  CurlStream(std::shared_ptr<detail::CurlSession> session, const FetchLimits& limits)
      : m_session(std::move(session)), m_limits(limits) {
    m_session->take(m_multi, m_easy);
  }

  ~CurlStream() override {
    if (m_attached) curl_multi_remove_handle(m_multi.get(), m_easy.get());
    // A transfer that did not end cleanly may leave pause or error state in its easy handle;
    // the next request starts on a fresh one. Removing it above closed its connection.
    if (!(m_finished && m_result == CURLE_OK)) m_easy.reset();
    m_session->giveBack(std::move(m_multi), std::move(m_easy));
  }

  CurlStream(const CurlStream&) = delete;
  CurlStream& operator=(const CurlStream&) = delete;

  // Sends the request and waits for the final response's status. True on a 2xx.
  bool start(const std::string& url, const CurlFetch::Options& options) {
    if (!m_multi || !m_easy || !configure(url, options)) return false;
    if (curl_multi_add_handle(m_multi.get(), m_easy.get()) != CURLM_OK) return false;
    m_attached = true;
    pumpUntil([this] { return m_final; });
    if (!m_accepted) return false;
    curl_off_t length = -1;
    if (curl_easy_getinfo(m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
      m_contentLength = static_cast<std::uint64_t>(length);
    return true;
  }

  std::optional<std::uint64_t> contentLength() const override { return m_contentLength; }

  std::string read(std::size_t maxBytes) override {
    if (m_buffer.size() < maxBytes && !m_finished) {
      m_want = maxBytes;
      if (m_paused) {
        m_paused = false;
        // May deliver the held data to onBody right here, which may pause again.
        curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
      }
      pumpUntil([this] { return m_buffer.size() >= m_want || m_outOfMemory; });
      m_want = 0;
    }
    if (m_outOfMemory) {
      std::string().swap(m_buffer);
      throw std::bad_alloc();
    }
    std::string out;
    if (m_buffer.size() <= maxBytes) {
      out.swap(m_buffer);
    } else {
      // Hand over the large buffer itself and keep only the small overshoot of the last chunk.
      out = std::move(m_buffer);
      m_buffer.assign(out, maxBytes);
      out.resize(maxBytes);
    }
    return out;
  }

 private:
  template <typename T>
  bool set(CURLoption option, T value) {
    return curl_easy_setopt(m_easy.get(), option, value) == CURLE_OK;
  }

  bool configure(const std::string& url, const CurlFetch::Options& options) {
    bool ok = set(CURLOPT_URL, url.c_str()) && set(CURLOPT_HTTPGET, 1L) && set(CURLOPT_FOLLOWLOCATION, 1L) &&
              set(CURLOPT_MAXREDIRS, 5L) && set(CURLOPT_PROTOCOLS_STR, "http,https") &&
              set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
              // No SIGALRM-based time-outs: the program is multi-threaded under Qt.
              set(CURLOPT_NOSIGNAL, 1L) &&
              // A proxy's CONNECT reply would otherwise read as the server's 2xx.
              set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) &&
              set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connectTimeout.count())) &&
              set(CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.totalTimeout.count())) &&
              set(CURLOPT_HEADERFUNCTION, &CurlStream::onHeader) && set(CURLOPT_HEADERDATA, this) &&
              set(CURLOPT_WRITEFUNCTION, &CurlStream::onBody) && set(CURLOPT_WRITEDATA, this);
    if (ok && !options.caFile.empty()) ok = set(CURLOPT_CAINFO, options.caFile.c_str());
    return ok;
  }

  // Drives the transfer until `done()` holds or the transfer has ended. The stall clock starts
  // anew with every call: time the caller spends between reads is not a stall.
  template <typename Pred>
  void pumpUntil(Pred done) {
    m_lastActivity = Clock::now();
    while (!done() && !m_finished) {
      int running = 0;
      if (curl_multi_perform(m_multi.get(), &running) != CURLM_OK) {
        fail();
        return;
      }
      collectResult();
      if (done() || m_finished) return;
      int waitMs = 1000;
      if (m_limits.stallTimeout.count() > 0) {
        const auto idle = Clock::now() - m_lastActivity;
        if (idle >= m_limits.stallTimeout) {
          fail();
          return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_limits.stallTimeout - idle);
        waitMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(waitMs, left.count()));
      }
      // Also wakes for libcurl's own timers (connect and total limits, redirects).
      curl_multi_poll(m_multi.get(), nullptr, 0, waitMs, nullptr);
    }
  }

  void collectResult() {
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi.get(), &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy.get()) {
        m_finished = true;
        m_result = msg->data.result;
      }
    }
  }

  void fail() {
    m_finished = true;
    m_result = CURLE_OPERATION_TIMEDOUT;
  }

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<CurlStream*>(user)->header(std::string_view(data, size * count));
  }

  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<CurlStream*>(user)->body(data, size * count);
  }

  // Every response of the request passes here, redirects and interim 1xx included; the status of
  // the final one is known at the blank line that ends its header block.
  std::size_t header(std::string_view line) {
    m_lastActivity = Clock::now();
    if (m_final) return line.size();  // trailers
    if (StartsWithNoCase(line, "HTTP/")) {
      m_status = ParseStatusLine(line);
      m_blockHasLocation = false;
    } else if (StartsWithNoCase(line, "location:")) {
      m_blockHasLocation = true;
    } else if (line == "\r\n" || line == "\n") {
      if (m_status >= 200 && m_status <= 299) {
        m_final = true;
        m_accepted = true;
      } else if ((m_status >= 100 && m_status <= 199) || (m_status >= 300 && m_status <= 399 && m_blockHasLocation)) {
        // Interim response, or a redirect libcurl follows (or refuses, ending the transfer).
      } else {
        // An error page is never delivered: end the transfer before its body is downloaded.
        m_final = true;
        return 0;
      }
    }
    return line.size();
  }

  std::size_t body(const char* data, std::size_t size) {
    if (!m_final) return size;  // the body of a redirect that is being followed
    if (m_buffer.size() >= m_want) {
      // Enough for the current read (or no read running): libcurl holds this chunk and stops
      // receiving until the next read, so a long body is not fetched ahead of its reader.
      m_paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    try {
      m_buffer.append(data, size);
    } catch (const std::bad_alloc&) {
      m_outOfMemory = true;
      return CURL_WRITEFUNC_ERROR;
    }
    m_lastActivity = Clock::now();
    return size;
  }

  std::shared_ptr<detail::CurlSession> m_session;
  detail::MultiHandle m_multi;
  detail::EasyHandle m_easy;
  FetchLimits m_limits;
  bool m_attached = false;

  int m_status = 0;
  bool m_blockHasLocation = false;
  bool m_final = false;
  bool m_accepted = false;
  bool m_finished = false;
  CURLcode m_result = CURLE_OK;
  std::optional<std::uint64_t> m_contentLength;

  bool m_paused = false;
  bool m_outOfMemory = false;
  std::size_t m_want = 0;
  // Body bytes received and not yet returned by read().
  std::string m_buffer;
  Clock::time_point m_lastActivity;
};

}  // namespace

std::optional<std::string> NormalizeFetchUrl(std::string_view url) {
  while (!url.empty() && IsTrimmed(url.front())) url.remove_prefix(1);
  while (!url.empty() && IsTrimmed(url.back())) url.remove_suffix(1);
  if (url.empty()) return std::nullopt;
  std::string out;
  out.reserve(url.size());
  for (const char ch : url) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == ' ') {
      out += "%20";
    } else if (byte < 0x20 || byte == 0x7F) {
      return std::nullopt;
    } else {
      out += ch;
    }
  }
  return out;
}

CurlFetch::CurlFetch() : CurlFetch(Options{}) {}

CurlFetch::CurlFetch(Options options)
    : m_options(std::move(options)), m_session(std::make_shared<detail::CurlSession>()) {}

CurlFetch::~CurlFetch() = default;

std::unique_ptr<ResponseStream> CurlFetch::open(const std::string& url, const FetchLimits& limits) {
  if (!CurlReady()) return nullptr;
  const auto normalized = NormalizeFetchUrl(url);
  if (!normalized) return nullptr;
  auto stream = std::make_unique<CurlStream>(m_session, limits);
  if (!stream->start(*normalized, m_options)) return nullptr;
  return stream;
}

}  // namespace service
