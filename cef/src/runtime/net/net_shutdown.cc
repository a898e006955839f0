#include "runtime/net/net_shutdown.h"

#include <chrono>
#include <future>
#include <mutex>

#include "core/message_loop.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

std::mutex g_lock;  // guards g_canceller, g_registered and g_loop
std::function<void()> g_canceller;
// Set from the first load of a runtime until its shutdown.
bool g_registered = false;
std::shared_ptr<NetworkLoop> g_loop;

void ShutDownNetwork() {
  std::function<void()> canceller;
  std::shared_ptr<NetworkLoop> loop;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    canceller = g_canceller;
    loop.swap(g_loop);
    g_registered = false;
  }
  // Loads and their sockets live on the IO thread: cancel them there and
  // wait, so resource handlers hear Cancel() before the runtime goes away.
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  if (PostFunction(TID_IO, [canceller, loop, done] {
        if (canceller)
          canceller();
        if (loop)
          loop->Shutdown();
        done->set_value();
      })) {
    finished.wait_for(std::chrono::seconds(10));
  }
}

}  // namespace

void EnsureNetworkShutdownHook() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_registered)
    return;
  g_registered = true;
  AddShutdownHook("network stack", ShutDownNetwork);
}

std::shared_ptr<NetworkLoop> RuntimeNetworkLoop() {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!g_registered)
    return nullptr;
  if (!g_loop)
    g_loop = NetworkLoop::OnContext(IOContext());
  return g_loop;
}

void SetLiveLoadCanceller(std::function<void()> canceller) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_canceller = std::move(canceller);
}

}  // namespace cef_internal
