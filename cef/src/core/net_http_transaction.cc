#include "core/net_http_transaction.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio.hpp>

#include "core/net_socket_pool.h"
#include "include/internal/cef_types_net.h"

namespace cef_internal {

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

constexpr auto kConnectTimeout = std::chrono::seconds(20);
// Large reads: the bytes of one completed read, and whatever had arrived
// behind them, travel on to the IO thread and the client's thread as one
// task, so fewer, bigger reads cost less.
constexpr size_t kReadChunk = 256 * 1024;
// At most this much is taken from the socket before it is handed on, so a
// fast, long body still streams.
constexpr size_t kMaxDelivery = 1024 * 1024;
// Read buffers kept per loop for later transactions: memory touched for
// the first time costs a page fault per page, far more than the copy.
constexpr size_t kMaxSpareReadBuffers = 4;

class TransactionImpl;

class NetworkLoopImpl : public NetworkLoop, public std::enable_shared_from_this<NetworkLoopImpl> {
 public:
  // Runs on |context|, run by |thread|; |own_context| is set instead when
  // the loop runs it on a thread of its own.
  NetworkLoopImpl(asio::io_context& context, std::shared_ptr<asio::io_context> own_context, std::thread::id thread)
      : own_context_(std::move(own_context)), context_(context), pool_(context), thread_id_(thread) {}

  ~NetworkLoopImpl() override;

  asio::io_context& context() { return context_; }
  // Loop thread only.
  IdleSocketPool& pool() { return pool_; }
  GroupSlots& slots() { return slots_; }
  std::unique_ptr<char[]> TakeReadBuffer();
  void ReturnReadBuffer(std::unique_ptr<char[]> buffer);

  // Whether the caller runs on the loop's thread. Asio's own test answers
  // only inside its handlers, not in the IO thread's tasks.
  bool OnLoopThread() {
    std::lock_guard<std::mutex> guard(lock_);
    return thread_id_ == std::this_thread::get_id();
  }

  // Registers |t| (and makes sure an own thread runs). False after
  // Shutdown().
  bool Register(const std::shared_ptr<TransactionImpl>& t);
  void Unregister(TransactionImpl* t);
  void Shutdown() override;

 private:
  // Closes every socket: on the loop's thread, or after it has stopped.
  void CloseAll(const std::set<std::shared_ptr<TransactionImpl>>& live);

  // Shared with the own thread, which may outlive the loop: the loop may
  // end on that thread, inside one of its handlers.
  const std::shared_ptr<asio::io_context> own_context_;
  asio::io_context& context_;
  IdleSocketPool pool_;
  // Loop thread only.
  GroupSlots slots_;
  std::vector<std::unique_ptr<char[]>> spare_read_buffers_;
  // Guards thread_id_, shut_down_, thread_, work_ and live_.
  std::mutex lock_;
  std::thread::id thread_id_;  // the thread that runs context_
  bool shut_down_ = false;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::thread thread_;  // runs an own context_
  std::set<std::shared_ptr<TransactionImpl>> live_;
};

bool IsTokenChar(char c) {
  if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
    return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
}

bool IsToken(const std::string& s) {
  if (s.empty())
    return false;
  for (char c : s) {
    if (!IsTokenChar(c))
      return false;
  }
  return true;
}

bool IsValidHeaderValue(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool EqualsIgnoreCase(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() != n)
    return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
      return false;
  }
  return true;
}

// Whether the connection may carry another request once |head|'s response
// has been read in full: HTTP/1.1 unless a Connection or Proxy-Connection
// header says "close"; HTTP/1.0 only when one says "keep-alive".
bool IsKeepAlive(const HttpResponseHead& head) {
  if (head.HasValue("Connection", "close") || head.HasValue("Proxy-Connection", "close"))
    return false;
  return head.AtLeastHttp11() || head.HasValue("Connection", "keep-alive") ||
         head.HasValue("Proxy-Connection", "keep-alive");
}

// Errors after which Chromium sends a request again when it went out on a
// reused connection and no byte of a response came back: the server had
// closed the idle connection just as it was taken.
bool IsReuseFailure(int error) {
  return error == ERR_CONNECTION_RESET || error == ERR_CONNECTION_CLOSED || error == ERR_CONNECTION_ABORTED ||
         error == ERR_SOCKET_NOT_CONNECTED || error == ERR_EMPTY_RESPONSE;
}

