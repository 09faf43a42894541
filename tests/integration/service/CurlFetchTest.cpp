// The libcurl fetch against a real HTTP service on 127.0.0.1.
#include <gtest/gtest.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "ServiceTestSupport.h"
#include "TestService.h"
#include "service/CurlFetch.h"
#include "service/FirmwareQuery.h"

namespace service {
namespace {

using namespace std::chrono_literals;

// Bytes 0, 1, 2, ... modulo 251, so that a shifted or repeated slice shows.
std::string Pattern(std::size_t size, std::size_t from = 0) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((from + i) % 251);
  return out;
}

class CurlFetchTest : public testing::Test {
 protected:
  std::unique_ptr<ResponseStream> open(const std::string& path, const FetchLimits& limits = kQueryLimits) {
    return fetch.open(service.url(path), limits);
  }

  testsupport::TestService service;
  servicetest::Gate gate;  // destroyed before the service: releases handlers it holds
  CurlFetch fetch;
};

TEST_F(CurlFetchTest, OnlyA2xxStatusOpensTheBody) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    bool opens;
  };
  const Case cases[] = {
      {"200", 200, "hello", true},
      {"204 without a body", 204, "", true},
      {"404 with a long error page", 404, std::string(1 << 20, 'E'), false},
      {"500 whose page looks like a reply", 500, "2,0,0,4096,U", false},
      {"300 without Location", 300, "choices", false},
      {"304", 304, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service.route("/status", [&c](const httplib::Request&, httplib::Response& res) {
      res.status = c.status;
      if (!c.body.empty()) res.set_content(c.body, "text/plain");
    });
    auto stream = open("/status");
    ASSERT_EQ(stream != nullptr, c.opens);
    if (stream) {
      EXPECT_EQ(stream->read(1000), c.body);
    }
  }
}

TEST_F(CurlFetchTest, FollowsAtMostFiveRedirects) {
  for (int hop = 1; hop <= 6; ++hop) {
    service.route("/hop" + std::to_string(hop), [this, hop](const httplib::Request&, httplib::Response& res) {
      // Mix the redirect codes libcurl follows for a GET.
      static constexpr int kCodes[] = {301, 302, 303, 307, 308};
      res.set_redirect(service.url("/hop" + std::to_string(hop - 1)), kCodes[hop % 5]);
    });
  }
  service.serveText("/hop0", "arrived");
  struct Case {
    int hops;
    bool opens;
  };
  for (const Case c : {Case{1, true}, Case{5, true}, Case{6, false}}) {
    SCOPED_TRACE(c.hops);
    auto stream = open("/hop" + std::to_string(c.hops));
    ASSERT_EQ(stream != nullptr, c.opens);
    if (stream) {
      EXPECT_EQ(stream->read(1000), "arrived");
    }
  }
}

TEST_F(CurlFetchTest, NeverOpensAnythingButHttp) {
  const auto file = std::filesystem::temp_directory_path() / ("quorvel-fetch-" + std::to_string(::getpid()));
  std::ofstream(file) << "2,0,0,4096,local";
  const std::string fileUrl = "file://" + file.string();
  service.route("/to-file", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(fileUrl); });

  for (const std::string& url : {fileUrl, service.url("/to-file"), std::string("ftp://127.0.0.1:1/x"),
                                 std::string("dict://127.0.0.1:1/x")}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(fetch.open(url, kQueryLimits), nullptr);
  }
  std::filesystem::remove(file);
}

TEST_F(CurlFetchTest, TrimsTheUrlAndSendsInnerSpacesEncoded) {
  service.serveText("/a b", "spaced");
  auto stream = fetch.open(" \t\r\n" + service.url("/a b") + "\r\n", kQueryLimits);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->read(100), "spaced");
  EXPECT_EQ(service.requests(), std::vector<std::string>{"/a%20b"});
}

TEST_F(CurlFetchTest, UrlWithAControlCharacterIsNeverSent) {
  service.serveText("/ab", "reached");
  for (const std::string& inner :
       {std::string("\x01"), std::string("\t"), std::string("\r\n"), std::string("\x7f"), std::string(1, '\0')}) {
    SCOPED_TRACE(testing::PrintToString(inner));
    EXPECT_EQ(fetch.open(service.url("/a" + inner + "b"), kQueryLimits), nullptr);
  }
  EXPECT_TRUE(service.requests().empty());
}

