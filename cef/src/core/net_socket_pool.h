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
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

namespace cef_internal {

// Every socket the network stack opens is counted, idle ones included.
void CountSocketOpened();
// Shuts |socket| down and closes it if open, and counts it closed.
void CloseCountedSocket(boost::asio::ip::tcp::socket& socket);
int CountedOpenSockets();

// Chromium's limit of connections per group: a request holds one of its
// group's slots from when it wants a connection until it has let go of it
// (kept idle or closed); the others wait in order of arrival. An idle
// connection is only ever taken by a request that holds a slot, so a group
// never has more connections than slots. Used on the loop's thread only.
class GroupSlots {
 public:
  static constexpr size_t kMaxPerGroup = 6;

  // Gives |owner| a slot of |group| and returns true, or queues it and
  // returns false: |granted| is then called from the Release() that frees
  // a slot for it, so it must only post the work on.
  bool Acquire(const std::string& group, const void* owner, std::function<void()> granted);

  // Frees |owner|'s slot for the next waiter, or takes |owner| out of the
  // queue; does nothing when it has neither.
  void Release(const std::string& group, const void* owner);

  // Forgets every slot and waiter, granting none (the loop shuts down).
  void Clear() { groups_.clear(); }

 private:
  struct Group {
    std::set<const void*> holders;
    std::deque<std::pair<const void*, std::function<void()>>> waiting;
  };
  std::map<std::string, Group> groups_;
};

class IdleSocketPool {
 public:
  using Socket = boost::asio::ip::tcp::socket;

  static constexpr size_t kMaxIdlePerGroup = GroupSlots::kMaxPerGroup;
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
