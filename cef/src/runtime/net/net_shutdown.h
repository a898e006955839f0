// Ties the network stack to the runtime's lifetime: loads run their
// sockets on a network loop on the IO thread, and the first load registers
// a CefShutdown() step that cancels what still runs and closes every
// socket.
#ifndef CEF_SRC_RUNTIME_NET_NET_SHUTDOWN_H_
#define CEF_SRC_RUNTIME_NET_NET_SHUTDOWN_H_
#pragma once

#include <functional>
#include <memory>

#include "core/net_http_transaction.h"

namespace cef_internal {

// Any thread; cheap after the first call.
void EnsureNetworkShutdownHook();

// IO thread. The loop the runtime's loads use; null once the network has
// been shut down.
std::shared_ptr<NetworkLoop> RuntimeNetworkLoop();

// Registered by the load pipeline: cancels every live load on the IO thread.
void SetLiveLoadCanceller(std::function<void()> canceller);

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_NET_NET_SHUTDOWN_H_
