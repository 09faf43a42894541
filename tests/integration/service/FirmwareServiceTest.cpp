// The firmware query and the image download over real HTTP on 127.0.0.1.
#include <gtest/gtest.h>

#include <httplib.h>

#include <string>

#include "ServiceTestSupport.h"
#include "TestService.h"
#include "service/CurlFetch.h"
#include "service/FirmwareQuery.h"

namespace service {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kAll = 0xFFFFFFFFu;

std::string Pattern(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}

FirmwareImage PatternImage(std::size_t size) {
  const std::string bytes = Pattern(size);
  return FirmwareImage(bytes.begin(), bytes.end());
}

void ExpectDescriptor(const FirmwareDescriptor& got, const FirmwareDescriptor& expected) {
  EXPECT_EQ(got.transferMode, expected.transferMode);
  EXPECT_EQ(got.bootVendorId, expected.bootVendorId);
  EXPECT_EQ(got.bootProductId, expected.bootProductId);
  EXPECT_EQ(got.imageSize, expected.imageSize);
  EXPECT_EQ(got.imageUrl, expected.imageUrl);
}

class FirmwareServiceTest : public testing::Test {
 protected:
  // Serves `body` at `path`; chunked bodies carry no Content-Length.
  void serve(const std::string& path, std::string body, bool chunked = false) {
    if (!chunked) {
      service.serveText(path, std::move(body));
      return;
    }
    service.route(path, [body = std::move(body)](const httplib::Request&, httplib::Response& res) {
      // The provider runs after the handler has returned: it needs its own copy.
      res.set_chunked_content_provider("application/octet-stream", [body](std::size_t offset, httplib::DataSink& sink) {
        if (offset < body.size()) {
          sink.write(body.data() + offset, std::min<std::size_t>(body.size() - offset, 8192));
        } else {
          sink.done();
        }
        return true;
      });
    });
  }

  FirmwareDescriptor image(std::uint32_t size, std::uint32_t mode = 0) const {
    return FirmwareDescriptor{mode, kAll, kAll, size, service.url("/image")};
  }

