// A receiver that falls behind a fast server: a loopback server streams a
// large body (default 256 MiB) to a CefURLRequest made on the UI thread,
// and the UI thread is busy (default 4 s) right after starting it. Prints
// the process's memory before, at the end of the busy time and after
// (working set and private bytes, the pagefile usage; Wine reports no
// PrivateUsage and no peak of it, so a thread samples it every 5 ms):
// what is read for a receiver that is behind is what the process grows by.
//
//   backlog_stress.exe [MiB=256] [busy_ms=4000]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

// Before windows.h, as asio needs.
#include "support/streaming_server.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include "include/cef_request.h"
#include "include/cef_urlrequest.h"
#include "testing/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

double MiB(size_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

PROCESS_MEMORY_COUNTERS_EX Memory() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
  return counters;
}

void Print(const char* when, const PROCESS_MEMORY_COUNTERS_EX& m) {
  std::printf("%-20s working set %7.1f MiB (peak %7.1f)  private %7.1f MiB\n", when, MiB(m.WorkingSetSize),
              MiB(m.PeakWorkingSetSize), MiB(m.PagefileUsage));
}

// The highest private bytes seen while it runs.
class PeakSampler {
 public:
  PeakSampler() {
    thread_ = std::thread([this] {
      while (!stop_) {
        peak_ = std::max<size_t>(peak_, Memory().PagefileUsage);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  ~PeakSampler() {
    stop_ = true;
    thread_.join();
  }
  size_t peak() const { return peak_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<size_t> peak_{0};
  std::thread thread_;
};

class Counter : public CefURLRequestClient {
 public:
  size_t received = 0;
  bool complete = false;
  void OnRequestComplete(CefRefPtr<CefURLRequest>) override { complete = true; }
  void OnUploadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadData(CefRefPtr<CefURLRequest>, const void*, size_t size) override { received += size; }
  bool GetAuthCredentials(bool, const CefString&, int, const CefString&, const CefString&, CefRefPtr<CefAuthCallback>)
      override {
    return false;
  }
  IMPLEMENT_REFCOUNTING(Counter);
};

}  // namespace

int main(int argc, char** argv) {
  const size_t size = static_cast<size_t>(argc > 1 ? std::atoi(argv[1]) : 256) << 20;
  const int busy_ms = argc > 2 ? std::atoi(argv[2]) : 4000;
  cef_testing::ScopedRuntime runtime;
  if (!runtime.initialized()) {
    std::fprintf(stderr, "the runtime did not start\n");
    return 1;
  }
  kesta::testing::StreamingServer server(size);
  const PROCESS_MEMORY_COUNTERS_EX before = Memory();
  Print("before", before);
  PeakSampler sampler;

  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(server.origin() + "/stream");
  CefRefPtr<Counter> counter = new Counter();
  CefRefPtr<CefURLRequest> url_request = CefURLRequest::Create(request, counter, nullptr);
  if (!url_request) {
    std::fprintf(stderr, "the request did not start\n");
    return 1;
  }
  // Busy: whatever the IO thread hands this thread waits in its queue.
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(busy_ms));
  const PROCESS_MEMORY_COUNTERS_EX busy = Memory();
  std::printf("server sent %.1f MiB while the UI thread was busy %d ms\n", MiB(server.sent()), busy_ms);
  Print("end of busy period", busy);

  cef_testing::RunUntil([&] { return counter->complete; }, 600000);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const PROCESS_MEMORY_COUNTERS_EX after = Memory();
  Print("after", after);
  std::printf("received %.1f MiB of %.1f, status %d, %.2f s\n", MiB(counter->received), MiB(size),
              static_cast<int>(url_request->GetRequestStatus()), elapsed);
  std::printf("peak growth: working set %.1f MiB, private %.1f MiB\n",
              MiB(after.PeakWorkingSetSize) - MiB(before.WorkingSetSize),
              MiB(sampler.peak()) - MiB(before.PagefileUsage));
  url_request = nullptr;
  return counter->received == size ? 0 : 2;
}
