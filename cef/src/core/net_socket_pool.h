// Idle keep-alive connections of the network stack, kept for reuse the way
// Chromium's socket pools keep them: grouped by where a connection leads
// (the destination of a direct connection; the proxy and the destination
// of a proxied one), the most recently used taken first, a few per group,
// closed after a while unused. One pool per network loop, used on the
// loop's thread only.
#ifndef CEF_SRC_CORE_NET_SOCKET_POOL_H_
#define CEF_SRC_CORE_NET_SOCKET_POOL_H_
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

namespace cef_internal {

// Every socket the network stack opens is counted, idle ones included.
void CountSocketOpened();
// Shuts |socket| down and closes it if open, and counts it closed.
void CloseCountedSocket(boost::asio::ip::tcp::socket& socket);
int CountedOpenSockets();

class IdleSocketPool {
 public:
  using Socket = boost::asio::ip::tcp::socket;

  // Chromium's limit of connections per group.
  static constexpr size_t kMaxIdlePerGroup = 6;
  // Chromium's idle time-out for sockets that have carried a request.
  static constexpr std::chrono::seconds kIdleTimeout{300};

  explicit IdleSocketPool(boost::asio::io_context& context);

  // An idle connection of |group| that is still open with nothing unread
  // on it, or nothing. Connections found closed or stale are closed.
  std::optional<Socket> Take(const std::string& group);

  // Keeps |socket| for reuse by a later request of |group|; closes it once
  // the pool has been closed.
  void Put(const std::string& group, Socket socket);

  // Closes every idle connection and stops the expiry timer, for good: the
  // loop is shutting down, and a kept socket would hold it open.
  void CloseAll();

  size_t IdleCount() const;

 private:
  struct Idle {
    Socket socket;
    std::chrono::steady_clock::time_point since;
  };

  void ArmTimer();
  void CloseExpired();

  boost::asio::steady_timer timer_;
  bool timer_armed_ = false;
  bool closed_ = false;
  // Oldest first within each group.
  std::map<std::string, std::deque<Idle>> groups_;
};

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_SOCKET_POOL_H_