int MapError(const boost::system::error_code& ec, bool connecting, bool via_proxy) {
  namespace e = asio::error;
  int rv;
  if (ec == e::connection_refused)
    rv = ERR_CONNECTION_REFUSED;
  else if (ec == e::connection_reset)
    rv = ERR_CONNECTION_RESET;
  else if (ec == e::connection_aborted)
    rv = ERR_CONNECTION_ABORTED;
  else if (ec == e::timed_out)
    rv = ERR_CONNECTION_TIMED_OUT;
  else if (ec == e::host_not_found || ec == e::host_not_found_try_again || ec == e::no_data)
    rv = ERR_NAME_NOT_RESOLVED;
  else if (ec == e::network_unreachable || ec == e::host_unreachable)
    rv = ERR_ADDRESS_UNREACHABLE;
  else if (ec == e::broken_pipe || ec == e::not_connected || ec == e::shut_down)
    rv = ERR_CONNECTION_CLOSED;
  else
    rv = connecting ? ERR_CONNECTION_FAILED : ERR_FAILED;
  if (via_proxy && connecting && rv != ERR_NAME_NOT_RESOLVED)
    return ERR_PROXY_CONNECTION_FAILED;
  return rv;
}

class TransactionImpl : public HttpTransaction, public std::enable_shared_from_this<TransactionImpl> {
 public:
  TransactionImpl(std::shared_ptr<NetworkLoopImpl> loop,
                  HttpRequestSpec spec,
                  std::shared_ptr<HttpTransactionDelegate> delegate)
      : loop_(std::move(loop)),
        spec_(std::move(spec)),
        delegate_(std::move(delegate)),
        socket_(loop_->context()),
        resolver_(loop_->context()),
        timer_(loop_->context()),
        parser_(NewParser()) {}

  ~TransactionImpl() override { CloseCountedSocket(socket_); }

  void Begin() {
    // Started on the loop's thread (a load on the IO thread), the request
    // goes out at once; a failure on the way is still told later, never
    // from inside Start().
    if (loop_->OnLoopThread()) {
      starting_ = true;
      Open();
      starting_ = false;
      return;
    }
    asio::post(loop_->context(), [self = shared_from_this()] { self->Open(); });
  }

  void Cancel() override {
    // Steps already queued on the loop see this before the Finish below.
    // Set first, so that a transaction without its delegate is always
    // stopped.
    stopped_ = true;
    {
      std::lock_guard<std::recursive_mutex> guard(deliver_lock_);
      if (!delegate_)
        return;
      delegate_.reset();
    }
    asio::post(loop_->context(), [self = shared_from_this()] { self->Finish(); });
  }

  void Halt() override { stopped_ = true; }

  void PauseReads() override { reads_paused_ = true; }

  void ResumeReads() override {
    reads_paused_ = false;
    if (!read_waits_ || !socket_.is_open())
      return;
    read_waits_ = false;
    Read();
  }

  // Loop thread, or the shutdown path after the loop has stopped.
  void Abandon() {
    {
      std::lock_guard<std::recursive_mutex> guard(deliver_lock_);
      delegate_.reset();
    }
    stopped_ = true;
    // A lookup already under way is not stopped by this; its answer finds
    // stopped_ set.
    resolver_.cancel();
    timer_.cancel();
    CloseCountedSocket(socket_);
    loop_->slots().Release(group_, this);
  }

 private:
  HttpResponseParser NewParser() const {
    HttpResponseParser parser(spec_.method == "HEAD");
    // A delivery holds at most kMaxDelivery bytes and the read behind them.
    parser.ReserveBodyUpTo(kMaxDelivery + kReadChunk);
    return parser;
  }

  bool via_proxy() const { return spec_.proxy.scheme == ProxyServer::Scheme::kHttp; }

  // Held across the call, so a Cancel() from another thread waits for it
  // to end; one from the delegate itself (same thread) goes through, and
  // the local reference keeps the delegate alive until its call returns.
  template <typename F>
  void Deliver(F&& f) {
    std::lock_guard<std::recursive_mutex> guard(deliver_lock_);
    if (std::shared_ptr<HttpTransactionDelegate> delegate = delegate_)
      f(*delegate);
  }

  void Fail(int error) {
    if (starting_)
      return asio::post(loop_->context(), [self = shared_from_this(), error] { self->Fail(error); });
    Deliver([error](HttpTransactionDelegate& d) { d.OnHttpComplete(error); });
    Finish();
  }

  void Finish() {
    Abandon();
    loop_->Unregister(this);
  }

