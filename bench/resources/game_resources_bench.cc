// Times the game's resource road in the running runtime against
// kesta-service.exe: a game browser loading 2,000 files of mixed sizes
// (1 KiB to 1 MiB) through the local HTTPS handler, the same files fetched
// straight from the service by the network stack, the same bytes served to
// the page from memory, the same files fetched by a plain HTTP client on one
// kept-alive socket (the physical limit), and the per-request cost of the
// access rules plus the handler factory with 50,000 bindings in the
// generation. The handler keeps the whole answer before the page gets any of
// it, so it can be no faster than a fetch from the IO thread followed by a
// serve from memory: the handler road is printed against that bound. Prints
// one line per measurement.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/local_handler.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_request.h"
#include "include/cef_resource_handler.h"
#include "include/cef_scheme.h"
#include "include/cef_task.h"
#include "include/cef_urlrequest.h"
#include "service/service_harness_win.h"
#include "testing/driver.h"
#include "testing/runtime.h"

namespace {

namespace fs = std::filesystem;
using namespace kesta::desktop;
using Clock = std::chrono::steady_clock;

constexpr char kSite[] = "https://play.kesta.test";
constexpr char kMemoryHost[] = "memory.kesta.test";
constexpr int kFiles = 2000;
constexpr int kBindings = 50000;

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Wired to the desktop layer as the shell wires its browsers.
class GameClient : public CefClient,
                   public CefLifeSpanHandler,
                   public CefRequestHandler,
                   public CefResourceRequestHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    DesktopBrowserCreated(browser);
    this->browser = browser;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override { DesktopBrowserClosed(browser); }
  CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser>,
                                                                 CefRefPtr<CefFrame>,
                                                                 CefRefPtr<CefRequest>,
                                                                 bool,
                                                                 bool,
                                                                 const CefString&,
                                                                 bool&) override {
    return this;
  }
  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request,
                                   CefRefPtr<CefCallback>) override {
    return DesktopResource(browser, frame, request);
  }

  CefRefPtr<CefBrowser> browser;

 private:
  IMPLEMENT_REFCOUNTING(GameClient);
};

// Runs a function as a task on a CEF thread.
class FunctionTask : public CefTask {
 public:
  explicit FunctionTask(std::function<void()> f) : f_(std::move(f)) {}
  void Execute() override { f_(); }

 private:
  std::function<void()> f_;
  IMPLEMENT_REFCOUNTING(FunctionTask);
};

// Direct fetches of a block of files, one after another, each started
// from the previous one's completion on the thread that started the first.
// Counts the body's bytes and keeps none, as the plain client does.
class FetchChain : public CefURLRequestClient {
 public:
  FetchChain(CefRefPtr<CefRequestContext> context,
             std::string origin,
             std::string token,
             std::string generation,
             const std::vector<size_t>& sizes)
      : context_(context),
        origin_(std::move(origin)),
        token_(std::move(token)),
        generation_(std::move(generation)),
        sizes_(sizes) {}

  // Fetches files [first, end); |finished| runs on the same thread after
  // the last, with the number of failures.
  void Run(int first, int end, std::function<void(int)> finished) {
    next_ = first;
    end_ = end;
    failed_ = 0;
    finished_ = std::move(finished);
    Next();
  }

  void OnRequestComplete(CefRefPtr<CefURLRequest> request) override {
    CefRefPtr<CefResponse> response = request->GetResponse();
    const bool ok = response && response->GetStatus() == 200 && received_ == sizes_[next_];
    failed_ += ok ? 0 : 1;
    ++next_;
    Next();
  }
  void OnUploadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadData(CefRefPtr<CefURLRequest>, const void*, size_t length) override { received_ += length; }
  bool GetAuthCredentials(bool, const CefString&, int, const CefString&, const CefString&, CefRefPtr<CefAuthCallback>)
      override {
    return false;
  }

 private:
  void Next() {
    if (next_ == end_) {
      running_ = nullptr;
      return finished_(failed_);
    }
    CefRefPtr<CefRequest> request = CefRequest::Create();
    request->SetURL(origin_ + "/bench/f" + std::to_string(next_) + ".bin");
    request->SetFlags(UR_FLAG_SKIP_CACHE | UR_FLAG_STOP_ON_REDIRECT);
    request->SetHeaderByName("Authorization", "Bearer " + token_, true);
    request->SetHeaderByName("X-KESTA-Generation", generation_, true);
    received_ = 0;
    running_ = CefURLRequest::Create(request, this, context_);
    if (!running_) {
      ++failed_;
      ++next_;
      Next();
    }
  }