TEST_F(CurlFetchTest, ReadReturnsAtMostWhatIsAskedAndTheRestLater) {
  const std::string body = Pattern(5000);
  service.serveText("/body", body);
  auto stream = open("/body");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->contentLength(), 5000u);
  EXPECT_EQ(stream->read(1000), body.substr(0, 1000));
  EXPECT_EQ(stream->read(10000), body.substr(1000));
  EXPECT_EQ(stream->read(10), "");
}

TEST_F(CurlFetchTest, LargeReadOfAShortBodyAllocatesOnlyWhatCame) {
  service.route("/chunked", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream", [](std::size_t offset, httplib::DataSink& sink) {
      if (offset == 0) {
        const std::string part = Pattern(100);
        sink.write(part.data(), part.size());
      } else {
        sink.done();
      }
      return true;
    });
  });
  auto stream = open("/chunked", kDownloadLimits);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->contentLength(), std::nullopt);
  const std::string got = stream->read(kMaxImageSize);
  EXPECT_EQ(got, Pattern(100));
  EXPECT_LT(got.capacity(), std::size_t{1} << 20);
}

TEST_F(CurlFetchTest, TheTailOfALongBodyIsNotFetchedBeforeItIsRead) {
  constexpr std::size_t kDeclared = std::size_t{1} << 30;
  auto sent = std::make_shared<std::atomic<std::size_t>>(0);
  service.route("/huge", [sent](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(kDeclared, "application/octet-stream",
                             [sent](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               const std::string chunk = Pattern(std::min<std::size_t>(length, 65536), offset);
                               if (!sink.write(chunk.data(), chunk.size())) return false;
                               *sent += chunk.size();
                               return true;
                             });
  });
  auto stream = open("/huge", kDownloadLimits);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->contentLength(), kDeclared);
  EXPECT_EQ(stream->read(1000), Pattern(1000));
  stream.reset();
  // What the socket buffers hold on both sides, not the gigabyte.
  EXPECT_LT(sent->load(), std::size_t{64} << 20);

  // Dropping the half-read connection leaves the fetch usable.
  service.serveText("/after", "next");
  auto next = open("/after");
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->read(100), "next");
}

TEST_F(CurlFetchTest, ABodyStalledMidwayEndsTheReadWithWhatCame) {
  service.route("/stall", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(4096, "application/octet-stream",
                             [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               if (offset == 0) return sink.write(Pattern(1000).data(), 1000);
                               gate.wait();
                               return false;
                             });
  });
  const FetchLimits limits{1000ms, 0ms, 200ms};
  auto stream = open("/stall", limits);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->read(4096), Pattern(1000));
  EXPECT_EQ(stream->read(4096), "");
}

TEST_F(CurlFetchTest, AServerThatNeverAnswersFailsTheOpen) {
  service.route("/silent", [this](const httplib::Request&, httplib::Response& res) {
    gate.wait();
    res.set_content("late", "text/plain");
  });
  struct Case {
    const char* name;
    FetchLimits limits;
  };
  for (const Case& c : {Case{"stall limit", {1000ms, 0ms, 200ms}}, Case{"total limit", {1000ms, 200ms, 0ms}}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(open("/silent", c.limits), nullptr);
  }
}

TEST_F(CurlFetchTest, TotalLimitEndsABodyThatTrickles) {
  service.route("/trickle", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(1000000, "application/octet-stream",
                             [](std::size_t, std::size_t, httplib::DataSink& sink) {
                               std::this_thread::sleep_for(20ms);
                               return sink.write("x", 1);
                             });
  });
  auto stream = open("/trickle", FetchLimits{1000ms, 300ms, 0ms});
  ASSERT_NE(stream, nullptr);
  const std::string got = stream->read(1000000);
  EXPECT_LT(got.size(), 1000000u);
  EXPECT_EQ(got, std::string(got.size(), 'x'));
}