  bool BuildRequest() {
    if (!IsToken(spec_.method))
      return false;
    std::string target = via_proxy() ? spec_.url.Spec() : spec_.url.path;
    std::string text = spec_.method + " " + target + " HTTP/1.1\r\n";
    text += "Host: " + spec_.url.HostAndPort() + "\r\n";
    for (const auto& [name, value] : spec_.headers) {
      if (!IsToken(name) || !IsValidHeaderValue(value))
        return false;
      if (EqualsIgnoreCase(name, "host") || EqualsIgnoreCase(name, "content-length") ||
          EqualsIgnoreCase(name, "connection") || EqualsIgnoreCase(name, "transfer-encoding") ||
          EqualsIgnoreCase(name, "proxy-connection"))
        continue;
      text += name + ": " + value + "\r\n";
    }
    bool needs_length =
        !spec_.body.empty() || spec_.method == "POST" || spec_.method == "PUT" || spec_.method == "PATCH";
    if (needs_length)
      text += "Content-Length: " + std::to_string(spec_.body.size()) + "\r\n";
    // As Chromium asks: a proxy is told on its own header.
    text += via_proxy() ? "Proxy-Connection: keep-alive\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    text += spec_.body;
    request_text_ = std::move(text);
    return true;
  }

  // Connections are pooled by what they are connected to: the proxy and
  // the destination it was asked for, or the destination itself.
  std::string PoolGroup() const {
    std::string group = spec_.url.scheme + "://" + spec_.url.HostAndPort();
    if (via_proxy())
      group = "proxy " + spec_.proxy.host + ":" + std::to_string(spec_.proxy.port) + " " + group;
    return group;
  }

  void Open() {
    if (stopped_)
      return;
    if (!BuildRequest())
      return Fail(ERR_INVALID_ARGUMENT);
    int port = via_proxy() ? spec_.proxy.port : spec_.url.port;
    if (port <= 0 || port > 65535)
      return Fail(ERR_INVALID_URL);
    group_ = PoolGroup();
    // A request beyond its group's limit waits for a connection to be let go.
    auto granted = [weak = weak_from_this()] {
      if (std::shared_ptr<TransactionImpl> self = weak.lock())
        asio::post(self->loop_->context(), [self] { self->OnSlotGranted(); });
    };
    if (loop_->slots().Acquire(group_, this, std::move(granted)))
      Connect();
  }

  void OnSlotGranted() {
    // A cancelled or halted one lets its slot go when its Finish() runs.
    if (!stopped_)
      Connect();
  }

  // Holds a slot of its group: an idle connection of the group, else a new one.
  void Connect() {
    if (std::optional<tcp::socket> idle = loop_->pool().Take(group_)) {
      socket_ = std::move(*idle);
      reused_ = true;
      return Write();
    }
    Resolve();
  }

  // The reused connection failed before any byte of a response: the
  // request goes once more, on a connection of its own.
  void RetryOnNewConnection() {
    CloseCountedSocket(socket_);
    reused_ = false;
    retried_ = true;
    parser_ = NewParser();
    Resolve();
  }

  bool ShouldRetry(int error) const { return reused_ && !retried_ && IsReuseFailure(error); }

  void Resolve() {
    std::string host = via_proxy() ? spec_.proxy.host : spec_.url.BareHost();
    int port = via_proxy() ? spec_.proxy.port : spec_.url.port;
    resolver_.async_resolve(
        host, std::to_string(port), tcp::resolver::numeric_service,
        [self = shared_from_this()](const boost::system::error_code& ec, tcp::resolver::results_type results) {
          if (ec == asio::error::operation_aborted || self->stopped_)
            return;
          if (ec || results.empty())
            return self->Fail(ERR_NAME_NOT_RESOLVED);
          self->endpoints_.clear();
          for (const auto& entry : results)
            self->endpoints_.push_back(entry.endpoint());
          self->ConnectNext(0, ERR_CONNECTION_FAILED);
        });
  }