  testsupport::TestService service;
  servicetest::Gate gate;  // destroyed before the service: releases handlers it holds
  CurlFetch fetch;
};

TEST_F(FirmwareServiceTest, QuerySendsTheIdsAndParsesTheReply) {
  serve(testsupport::TestService::kFirmwarePath, "1,7634,4097,4096,U\r\n");
  const FirmwareDescriptor got = QueryFirmwareDescriptor(fetch, service.baseUrl(), 0x16C0, 0x05B4);
  ExpectDescriptor(got, {1, 7634, 4097, 4096, "U\r\n"});
  EXPECT_EQ(service.requests(), std::vector<std::string>{"/scripts/firmware.php?vid=16c0&pid=05b4&req=2"});
}

TEST_F(FirmwareServiceTest, QueryReadsOneReplyOfAtMost999Bytes) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    FirmwareDescriptor expected;
  };
  const auto spaces = [](std::size_t n) { return std::string(n, ' '); };
  const Case cases[] = {
      {"exactly 999 bytes are taken whole", 200, spaces(987) + "2,0,0,4096,U", {2, 0, 0, 4096, "U"}},
      {"the 1000th byte is never read", 200, spaces(988) + "2,0,0,4096,U", {2, 0, 0, 4096, ""}},
      {"a URL cut by the limit is used as cut", 200, spaces(986) + "2,0,0,4096,UVWXYZ", {2, 0, 0, 4096, "UV"}},
      {"a long body", 200, "0,0,0,4096,U," + std::string(1 << 20, 'x'), {0, 0, 0, 4096, "U"}},
      {"a zero byte ends the reply", 200, std::string("2,0,0,4096,U\0V", 14), {2, 0, 0, 4096, "U"}},
      {"a zero byte first", 200, std::string("\0" "2,0,0,4096,U", 13), {kAll, kAll, kAll, 0, ""}},
      {"an empty body", 200, "", {kAll, kAll, kAll, 0, ""}},
      {"an error page is never parsed", 404, "2,0,0,4096,U", {kAll, kAll, kAll, 0, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service.route(testsupport::TestService::kFirmwarePath, [&c](const httplib::Request&, httplib::Response& res) {
      res.status = c.status;
      res.set_content(c.body, "text/plain");
    });
    ExpectDescriptor(QueryFirmwareDescriptor(fetch, service.baseUrl(), 0x1DD2, 0x1234), c.expected);
  }
}

TEST_F(FirmwareServiceTest, UnreachableServiceGivesTheDefaults) {
  const servicetest::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const std::string base = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/scripts/firmware.php";
  ExpectDescriptor(QueryFirmwareDescriptor(fetch, base, 0x1DD2, 0x1234), {kAll, kAll, kAll, 0, ""});
}

TEST_F(FirmwareServiceTest, ImageIsExactlyImageSizeBytesOfALongEnoughBody) {
  struct Case {
    const char* name;
    std::size_t bodySize;
    bool chunked;
    std::uint32_t mode;
    bool image;
  };
  const Case cases[] = {
      {"longer body: cut", 4106, false, 0, true},
      {"equal body", 4096, false, 2, true},
      {"shorter body", 4095, false, 1, false},
      {"longer body without a declared length", 20000, true, 0, true},
      {"shorter body without a declared length", 4095, true, 0, false},
      {"mode 3 is downloaded all the same", 4096, false, 3, true},
      {"mode -1 is downloaded all the same", 4096, false, kAll, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    serve("/image", Pattern(c.bodySize), c.chunked);
    const FirmwareDownload got = DownloadFirmwareImage(fetch, image(4096, c.mode));
    EXPECT_NE(got.stream, nullptr);
    ASSERT_EQ(got.image.has_value(), c.image);
    if (got.image) {
      EXPECT_EQ(*got.image, PatternImage(4096));
      EXPECT_EQ(got.image->capacity(), 4096u);
    }
  }
}

TEST_F(FirmwareServiceTest, NothingIsOpenedWithoutASizeOrAboveTheLimit) {
  serve("/image", Pattern(100));
  for (const std::uint32_t size : {0u, kMaxImageSize + 1, kAll}) {
    SCOPED_TRACE(size);
    const FirmwareDownload got = DownloadFirmwareImage(fetch, image(size));
    EXPECT_EQ(got.stream, nullptr);
    EXPECT_FALSE(got.image);
  }
  EXPECT_TRUE(service.requests().empty());
}

TEST_F(FirmwareServiceTest, SizeAtTheLimitWithAShortBodyGivesNoImage) {
  serve("/image", Pattern(1000), true);
  const FirmwareDownload got = DownloadFirmwareImage(fetch, image(kMaxImageSize));
  EXPECT_NE(got.stream, nullptr);
  EXPECT_FALSE(got.image);
}

TEST_F(FirmwareServiceTest, DeclaredLengthBelowImageSizeEndsTheDownloadUnread) {
  serve("/image", "0123456789");
  const FirmwareDownload got = DownloadFirmwareImage(fetch, image(4096));
  ASSERT_NE(got.stream, nullptr);
  EXPECT_FALSE(got.image);
  // The download read nothing: the whole body is still there.
  EXPECT_EQ(got.stream->read(100), "0123456789");
}

TEST_F(FirmwareServiceTest, NoStreamAndNoImageWhenTheOpenFails) {
  service.route("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content(Pattern(8192), "application/octet-stream");
  });
  for (const std::string& url : {service.url("/missing"), std::string()}) {
    SCOPED_TRACE(url);
    FirmwareDescriptor descriptor = image(4096);
    descriptor.imageUrl = url;
    const FirmwareDownload got = DownloadFirmwareImage(fetch, descriptor);
    EXPECT_EQ(got.stream, nullptr);
    EXPECT_FALSE(got.image);
  }
}

TEST_F(FirmwareServiceTest, ABodyStalledMidwayGivesNoImage) {
  service.route("/image", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(4096, "application/octet-stream",
                             [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               if (offset == 0) return sink.write(Pattern(1000).data(), 1000);
                               gate.wait();
                               return false;
                             });
  });
  const FirmwareDownload got = DownloadFirmwareImage(fetch, image(4096), FetchLimits{1000ms, 0ms, 200ms});
  EXPECT_NE(got.stream, nullptr);
  EXPECT_FALSE(got.image);
}

TEST_F(FirmwareServiceTest, TheReplysUrlWithItsLineEndIsTheImageOpened) {
  serve(testsupport::TestService::kFirmwarePath, "2,0,0,4096," + service.url("/image") + "\r\n");
  serve("/image", Pattern(4096));
  const FirmwareDescriptor descriptor = QueryFirmwareDescriptor(fetch, service.baseUrl(), 0x1DD2, 0x1234);
  EXPECT_EQ(descriptor.imageUrl, service.url("/image") + "\r\n");
  const FirmwareDownload got = DownloadFirmwareImage(fetch, descriptor);
  ASSERT_TRUE(got.image);
  EXPECT_EQ(*got.image, PatternImage(4096));
  EXPECT_EQ(service.requests().back(), "/image");
}

}  // namespace
}  // namespace service
