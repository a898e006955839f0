#include "runtime/net/net_shutdown.h"

#include <chrono>
#include <future>
#include <mutex>

#include "core/message_loop.h"
#include "core/net_http_transaction.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

std::mutex g_lock;  // guards g_canceller and g_registered
std::function<void()> g_canceller;
bool g_registered = false;

void ShutDownNetwork() {
  std::function<void()> canceller;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    canceller = g_canceller;
    g_registered = false;
  }
  // Loads live on the IO thread: cancel them there and wait, so resource
  // handlers hear Cancel() before the runtime goes away.
  if (canceller) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    if (PostFunction(TID_IO, [canceller, done] {
          canceller();
          done->set_value();
        })) {
      finished.wait_for(std::chrono::seconds(10));
    }
  }
  network_thread::Shutdown();
}

}  // namespace

void EnsureNetworkShutdownHook() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_registered)
    return;
  g_registered = true;
  AddShutdownHook("network stack", ShutDownNetwork);
}

void SetLiveLoadCanceller(std::function<void()> canceller) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_canceller = std::move(canceller);
}

}  // namespace cef_internal