  void ConnectNext(size_t index, int last_error) {
    if (index >= endpoints_.size())
      return Fail(last_error);
    CloseCountedSocket(socket_);
    boost::system::error_code ec;
    socket_.open(endpoints_[index].protocol(), ec);
    if (ec)
      return ConnectNext(index + 1, MapError(ec, true, via_proxy()));
    CountSocketOpened();
    timer_.expires_after(kConnectTimeout);
    timer_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
      if (!ec) {
        self->timed_out_ = true;
        boost::system::error_code ignored;
        self->socket_.cancel(ignored);
      }
    });
    socket_.async_connect(endpoints_[index], [self = shared_from_this(), index](const boost::system::error_code& ec) {
      self->timer_.cancel();
      if (!self->socket_.is_open())
        return;  // cancelled
      if (self->timed_out_)
        return self->Fail(self->via_proxy() ? ERR_PROXY_CONNECTION_FAILED : ERR_CONNECTION_TIMED_OUT);
      if (ec)
        return self->ConnectNext(index + 1, MapError(ec, true, self->via_proxy()));
      boost::system::error_code ignored;
      self->socket_.set_option(tcp::no_delay(true), ignored);
      // Sends and drains go without blocking (see Write and OnRead); the
      // mode stays with the connection when it is pooled.
      self->socket_.non_blocking(true, ignored);
      self->Write();
    });
  }

  void Write() {
    if (stopped_)
      return;  // the Finish that Cancel() posted closes the socket
    // A request usually fits the socket's buffer: sent at once, it spares
    // a round through the completion port (a thread wake-up under Wine).
    boost::system::error_code ec;
    const size_t sent = socket_.non_blocking() ? socket_.write_some(asio::buffer(request_text_), ec) : 0;
    if (ec == asio::error::would_block)
      ec.clear();
    if (ec || sent == request_text_.size())
      return OnWritten(ec);
    asio::async_write(socket_, asio::buffer(request_text_) + sent,
                      [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                        if (!self->socket_.is_open())
                          return;
                        self->OnWritten(ec);
                      });
  }

  void OnWritten(const boost::system::error_code& ec) {
    if (ec) {
      const int error = MapError(ec, false, via_proxy());
      if (ShouldRetry(error))
        return RetryOnNewConnection();
      return Fail(error);
    }
    Read();
  }

  void Read() {
    if (!read_buffer_)
      read_buffer_ = loop_->TakeReadBuffer();
    socket_.async_read_some(asio::buffer(read_buffer_.get(), kReadChunk),
                            [self = shared_from_this()](const boost::system::error_code& ec, size_t n) {
                              if (!self->socket_.is_open())
                                return;
                              self->OnRead(ec, n);
                            });
  }

  void OnRead(boost::system::error_code ec, size_t n) {
    std::string body;
    int rv = 0;
    // Set when a head arrives in full: it goes out even if the connection
    // fails right behind it.
    bool head_arrived = false;
    auto feed = [&](size_t size) {
      const bool had_head = parser_.head_complete();
      rv = parser_.Feed(read_buffer_.get(), size, body);
      head_arrived = head_arrived || (!rv && !had_head && parser_.head_complete());
    };
    if (n)
      feed(n);
    // What arrived behind this read is taken now, without blocking, and
    // goes on with it: another asynchronous read would cost a wake-up per
    // chunk.
    while (!rv && !ec && !parser_.done() && body.size() < kMaxDelivery && socket_.non_blocking()) {
      n = socket_.read_some(asio::buffer(read_buffer_.get(), kReadChunk), ec);
      if (ec == asio::error::would_block) {
        ec.clear();
        break;
      }
      if (n)
        feed(n);
    }
    if (!rv && ec == asio::error::eof)
      rv = parser_.OnEof();
    else if (!rv && ec)
      rv = parser_.received_bytes() ? MapError(ec, false, via_proxy())
                                    : (ec == asio::error::connection_reset ? ERR_CONNECTION_RESET : ERR_EMPTY_RESPONSE);
    if (rv && !parser_.received_bytes() && ShouldRetry(rv))
      return RetryOnNewConnection();
    if (head_arrived)
      Deliver([this](HttpTransactionDelegate& d) { d.OnHttpResponseHead(parser_.head()); });
    if (!body.empty())
      Deliver([&body](HttpTransactionDelegate& d) { d.OnHttpData(std::move(body)); });
    if (rv)
      return Fail(rv);
    if (parser_.done()) {
      // Nothing may follow the response on a connection kept for reuse, and
      // a cancelled exchange leaves its connection to be closed.
      if (!ec && !stopped_ && !parser_.had_trailing_bytes() && IsKeepAlive(parser_.head()))
        loop_->pool().Put(group_, std::move(socket_));
      loop_->ReturnReadBuffer(std::move(read_buffer_));  // no read is pending
      return Fail(0);
    }
    if (ec == asio::error::eof)
      return Fail(ERR_CONNECTION_CLOSED);
    if (reads_paused_) {
      read_waits_ = true;
      return;
    }
    Read();
  }

  const std::shared_ptr<NetworkLoopImpl> loop_;
  HttpRequestSpec spec_;
  std::recursive_mutex deliver_lock_;  // guards delegate_: no delivery after Cancel()
  std::shared_ptr<HttpTransactionDelegate> delegate_;
  tcp::socket socket_;
  tcp::resolver resolver_;
  asio::steady_timer timer_;
  std::vector<tcp::endpoint> endpoints_;
  bool timed_out_ = false;
  std::string group_;
  bool reused_ = false;   // socket_ came from the idle pool
  bool retried_ = false;  // the request already went out a second time
  std::string request_text_;
  bool starting_ = false;                // Open() runs inside Start()
  std::unique_ptr<char[]> read_buffer_;  // kReadChunk bytes, from the loop's spares
  bool reads_paused_ = false;            // PauseReads() until ResumeReads()
  bool read_waits_ = false;              // the next Read() waits for ResumeReads()
  HttpResponseParser parser_;
  // Cancelled or abandoned: nothing more is sent, no socket opened or
  // pooled. Set from any thread.
  std::atomic<bool> stopped_{false};
};

