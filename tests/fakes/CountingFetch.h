#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/ServiceFetch.h"

namespace fakes {

// Passes every request to a real fetch and keeps count of the streams that are still open.
class CountingFetch final : public service::ServiceFetch {
 public:
  explicit CountingFetch(service::ServiceFetch& inner) : m_inner(inner) {}

  std::unique_ptr<service::ResponseStream> open(const std::string& url, const service::FetchLimits& limits) override {
    urls.push_back(url);
    std::unique_ptr<service::ResponseStream> stream = m_inner.open(url, limits);
    if (!stream) return nullptr;
    return std::make_unique<Counted>(std::move(stream), liveStreams);
  }

  std::vector<std::string> urls;
  int liveStreams = 0;

 private:
  class Counted final : public service::ResponseStream {
   public:
    Counted(std::unique_ptr<service::ResponseStream> inner, int& live) : m_inner(std::move(inner)), m_live(live) {
      ++m_live;
    }
    ~Counted() override { --m_live; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    std::optional<std::uint64_t> contentLength() const override { return m_inner->contentLength(); }
    std::string read(std::size_t maxBytes) override { return m_inner->read(maxBytes); }

   private:
    std::unique_ptr<service::ResponseStream> m_inner;
    int& m_live;
  };

  service::ServiceFetch& m_inner;
};

}  // namespace fakes
