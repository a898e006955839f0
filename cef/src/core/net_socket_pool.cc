#include "core/net_socket_pool.h"

#include <atomic>
#include <utility>

#include <boost/asio/error.hpp>

namespace cef_internal {

namespace {

namespace asio = boost::asio;

std::atomic<int> g_open_sockets{0};

// True when |socket| is open with nothing to read: the peer has neither
// closed it nor sent anything unasked (Chromium's IsConnectedAndIdle).
bool IsConnectedAndIdle(IdleSocketPool::Socket& socket) {
  if (!socket.is_open())
    return false;
  boost::system::error_code ec;
  const bool was_non_blocking = socket.non_blocking();
  if (!was_non_blocking)
    socket.non_blocking(true, ec);
  if (ec)
    return false;
  char byte;
  socket.receive(asio::buffer(&byte, 1), IdleSocketPool::Socket::message_peek, ec);
  const bool idle = ec == asio::error::would_block;
  if (!was_non_blocking) {
    boost::system::error_code ignored;
    socket.non_blocking(false, ignored);
  }
  return idle;
}

}  // namespace

void CountSocketOpened() {
  g_open_sockets.fetch_add(1);
}

void CloseCountedSocket(asio::ip::tcp::socket& socket) {
  if (!socket.is_open())
    return;
  boost::system::error_code ignored;
  socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
  g_open_sockets.fetch_sub(1);
}

int CountedOpenSockets() {
  return g_open_sockets.load();
}

bool GroupSlots::Acquire(const std::string& group, const void* owner, std::function<void()> granted) {
  Group& g = groups_[group];
  if (g.holders.size() < kMaxPerGroup) {
    g.holders.insert(owner);
    return true;
  }
  g.waiting.emplace_back(owner, std::move(granted));
  return false;
}

void GroupSlots::Release(const std::string& group, const void* owner) {
  auto it = groups_.find(group);
  if (it == groups_.end())
    return;
  Group& g = it->second;
  std::function<void()> granted;
  if (g.holders.erase(owner)) {
    if (!g.waiting.empty()) {
      g.holders.insert(g.waiting.front().first);
      granted = std::move(g.waiting.front().second);
      g.waiting.pop_front();
    }
  } else {
    std::erase_if(g.waiting, [owner](const auto& waiter) { return waiter.first == owner; });
  }
  if (g.holders.empty() && g.waiting.empty())
    groups_.erase(it);
  if (granted)
    granted();
}

IdleSocketPool::IdleSocketPool(asio::io_context& context) : timer_(context) {}

std::optional<IdleSocketPool::Socket> IdleSocketPool::Take(const std::string& group) {
  auto it = groups_.find(group);
  if (it == groups_.end())
    return std::nullopt;
  std::optional<Socket> found;
  const auto now = std::chrono::steady_clock::now();
  while (!it->second.empty()) {
    Idle idle = std::move(it->second.back());
    it->second.pop_back();
    if (now - idle.since < kIdleTimeout && IsConnectedAndIdle(idle.socket)) {
      found.emplace(std::move(idle.socket));
      break;
    }
    CloseCountedSocket(idle.socket);
  }
  if (it->second.empty())
    groups_.erase(it);
  return found;
}

void IdleSocketPool::Put(const std::string& group, Socket socket) {
  if (closed_)
    return CloseCountedSocket(socket);
  std::deque<Idle>& idle = groups_[group];
  idle.push_back(Idle{std::move(socket), std::chrono::steady_clock::now()});
  while (idle.size() > kMaxIdlePerGroup) {
    CloseCountedSocket(idle.front().socket);
    idle.pop_front();
  }
  ArmTimer();
}

void IdleSocketPool::CloseAll() {
  closed_ = true;
  for (auto& [group, idle] : groups_) {
    for (Idle& entry : idle)
      CloseCountedSocket(entry.socket);
  }
  groups_.clear();
  timer_.cancel();
  timer_armed_ = false;
}

size_t IdleSocketPool::IdleCount() const {
  size_t count = 0;
  for (const auto& [group, idle] : groups_)
    count += idle.size();
  return count;
}

void IdleSocketPool::ArmTimer() {
  if (timer_armed_ || groups_.empty())
    return;
  auto oldest = std::chrono::steady_clock::time_point::max();
  for (const auto& [group, idle] : groups_)
    oldest = std::min(oldest, idle.front().since);
  timer_armed_ = true;
  timer_.expires_at(oldest + kIdleTimeout);
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec == asio::error::operation_aborted)
      return;
    timer_armed_ = false;
    CloseExpired();
    ArmTimer();
  });
}

void IdleSocketPool::CloseExpired() {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = groups_.begin(); it != groups_.end();) {
    std::deque<Idle>& idle = it->second;
    while (!idle.empty() && now - idle.front().since >= kIdleTimeout) {
      CloseCountedSocket(idle.front().socket);
      idle.pop_front();
    }
    it = idle.empty() ? groups_.erase(it) : std::next(it);
  }
}

}  // namespace cef_internal
