#pragma once

// Helpers of the service tests: a gate that holds a server handler, and a port nobody listens on.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace servicetest {

// Holds server handlers (a body stalled mid-way) until the test releases them or ends.
class Gate {
 public:
  ~Gate() { release(); }

  void wait() {
    std::unique_lock lock(m_mutex);
    // Bounded, so that a test that forgets to release cannot hang the server's shutdown.
    m_cv.wait_for(lock, std::chrono::seconds(60), [this] { return m_open; });
  }

  void release() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
};

// A TCP port on 127.0.0.1 that is bound but never listened on, so connecting to it is refused
// for as long as this object lives (no other program can take the port meanwhile).
class RefusingPort {
 public:
  RefusingPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      m_port = ntohs(addr.sin_port);
    }
  }
  ~RefusingPort() {
    if (m_fd >= 0) ::close(m_fd);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

}  // namespace servicetest
