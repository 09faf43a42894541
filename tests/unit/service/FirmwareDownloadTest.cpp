// The download's handling of streams that misbehave, through a scripted fetch.
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>

#include "service/FirmwareQuery.h"

namespace service {
namespace {

// A stream whose one read throws std::bad_alloc (storage ran out) or returns `body`.
class ScriptedStream final : public ResponseStream {
 public:
  ScriptedStream(std::optional<std::string> body, std::size_t* reads) : m_body(std::move(body)), m_reads(reads) {}
  std::optional<std::uint64_t> contentLength() const override { return std::nullopt; }
  std::string read(std::size_t) override {
    ++*m_reads;
    if (!m_body) throw std::bad_alloc();
    // Deliberately ignores the limit, as a faulty stream might.
    return *m_body;
  }

 private:
  std::optional<std::string> m_body;
  std::size_t* m_reads;
};

class ScriptedFetch final : public ServiceFetch {
 public:
  explicit ScriptedFetch(std::optional<std::string> body) : m_body(std::move(body)) {}
  std::unique_ptr<ResponseStream> open(const std::string&, const FetchLimits&) override {
    return std::make_unique<ScriptedStream>(m_body, &reads);
  }
  std::size_t reads = 0;

 private:
  std::optional<std::string> m_body;
};

const FirmwareDescriptor kDescriptor{0, 0, 0, 16, "http://127.0.0.1:1/image"};

TEST(DownloadFirmwareImage, StorageThatRunsOutGivesNoImageButTheStream) {
  ScriptedFetch fetch(std::nullopt);
  const FirmwareDownload got = DownloadFirmwareImage(fetch, kDescriptor);
  EXPECT_EQ(fetch.reads, 1u);
  EXPECT_NE(got.stream, nullptr);
  EXPECT_FALSE(got.image);
}

TEST(DownloadFirmwareImage, ImageNeverExceedsImageSize) {
  ScriptedFetch fetch(std::string(40, 'z'));
  const FirmwareDownload got = DownloadFirmwareImage(fetch, kDescriptor);
  ASSERT_TRUE(got.image);
  EXPECT_EQ(*got.image, FirmwareImage(16, 'z'));
}

}  // namespace
}  // namespace service