  const CefRefPtr<CefRequestContext> context_;
  const std::string origin_, token_, generation_;
  const std::vector<size_t>& sizes_;
  int next_ = 0, end_ = 0, failed_ = 0;
  size_t received_ = 0;
  CefRefPtr<CefURLRequest> running_;
  std::function<void(int)> finished_;

  IMPLEMENT_REFCOUNTING(FetchChain);
};

// The files' bytes, the same for every file: its size's worth from the start.
const std::string& fileBlock() {
  static const std::string block = [] {
    std::string bytes(1 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
  }();
  return block;
}

// Serves one file's bytes from memory as the local handler does once its
// answer is in: opened at once, read and skipped without waiting.
class MemoryResponse : public CefResourceHandler {
 public:
  explicit MemoryResponse(size_t size) : size_(size) {}

  bool Open(CefRefPtr<CefRequest>, bool& handle_request, CefRefPtr<CefCallback>) override {
    handle_request = true;
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64_t& response_length, CefString&) override {
    response->SetStatus(200);
    response->SetMimeType("application/octet-stream");
    response_length = static_cast<int64_t>(size_);
  }
  bool Skip(int64_t bytes_to_skip, int64_t& bytes_skipped, CefRefPtr<CefResourceSkipCallback>) override {
    bytes_skipped = std::min<int64_t>(bytes_to_skip, static_cast<int64_t>(size_ - offset_));
    offset_ += static_cast<size_t>(bytes_skipped);
    return bytes_skipped > 0;
  }
  bool Read(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefResourceReadCallback>) override {
    bytes_read = static_cast<int>(std::min<size_t>(static_cast<size_t>(bytes_to_read), size_ - offset_));
    std::memcpy(data_out, fileBlock().data() + offset_, static_cast<size_t>(bytes_read));
    offset_ += static_cast<size_t>(bytes_read);
    return bytes_read > 0;
  }
  void Cancel() override {}

 private:
  const size_t size_;
  size_t offset_ = 0;
  IMPLEMENT_REFCOUNTING(MemoryResponse);
};

// https://memory.kesta.test/f<n>.bin: file n's bytes from memory.
class MemoryFactory : public CefSchemeHandlerFactory {
 public:
  explicit MemoryFactory(const std::vector<size_t>& sizes) : sizes_(sizes) {}

  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser>,
                                       CefRefPtr<CefFrame>,
                                       const CefString&,
                                       CefRefPtr<CefRequest> request) override {
    const std::string url = request->GetURL().ToString();
    const size_t at = url.rfind("/f");
    const size_t n = at == std::string::npos ? sizes_.size() : std::strtoul(url.c_str() + at + 2, nullptr, 10);
    return n < sizes_.size() ? new MemoryResponse(sizes_[n]) : nullptr;
  }

 private:
  const std::vector<size_t>& sizes_;
  IMPLEMENT_REFCOUNTING(MemoryFactory);
};

// HTTP/1.1 over one kept-alive Winsock connection with blocking calls: as
// little as a client can do. Understands what the service sends: a status
// line, headers with Content-Length, the body.
class PlainClient {
 public:
  explicit PlainClient(uint16_t port) : port_(port), buffer_(1 << 20) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~PlainClient() { Close(); }

  // The body length of a 200 answer to |request|, or -1. Reconnects once
  // when the kept connection turns out closed.
  int64_t Fetch(const std::string& request) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (socket_ == INVALID_SOCKET && !Connect())
        return -1;
      const int64_t length = Exchange(request);
      if (length != -2)
        return length;
      Close();
    }
    return -1;
  }

 private:
  bool Connect() {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Close();
      return false;
    }
    return true;
  }

  void Close() {
    if (socket_ != INVALID_SOCKET)
      closesocket(socket_);
    socket_ = INVALID_SOCKET;
    pending_.clear();
  }

  // -2: the connection was closed before any answer (try again).
  int64_t Exchange(const std::string& request) {
    if (send(socket_, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size()))
      return -2;
    std::string head = std::move(pending_);
    pending_.clear();
    size_t end;
    while ((end = head.find("\r\n\r\n")) == std::string::npos) {
      const int n = recv(socket_, buffer_.data(), static_cast<int>(buffer_.size()), 0);
      if (n <= 0)
        return head.empty() ? -2 : -1;
      head.append(buffer_.data(), n);
    }
    std::string lower = head.substr(0, end + 2);
    for (char& c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t field = lower.find("\r\ncontent-length:");
    if (lower.compare(0, 12, "http/1.1 200") != 0 || field == std::string::npos)
      return -1;
    const int64_t length = std::atoll(lower.c_str() + field + 17);
    const bool close = lower.find("\r\nconnection: close") != std::string::npos;
    int64_t have = static_cast<int64_t>(head.size() - end - 4);
    while (have < length) {
      const int n =
          recv(socket_, buffer_.data(), static_cast<int>(std::min<int64_t>(buffer_.size(), length - have)), 0);
      if (n <= 0)
        return -1;
      have += n;
    }
    if (have > length)
      pending_ = head.substr(end + 4 + static_cast<size_t>(length));
    if (close)
      Close();
    return length;
  }

  const uint16_t port_;
  SOCKET socket_ = INVALID_SOCKET;
  std::vector<char> buffer_;
  std::string pending_;  // bytes past the last answer
};

