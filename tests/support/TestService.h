#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace testsupport {

// A real HTTP firmware service on 127.0.0.1 with an ephemeral port, for tests. Each request's
// raw target (path and query exactly as sent) is recorded. Handlers run on the server's thread.
class TestService {
 public:
  static constexpr const char* kFirmwarePath = "/scripts/firmware.php";

  TestService();
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  // http://127.0.0.1:PORT/scripts/firmware.php
  std::string baseUrl() const;
  // http://127.0.0.1:PORT followed by `path`.
  std::string url(const std::string& path) const;

  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  // Serves GET requests of `path` (exact match) with `handler`; replaces an earlier one.
  void route(const std::string& path, Handler handler);
  // Shorthand: GET `path` answers 200 with `body` as text/plain.
  void serveText(const std::string& path, std::string body);

  // Raw request targets in arrival order.
  std::vector<std::string> requests() const;
  // Distinct client connections (address and port) that requests came over: requests that
  // reused a kept-alive connection add none.
  std::size_t connectionCount() const;
  // Forgets the recorded requests and connections.
  void clearRequests();

 private:
  void dispatch(const httplib::Request& req, httplib::Response& res);

  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  int m_port = 0;
  mutable std::mutex m_mutex;
  std::vector<std::pair<std::string, Handler>> m_routes;
  std::vector<std::string> m_requests;
  std::set<std::string> m_connections;
};

}  // namespace testsupport