TEST_F(CurlFetchTest, UnreachablePortFailsTheOpen) {
  const servicetest::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  EXPECT_EQ(fetch.open("http://127.0.0.1:" + std::to_string(refusing.port()) + "/x", kQueryLimits), nullptr);
}

TEST_F(CurlFetchTest, SuccessiveRequestsReuseTheConnection) {
  service.serveText("/q", "105,0,");
  // The test service closes a kept-alive connection after its fifth request.
  for (int i = 0; i < 4; ++i) {
    auto stream = open("/q");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->read(1000), "105,0,");
  }
  EXPECT_EQ(service.requests().size(), 4u);
  EXPECT_EQ(service.connectionCount(), 1u);
}

TEST_F(CurlFetchTest, AStreamOutlivesItsFetch) {
  service.serveText("/body", Pattern(3000));
  auto owner = std::make_unique<CurlFetch>();
  auto stream = owner->open(service.url("/body"), kQueryLimits);
  ASSERT_NE(stream, nullptr);
  owner.reset();
  EXPECT_EQ(stream->read(5000), Pattern(3000));
}

// A self-signed certificate for 127.0.0.1, written as PEM files into a temporary folder.
class SelfSignedCertificate {
 public:
  SelfSignedCertificate() {
    char dir[] = "/tmp/quorvel-tls-XXXXXX";
    if (!::mkdtemp(dir)) return;
    m_dir = dir;
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    if (key && cert) {
      ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
      X509_set_version(cert, 2);
      X509_gmtime_adj(X509_getm_notBefore(cert), -60);
      X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
      X509_set_pubkey(cert, key);
      X509_NAME* name = X509_get_subject_name(cert);
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                 -1, 0);
      X509_set_issuer_name(cert, name);
      addExtension(cert, NID_subject_alt_name, "IP:127.0.0.1");
      addExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
      if (X509_sign(cert, key, EVP_sha256()) > 0) m_ok = writePem(certFile(), cert, nullptr) && writePem(keyFile(), nullptr, key);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  ~SelfSignedCertificate() {
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
  }

  bool ok() const { return m_ok; }
  std::string certFile() const { return m_dir + "/cert.pem"; }
  std::string keyFile() const { return m_dir + "/key.pem"; }

 private:
  static void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
      X509_add_ext(cert, ext, -1);
      X509_EXTENSION_free(ext);
    }
  }

  static bool writePem(const std::string& path, X509* cert, EVP_PKEY* key) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return false;
    const bool written = cert ? PEM_write_X509(out, cert) == 1
                              : PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(out) == 0 && written;
  }

  std::string m_dir;
  bool m_ok = false;
};

// An HTTPS service on 127.0.0.1 with the given certificate, serving "tls ok" at /secure.
class TlsService {
 public:
  explicit TlsService(const SelfSignedCertificate& certificate)
      : m_server(certificate.certFile().c_str(), certificate.keyFile().c_str()) {
    if (!m_server.is_valid()) return;
    m_server.Get("/secure", [](const httplib::Request&, httplib::Response& res) { res.set_content("tls ok", "text/plain"); });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) return;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running()) std::this_thread::yield();
  }
  ~TlsService() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
  }
  TlsService(const TlsService&) = delete;
  TlsService& operator=(const TlsService&) = delete;

  bool running() const { return m_thread.joinable(); }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(m_port) + "/secure"; }

 private:
  httplib::SSLServer m_server;
  int m_port = 0;
  std::thread m_thread;
};

TEST(CurlFetchTls, VerifiesTheServerCertificate) {
  const SelfSignedCertificate certificate;
  ASSERT_TRUE(certificate.ok());
  TlsService server(certificate);
  ASSERT_TRUE(server.running());

  CurlFetch systemTrust;
  EXPECT_EQ(systemTrust.open(server.url(), kQueryLimits), nullptr) << "a certificate no CA vouches for was accepted";

  CurlFetch trusting(CurlFetch::Options{certificate.certFile()});
  auto stream = trusting.open(server.url(), kQueryLimits);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->read(100), "tls ok");
}

}  // namespace
}  // namespace service