// Sizes spread evenly on a log scale between 1 KiB and 1 MiB.
std::vector<size_t> fileSizes() {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> exponent(10.0, 20.0);
  std::vector<size_t> sizes(kFiles);
  for (size_t& size : sizes)
    size = static_cast<size_t>(std::pow(2.0, exponent(random)));
  return sizes;
}

void addFiles(const fs::path& bundle, const std::vector<size_t>& sizes) {
  const fs::path engine = bundle / "pools" / "engine";
  fs::create_directories(engine / "bench");
  nlohmann::json manifest = nlohmann::json::parse(kesta::testing::ReadTextFile(engine / "pool-manifest.json"));
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "bench/f" + std::to_string(i) + ".bin";
    std::ofstream(engine / name, std::ios::binary).write(fileBlock().data(), static_cast<std::streamsize>(sizes[i]));
    manifest["files"][name] = name;
  }
  std::ofstream(engine / "pool-manifest.json", std::ios::trunc) << manifest.dump();
}

}  // namespace

int main() {
  std::random_device seed;
  kesta::testing::ServiceHarness service(kesta::testing::WindowsPath(KESTA_SERVICE_EXE),
                                         kesta::testing::WindowsPath(KESTA_SAMPLE_RESOURCES),
                                         fs::temp_directory_path() / ("kesta-bench-" + std::to_string(seed())));
  const std::vector<size_t> sizes = fileSizes();
  addFiles(service.bundle(), sizes);
  if (!service.Start()) {
    std::fprintf(stderr, "the service did not start\n");
    return 1;
  }

  int exitCode = 0;
  {
    cef_testing::ScopedRuntime runtime;
    localOrigin = service.origin();
    token = service.token();
    const std::u8string data = service.data().generic_u8string();
    dataDir.assign(data.begin(), data.end());
    origin = kSite;
    initialState = service.Api(kesta::testing::service_http::verb::get, kInfoPath).body;
    running = true;
    DesktopContextInitialized();
    cef_testing::RunUntil([] { return webContextReady && networkPolicy.contextsApplied.load(); }, 10000);
    {
      std::lock_guard lock(browserMutex);
      resourceLaunch.admitted = true;
      resourceLaunch.updateGate = false;
      resourceLaunch.admittedGeneration = resourceLaunch.observedGeneration = generation;
      resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = origin;
    }

    CefRefPtr<GameClient> client = new GameClient();
    CefWindowInfo info;
    info.SetAsPopup(nullptr, "Bench");
    CefBrowserHost::CreateBrowser(info, client.get(), std::string(kSite) + "/", CefBrowserSettings(), nullptr,
                                  gameContext);
    cef_testing::RunUntil([&] { return client->browser && DesktopIsGame(client->browser); });
    cef_testing::WaitForUIIdle();
    CefRefPtr<CefBrowser> browser = client->browser;
    if (!browser || !DesktopIsGame(browser)) {
      std::fprintf(stderr, "no game browser\n");
      return 1;
    }
    CefRefPtr<CefFrame> frame = browser->GetMainFrame();

    size_t total = 0;
    for (size_t size : sizes)
      total += size;
    std::printf("%d files, %.1f MiB in all\n", kFiles, total / 1048576.0);

    // Through the handler: the browser's road, the factory, the handler's
    // own request to the service, the copy to the page.
    auto throughHandler = [&](int i) {
      const auto result =
          cef_testing::LoadResource(frame, "GET", std::string(kSite) + "/bench/f" + std::to_string(i) + ".bin");
      return result.status == 200 && result.body.size() == sizes[i];
    };
    // The same page serving the same bytes from memory: the handler's second
    // half alone (the page's road in and out, the reads), on another origin
    // of the same context.
    gameContext->RegisterSchemeHandlerFactory("https", kMemoryHost, new MemoryFactory(sizes));
    auto fromMemory = [&](int i) {
      const auto result = cef_testing::LoadResource(
          frame, "GET", "https://" + std::string(kMemoryHost) + "/f" + std::to_string(i) + ".bin");
      return result.status == 200 && result.body.size() == sizes[i];
    };
    // Straight from the service over the local context, from the UI thread
    // or from the IO thread (where the client's handler makes its requests
    // to the service). A block runs on one thread, each request started when
    // the previous one completes, as the plain client goes.
    CefRefPtr<FetchChain> chain = new FetchChain(currentLocalContext(), localOrigin, token, generation, sizes);
    auto directBlock = [&](cef_thread_id_t thread, int first, int end) {
      std::atomic<int> failures{-1};
      auto finished = [&failures](int failed) {
        failures = failed;
        CefPostTask(TID_UI, new FunctionTask([] {}));  // wakes the waiting loop
      };
      CefPostTask(thread, new FunctionTask([&] { chain->Run(first, end, finished); }));
      cef_testing::RunUntil([&] { return failures.load() >= 0; }, 120000);
      return failures.load() < 0 ? end - first : failures.load();
    };

    // A plain client: one kept-alive socket, blocking reads of up to 1 MiB,
    // the same headers.
    PlainClient plainClient(service.port());
    const std::string plainHeaders = "Host: 127.0.0.1:" + std::to_string(service.port()) +
                                     "\r\nAuthorization: Bearer " + token + "\r\nX-KESTA-Generation: " + generation +
                                     "\r\n\r\n";
    auto plain = [&](int i) {
      const std::string request = "GET /bench/f" + std::to_string(i) + ".bin HTTP/1.1\r\n" + plainHeaders;
      return plainClient.Fetch(request) == static_cast<int64_t>(sizes[i]);
    };

    // A block of files on each road, the failures counted.
    auto handlerBlock = [&](int first, int end) {
      int failures = 0;
      for (int i = first; i < end; ++i)
        failures += throughHandler(i) ? 0 : 1;
      return failures;
    };
    auto memoryBlock = [&](int first, int end) {
      int failures = 0;
      for (int i = first; i < end; ++i)
        failures += fromMemory(i) ? 0 : 1;
      return failures;
    };
    auto plainBlock = [&](int first, int end) {
      int failures = 0;
      for (int i = first; i < end; ++i)
        failures += plain(i) ? 0 : 1;
      return failures;
    };
    auto directFromIO = [&](int first, int end) { return directBlock(TID_IO, first, end); };
    auto directFromUI = [&](int first, int end) { return directBlock(TID_UI, first, end); };

    handlerBlock(0, 50);
    directFromIO(0, 50);
    directFromUI(0, 50);
    memoryBlock(0, 50);
    plainBlock(0, 50);
    // Both roads give the page the same bytes.
    for (int i : {0, 1}) {
      const std::string file = "/f" + std::to_string(i) + ".bin";
      const std::string handler = cef_testing::LoadResource(frame, "GET", std::string(kSite) + "/bench" + file).body;
      if (handler != cef_testing::LoadResource(frame, "GET", "https://" + std::string(kMemoryHost) + file).body ||
          handler.size() != sizes[i]) {
        std::fprintf(stderr, "file %d: the roads give different bytes\n", i);
        return 1;
      }
    }
    // The roads take turns in blocks of 100 files, so that a change in the
    // machine's load during the run weighs on all alike.
    Clock::duration handlerTime{};
    Clock::duration directTime{};
    Clock::duration directUITime{};
    Clock::duration memoryTime{};
    Clock::duration plainTime{};
    int failed = 0;
    auto timeBlock = [&](int block, const auto& road, Clock::duration& time) {
      const auto start = Clock::now();
      failed += road(block, block + 100);
      time += Clock::now() - start;
    };
    for (int block = 0; block < kFiles; block += 100) {
      timeBlock(block, handlerBlock, handlerTime);
      timeBlock(block, directFromIO, directTime);
      timeBlock(block, directFromUI, directUITime);
      timeBlock(block, memoryBlock, memoryTime);
      timeBlock(block, plainBlock, plainTime);
    }
    auto report = [&](const char* name, Clock::duration time) {
      const double elapsed = seconds(time);
      const double rate = total / 1048576.0 / elapsed;
      std::printf("%-34s %8.2f s  %8.1f MiB/s  %7.0f files/s\n", name, elapsed, rate, kFiles / elapsed);
      return rate;
    };
    const double handlerRate = report("through the local handler", handlerTime);
    const double directRate = report("straight from the service", directTime);
    const double directUIRate = report("  the same from the UI thread", directUITime);
    report("served to the page from memory", memoryTime);
    // The handler can do no better than both halves one after the other.
    const double boundRate = report("  bound: IO-thread fetch + serve", directTime + memoryTime);
    const double plainRate = report("plain kept-alive client", plainTime);
    // Both sides do the same work, so this is the handler's own cost, which
    // a change to the handler moves and a faster machine does not;
    // handler/direct sets roads doing different work against each other.
    std::printf("ratio handler/bound         %8.2f  (1.00: nothing beyond fetching, then serving)\n",
                handlerRate / boundRate);
    // The handler road starts and ends on the UI thread (the page's), so it
    // is also held against the direct road from the same thread.
    std::printf("ratio handler/direct        %8.2f  (both from the UI thread)\n", handlerRate / directUIRate);
    std::printf("ratio handler/plain         %8.2f\n", handlerRate / plainRate);
    std::printf("ratio direct/plain          %8.2f  (target >= 0.80)\n", directRate / plainRate);
    std::printf("  from the UI thread        %8.2f\n", directUIRate / plainRate);
    if (failed) {
      std::printf("%d loads failed\n", failed);
      exitCode = 1;
    }

    // Access rules and the factory, per request, with 50,000 bindings.
    {
      std::lock_guard lock(browserMutex);
      auto& bindings = poolBindings["bench-large"];
      for (int i = 0; i < kBindings; ++i) {
        if (i % 2)
          bindings["@engine:/engine/chunk_" + std::to_string(i) + ".js"] = "";
        else
          bindings["https://cdn.kesta.test/maps/area_" + std::to_string(i) + "/tile%20" + std::to_string(i) + ".png"] =
              "/__pool/maps/area_" + std::to_string(i) + "%2Ftile%20" + std::to_string(i) + ".png";
      }
      gameBrowsers[browser->GetIdentifier()].first = "bench-large";
    }
    const int requests = 50000;
    std::vector<CefRefPtr<CefRequest>> batch;
    batch.reserve(requests);
    std::mt19937 random(5);
    for (int i = 0; i < requests; ++i) {
      const int n = static_cast<int>(random() % kBindings);
      std::string url;
      switch (i % 4) {
        case 0:
          url = std::string(kSite) + "/engine/chunk_" + std::to_string(n | 1) + ".js?v=3";
          break;
        case 1:
          url = "https://cdn.kesta.test/maps/area_" + std::to_string(n & ~1) + "/tile%20" + std::to_string(n & ~1) +
                ".png";
          break;
        case 2:
          url = std::string(kSite) + "/api/game/status";
          break;
        default:
          url = "https://elsewhere.example/x/" + std::to_string(n) + ".js";
          break;
      }
      CefRefPtr<CefRequest> request = CefRequest::Create();
      request->SetURL(url);
      CefRequest::HeaderMap headers = {
          {"Accept", "*/*"}, {"Referer", std::string(kSite) + "/"}, {"X-Kesta-Generation", "forged"}};
      request->SetHeaderMap(headers);
      batch.push_back(request);
    }
    LocalFactory factory;
    int taken = 0;
    const auto start = Clock::now();
    for (const auto& request : batch) {
      if (DesktopResource(browser, frame, request) == RV_CONTINUE && factory.Create(browser, frame, "https", request))
        ++taken;
    }
    const double perRequest = seconds(Clock::now() - start) / requests * 1e6;
    std::printf(
        "DesktopResource + LocalFactory::Create  %6.2f us/request  (%d bindings, %d of %d taken; target < 20)\n",
        perRequest, kBindings, taken, requests);
    {
      std::lock_guard lock(browserMutex);
      gameBrowsers[browser->GetIdentifier()].first = generation;
    }

    browser->GetHost()->CloseBrowser(true);
    cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 0; });
    DesktopStop();
  }
  return exitCode;
}
