#include "TestService.h"

#include <httplib.h>

#include <csignal>
#include <stdexcept>

namespace testsupport {

TestService::TestService() : m_server(std::make_unique<httplib::Server>()) {
  // The server writes without MSG_NOSIGNAL: a client that drops a connection mid-body (as a
  // released stream does) would otherwise kill the whole test program with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  // Without it the server's separate writes of headers and body meet the client's delayed ACK on
  // a kept-alive connection: some 40 ms per request.
  m_server->set_tcp_nodelay(true);
  m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { dispatch(req, res); });
  m_port = m_server->bind_to_any_port("127.0.0.1");
  if (m_port <= 0) throw std::runtime_error("TestService: cannot bind 127.0.0.1");
  m_thread = std::thread([this] { m_server->listen_after_bind(); });
  // stop() is a no-op until the accept loop runs, so do not hand the service out before that.
  while (!m_server->is_running()) std::this_thread::yield();
}

TestService::~TestService() {
  m_server->stop();
  if (m_thread.joinable()) m_thread.join();
}

std::string TestService::baseUrl() const { return url(kFirmwarePath); }

std::string TestService::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void TestService::route(const std::string& path, Handler handler) {
  std::lock_guard lock(m_mutex);
  for (auto& [p, h] : m_routes) {
    if (p == path) {
      h = std::move(handler);
      return;
    }
  }
  m_routes.emplace_back(path, std::move(handler));
}

void TestService::serveText(const std::string& path, std::string body) {
  route(path, [body = std::move(body)](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, "text/plain");
  });
}

std::vector<std::string> TestService::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

std::size_t TestService::connectionCount() const {
  std::lock_guard lock(m_mutex);
  return m_connections.size();
}

void TestService::clearRequests() {
  std::lock_guard lock(m_mutex);
  m_requests.clear();
  m_connections.clear();
}

void TestService::dispatch(const httplib::Request& req, httplib::Response& res) {
  Handler handler;
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(req.target);
    m_connections.insert(req.remote_addr + ":" + std::to_string(req.remote_port));
    for (const auto& [p, h] : m_routes) {
      if (p == req.path) handler = h;
    }
  }
  if (handler) {
    handler(req, res);
  } else {
    res.status = 404;
    res.set_content("not found", "text/plain");
  }
}

}  // namespace testsupport