NetworkLoopImpl::~NetworkLoopImpl() {
  // An outside context's owner shuts the loop down while the context runs;
  // sockets left over then close with their owners.
  if (own_context_)
    Shutdown();
}

bool NetworkLoopImpl::Register(const std::shared_ptr<TransactionImpl>& t) {
  std::lock_guard<std::mutex> guard(lock_);
  if (shut_down_)
    return false;
  if (own_context_ && !thread_.joinable()) {
    work_.emplace(asio::make_work_guard(context_));
    thread_ = std::thread([context = own_context_] { context->run(); });
    thread_id_ = thread_.get_id();
  }
  live_.insert(t);
  return true;
}

std::unique_ptr<char[]> NetworkLoopImpl::TakeReadBuffer() {
  if (spare_read_buffers_.empty())
    return std::unique_ptr<char[]>(new char[kReadChunk]);  // left uninitialised: reads fill it
  std::unique_ptr<char[]> buffer = std::move(spare_read_buffers_.back());
  spare_read_buffers_.pop_back();
  return buffer;
}

void NetworkLoopImpl::ReturnReadBuffer(std::unique_ptr<char[]> buffer) {
  if (buffer && spare_read_buffers_.size() < kMaxSpareReadBuffers)
    spare_read_buffers_.push_back(std::move(buffer));
}

void NetworkLoopImpl::Unregister(TransactionImpl* t) {
  std::shared_ptr<TransactionImpl> doomed;  // destroyed outside the lock
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = live_.begin(); it != live_.end(); ++it) {
    if (it->get() == t) {
      doomed = *it;
      live_.erase(it);
      break;
    }
  }
}

void NetworkLoopImpl::CloseAll(const std::set<std::shared_ptr<TransactionImpl>>& live) {
  slots_.Clear();  // no waiter may start as the others let go
  for (const auto& t : live)
    t->Abandon();
  pool_.CloseAll();
}

void NetworkLoopImpl::Shutdown() {
  std::set<std::shared_ptr<TransactionImpl>> live;
  std::thread thread;
  bool on_loop_thread;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (shut_down_)
      return;
    shut_down_ = true;
    live.swap(live_);
    work_.reset();
    thread.swap(thread_);
    on_loop_thread = thread_id_ == std::this_thread::get_id();
  }
  if (on_loop_thread) {
    // The thread cannot wait for itself: it ends by itself once the
    // handlers still queued have run.
    CloseAll(live);
    if (thread.joinable())
      thread.detach();
    return;
  }
  if (own_context_ && !thread.joinable())
    return CloseAll(live);  // never ran
  // Close every socket on the loop's thread and wait for it.
  std::promise<void> closed;
  asio::post(context_, [this, &live, &closed] {
    CloseAll(live);
    closed.set_value();
  });
  closed.get_future().wait();
  if (thread.joinable())
    thread.join();
}

}  // namespace

std::shared_ptr<NetworkLoop> NetworkLoop::OnContext(asio::io_context& context) {
  return std::make_shared<NetworkLoopImpl>(context, nullptr, std::this_thread::get_id());
}

std::shared_ptr<NetworkLoop> NetworkLoop::OnOwnThread() {
  auto context = std::make_shared<asio::io_context>();
  asio::io_context& ref = *context;
  return std::make_shared<NetworkLoopImpl>(ref, std::move(context), std::thread::id());
}

std::shared_ptr<HttpTransaction> HttpTransaction::Start(const std::shared_ptr<NetworkLoop>& loop,
                                                        HttpRequestSpec spec,
                                                        std::shared_ptr<HttpTransactionDelegate> delegate) {
  auto impl = std::static_pointer_cast<NetworkLoopImpl>(loop);
  auto t = std::make_shared<TransactionImpl>(impl, std::move(spec), std::move(delegate));
  if (!impl->Register(t))
    return nullptr;
  t->Begin();
  return t;
}

}  // namespace cef_internal
