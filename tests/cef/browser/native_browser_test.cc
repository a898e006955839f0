// Browsers in native windows: life span, navigation, popups, menus and the
// Win32 window they live in.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <thread>

#include "browser_test_support.h"
#include "include/cef_parser.h"
#include "include/views/cef_browser_view.h"

namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BrowserRuntimeEnvironment());

class NativeBrowserTest : public BrowserTest {
 protected:
  // Opens a browser in a runtime-made popup window and waits for its first
  // load to finish.
  CefRefPtr<CefBrowser> Open(const std::string& url,
                             cef_runtime_style_t style = CEF_RUNTIME_STYLE_ALLOY,
                             const std::string& name = "Native test") {
    CefWindowInfo info;
    info.SetAsPopup(nullptr, name);
    info.runtime_style = style;
    size_t before = client_->browsers.size();
    size_t loaded = client_->Matching("Loaded").size();
    EXPECT_TRUE(CefBrowserHost::CreateBrowser(info, client_.get(), url, CefBrowserSettings(), nullptr, nullptr));
    cef_testing::RunUntil([&] { return client_->browsers.size() > before; });
    if (client_->browsers.size() <= before)
      return nullptr;
    if (!url.empty())
      WaitForPrefix("Loaded", loaded + 1);
    return client_->browsers.back();
  }

  void CloseAndWait(CefRefPtr<CefBrowser> browser, bool force = false) {
    int closed = client_->closed;
    browser->GetHost()->CloseBrowser(force);
    cef_testing::RunUntil([&] { return client_->closed > closed; });
  }
};

TEST_F(NativeBrowserTest, OpenLoadCloseFollowTheLifeSpanOrder) {
  const std::string url = "data:text/html,<title>Hello</title><p>hi";
  CefRefPtr<CefBrowser> browser = Open(url);
  ASSERT_TRUE(browser);
  const std::string id = Id(browser);
  std::vector<std::string> expected = {"AfterCreated " + id,
                                       "Loading",
                                       "BeforeBrowse main " + url + " redirect=0",
                                       "LoadStart main " + url,
                                       "TitleChange Hello",
                                       "LoadEnd main 200",
                                       "Loaded"};
  EXPECT_EQ(client_->events, expected);
  EXPECT_TRUE(browser->IsValid());
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), url);
  EXPECT_EQ(browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  EXPECT_TRUE(browser->IsSame(CefBrowserHost::GetBrowserByIdentifier(browser->GetIdentifier())));

  client_->events.clear();
  HWND top = cef_testing::TopLevelWindow(browser);
  CloseAndWait(browser);
  EXPECT_EQ(client_->events, (std::vector<std::string>{"DoClose " + id, "BeforeClose " + id}));
  EXPECT_FALSE(browser->IsValid());
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(CefBrowserHost::GetBrowserByIdentifier(browser->GetIdentifier()));
}

TEST_F(NativeBrowserTest, BrowserIsAHostChildInsideATopLevelWindow) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,x", CEF_RUNTIME_STYLE_ALLOY, "Named");
  ASSERT_TRUE(browser);
  HWND host = browser->GetHost()->GetWindowHandle();
  HWND top = GetAncestor(host, GA_ROOT);
  ASSERT_TRUE(IsWindow(host));
  ASSERT_NE(host, top);
  EXPECT_TRUE(GetWindowLongPtrW(host, GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(WindowText(top), L"Named");
  EXPECT_TRUE(IsWindowVisible(top));

  // What the client does to a game window: icon, title, system menu item and
  // a subclass that sees the item's command.
  HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  SendMessageW(top, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(top, WM_GETICON, ICON_BIG, 0)), icon);
  SetWindowTextW(top, L"Ostrel");
  EXPECT_EQ(WindowText(top), L"Ostrel");
  HMENU menu = GetSystemMenu(top, FALSE);
  ASSERT_TRUE(menu);
  EXPECT_TRUE(AppendMenuW(menu, MF_STRING, 0x150, L"item"));
  static int seen = 0;
  seen = 0;
  SUBCLASSPROC proc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) -> LRESULT {
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == 0x150) {
      ++seen;
      return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  };
  ASSERT_TRUE(SetWindowSubclass(top, proc, 1, 0));
  SendMessageW(top, WM_SYSCOMMAND, 0x153, 0);
  EXPECT_EQ(seen, 1);
  RemoveWindowSubclass(top, proc, 1);
  CloseAndWait(browser);
}

TEST_F(NativeBrowserTest, CloseBoxAsksBeforeUnloadAndMayBeDeclined) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,x");
  ASSERT_TRUE(browser);
  HWND top = cef_testing::TopLevelWindow(browser);
  client_->own_unload_dialog = true;
  cef_testing::SetBeforeUnload(browser, true, "Sure?");

  cef_testing::PressCloseBox(browser);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client_->pending_unload != nullptr; }));
  EXPECT_EQ(client_->Matching("BeforeUnloadDialog"), std::vector<std::string>{"BeforeUnloadDialog Sure?"});
  client_->pending_unload->Continue(false, CefString());
  client_->pending_unload = nullptr;
  cef_testing::WaitForUIIdle();
  EXPECT_TRUE(browser->IsValid());
  EXPECT_TRUE(IsWindow(top));
  EXPECT_TRUE(client_->Matching("DoClose").empty());

  cef_testing::PressCloseBox(browser);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client_->pending_unload != nullptr; }));
  client_->pending_unload->Continue(true, CefString());
  client_->pending_unload = nullptr;
  ASSERT_TRUE(WaitFor("BeforeClose " + Id(browser)));
  EXPECT_EQ(client_->Matching("DoClose").size(), 1u);
  EXPECT_FALSE(IsWindow(top));
}

TEST_F(NativeBrowserTest, ForcedCloseSkipsUnloadAndChromeStyleSkipsDoClose) {
  CefRefPtr<CefBrowser> alloy = Open("data:text/html,a");
  ASSERT_TRUE(alloy);
  cef_testing::SetBeforeUnload(alloy, true, "Sure?", false);
  CloseAndWait(alloy, true);
  EXPECT_TRUE(client_->Matching("BeforeUnloadDialog").empty());
  EXPECT_FALSE(alloy->IsValid());

  // Zeroed window information, as a client opening a plain web window
  // passes: a visible default window.
  CefWindowInfo info;
  info.runtime_style = CEF_RUNTIME_STYLE_CHROME;
  ASSERT_TRUE(
      CefBrowserHost::CreateBrowser(info, client_.get(), "data:text/html,c", CefBrowserSettings(), nullptr, nullptr));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client_->browsers.size() == 1; }));
  CefRefPtr<CefBrowser> chrome = client_->browsers.back();
  EXPECT_EQ(chrome->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_CHROME);
  EXPECT_TRUE(IsWindowVisible(cef_testing::TopLevelWindow(chrome)));
  client_->events.clear();
  CloseAndWait(chrome);
  EXPECT_EQ(client_->events, std::vector<std::string>{"BeforeClose " + Id(chrome)});
}

TEST_F(NativeBrowserTest, DeclinedUnloadWithTheDefaultPromptKeepsTheBrowser) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,x");
  ASSERT_TRUE(browser);
  cef_testing::SetBeforeUnload(browser, true, "Stay?", false);
  EXPECT_FALSE(browser->GetHost()->TryCloseBrowser());
  cef_testing::WaitForUIIdle();
  EXPECT_TRUE(browser->IsValid());
  EXPECT_EQ(client_->closed, 0);
  EXPECT_FALSE(browser->GetHost()->IsReadyToBeClosed());
}

TEST_F(NativeBrowserTest, CancelledNavigationsReportAborted) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,<title>First</title>");
  ASSERT_TRUE(browser);
  client_->cancel_navigation = [](const std::string& url, bool, bool) {
    return url.find("blocked") != std::string::npos;
  };
  client_->events.clear();
  cef_testing::NavigateMainFrame(browser, "data:text/html,blocked");
  EXPECT_EQ(client_->events, (std::vector<std::string>{"Loading", "BeforeBrowse main data:text/html,blocked redirect=0",
                                                       "LoadError -3 ERR_ABORTED data:text/html,blocked", "Loaded"}));
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "data:text/html,<title>First</title>");
}

TEST_F(NativeBrowserTest, ANewerNavigationAbortsTheOneInFlight) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,start");
  ASSERT_TRUE(browser);
  client_->events.clear();
  cef_testing::NavigateMainFrame(browser, "data:text/html,<title>A</title>");
  cef_testing::NavigateMainFrame(browser, "data:text/html,<title>B</title>");
  ASSERT_TRUE(WaitForPrefix("Loaded"));
  EXPECT_EQ(client_->events,
            (std::vector<std::string>{"Loading", "BeforeBrowse main data:text/html,<title>A</title> redirect=0",
                                      "LoadError -3 ERR_ABORTED data:text/html,<title>A</title>",
                                      "BeforeBrowse main data:text/html,<title>B</title> redirect=0",
                                      "LoadStart main data:text/html,<title>B</title>", "TitleChange B",
                                      "LoadEnd main 200", "Loaded"}));
  EXPECT_FALSE(CefBrowserView::GetForBrowser(browser));
}

TEST_F(NativeBrowserTest, IdentifiersAreUniqueAndFindTheirObjects) {
  CefRefPtr<CefBrowser> first = Open("data:text/html,1");
  CefRefPtr<CefBrowser> second = Open("data:text/html,2");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->GetIdentifier(), second->GetIdentifier());
  EXPECT_FALSE(first->IsSame(second));
  EXPECT_TRUE(first->IsSame(first->GetMainFrame()->GetBrowser()));
  CefRefPtr<CefFrame> sub = cef_testing::CreateSubFrame(second, "f", "");
  std::vector<CefString> ids;
  second->GetFrameIdentifiers(ids);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_NE(first->GetMainFrame()->GetIdentifier(), second->GetMainFrame()->GetIdentifier());
  EXPECT_TRUE(second->GetFrameByIdentifier(sub->GetIdentifier())->GetName() == "f");
  EXPECT_FALSE(first->GetFrameByIdentifier(sub->GetIdentifier()));
}

TEST_F(NativeBrowserTest, RedirectsAskOnBeforeBrowseAgain) {
  cef_testing::PageServer server(nullptr, "https", "pages.test");
  server.Redirect("https://pages.test/a", "https://pages.test/b");
  server.Serve("https://pages.test/b", "<html><title>Page B</title></html>");
  server.Redirect("https://pages.test/c", "https://elsewhere.test/");

  CefRefPtr<CefBrowser> browser = Open("https://pages.test/a");
  ASSERT_TRUE(browser);
  EXPECT_EQ(client_->Matching("BeforeBrowse"),
            (std::vector<std::string>{"BeforeBrowse main https://pages.test/a redirect=0",
                                      "BeforeBrowse main https://pages.test/b redirect=1"}));
  EXPECT_EQ(client_->Matching("LoadStart"), std::vector<std::string>{"LoadStart main https://pages.test/b"});
  EXPECT_EQ(client_->Matching("TitleChange"), std::vector<std::string>{"TitleChange Page B"});

  // A redirect the client refuses ends the navigation as aborted.
  client_->cancel_navigation = [](const std::string&, bool, bool redirect) { return redirect; };
  client_->events.clear();
  cef_testing::NavigateMainFrame(browser, "https://pages.test/c");
  ASSERT_TRUE(WaitForPrefix("Loaded"));
  EXPECT_EQ(client_->Matching("LoadError").size(), 1u);
  EXPECT_EQ(client_->Matching("LoadError -3 ERR_ABORTED").size(), 1u) << testing::PrintToString(client_->events);
  EXPECT_TRUE(client_->Matching("LoadStart").empty());
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "https://pages.test/b");
}

TEST_F(NativeBrowserTest, FailedLoadsReportCefCodesAndTheErrorPageLoadsFromData) {
  // Load the error page into the failed frame as the client does: Base64,
  // then URI-encoded.
  client_->on_load_error = [](CefRefPtr<CefFrame> frame, int code, const std::string& text, const std::string& url) {
    if (code == ERR_ABORTED)
      return;
    std::string html = "<html><body><h2>Failed to load URL " + url + " with error " + text + " (" +
                       std::to_string(code) + ").</h2></body></html>";
    CefString base64 = CefBase64Encode(html.data(), html.size());
    frame->LoadURL("data:text/html;base64," + CefURIEncode(base64, false).ToString());
  };
  CefRefPtr<CefBrowser> browser = Open("https://unserved.test/");
  ASSERT_TRUE(browser);
  ASSERT_TRUE(WaitForPrefix("LoadEnd main 200"));
  auto errors = client_->Matching("LoadError");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(" ERR_"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("https://unserved.test/"), std::string::npos);
  EXPECT_EQ(errors[0].find("LoadError -3 "), std::string::npos);

  class Visitor : public CefStringVisitor {
   public:
    void Visit(const CefString& text) override { source = text.ToString(); }
    std::string source;
    IMPLEMENT_REFCOUNTING(Visitor);
  };
  CefRefPtr<Visitor> visitor = new Visitor();
  browser->GetMainFrame()->GetSource(visitor.get());
  ASSERT_TRUE(cef_testing::RunUntil([&] { return !visitor->source.empty(); }));
  EXPECT_NE(visitor->source.find("Failed to load URL https://unserved.test/ with error ERR_"), std::string::npos)
      << visitor->source;
}

TEST_F(NativeBrowserTest, CreateBrowserFromAnotherThreadMakesTheWindowOnTheUIThread) {
  bool created = false;
  std::thread other([&] {
    CefWindowInfo info;
    info.runtime_style = CEF_RUNTIME_STYLE_ALLOY;
    created =
        CefBrowserHost::CreateBrowser(info, client_.get(), "data:text/html,t", CefBrowserSettings(), nullptr, nullptr);
  });
  other.join();
  EXPECT_TRUE(created);
  ASSERT_TRUE(WaitForPrefix("Loaded"));
  ASSERT_EQ(client_->browsers.size(), 1u);
  HWND top = cef_testing::TopLevelWindow(client_->browsers[0]);
  EXPECT_EQ(GetWindowThreadProcessId(top, nullptr), GetCurrentThreadId());
}

TEST_F(NativeBrowserTest, RefusedConnectionIsReportedWithChromiumsCode) {
  CefRefPtr<CefBrowser> browser = Open("http://127.0.0.1:1/");
  ASSERT_TRUE(browser);
  EXPECT_EQ(client_->Matching("LoadError"),
            std::vector<std::string>{"LoadError -102 ERR_CONNECTION_REFUSED http://127.0.0.1:1/"});
  EXPECT_TRUE(client_->Matching("LoadStart").empty());
}

TEST_F(NativeBrowserTest, SubFramesNavigateOnTheirOwnAndGoWithTheDocument) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,<title>Top</title>");
  ASSERT_TRUE(browser);
  client_->events.clear();
  CefRefPtr<CefFrame> child = cef_testing::CreateSubFrame(browser, "child", "data:text/html,<title>Child</title>");
  ASSERT_TRUE(child);
  ASSERT_TRUE(WaitForPrefix("Loaded"));
  EXPECT_EQ(client_->Matching("BeforeBrowse"),
            std::vector<std::string>{"BeforeBrowse sub data:text/html,<title>Child</title> redirect=0"});
  EXPECT_EQ(client_->Matching("LoadEnd"), std::vector<std::string>{"LoadEnd sub 200"});
  EXPECT_TRUE(client_->Matching("TitleChange").empty());
  EXPECT_EQ(browser->GetFrameCount(), 2u);
  EXPECT_TRUE(child->GetParent()->IsMain());
  EXPECT_TRUE(browser->GetFrameByName("child")->GetIdentifier() == child->GetIdentifier());

  cef_testing::NavigateMainFrame(browser, "data:text/html,<title>Next</title>");
  ASSERT_TRUE(WaitFor("TitleChange Next"));
  EXPECT_EQ(browser->GetFrameCount(), 1u);
  EXPECT_FALSE(child->IsValid());
}

TEST_F(NativeBrowserTest, ContextMenuShowsUnlessTheModelIsCleared) {
  CefRefPtr<CefBrowser> browser = Open("data:text/html,x");
  ASSERT_TRUE(browser);
  cef_testing::ContextMenuResult shown = cef_testing::RightClick(browser);
  EXPECT_TRUE(shown.shown);
  EXPECT_NE(std::find(shown.command_ids.begin(), shown.command_ids.end(), MENU_ID_BACK), shown.command_ids.end());
  client_->clear_menu = true;
  cef_testing::ContextMenuResult cleared = cef_testing::RightClick(browser);
  EXPECT_FALSE(cleared.shown);
  EXPECT_EQ(client_->Matching("BeforeContextMenu").size(), 2u);
}

TEST(MenuModel, EditsByCommandAndIndex) {
  CefRefPtr<CefMenuModel> model = CefMenuModel::CreateMenuModel(nullptr);
  EXPECT_TRUE(model->AddItem(1, "one"));
  EXPECT_TRUE(model->AddSeparator());
  EXPECT_TRUE(model->AddCheckItem(2, "two"));
  EXPECT_TRUE(model->InsertItemAt(0, 3, "three"));
  EXPECT_FALSE(model->InsertItemAt(9, 4, "beyond"));
  ASSERT_EQ(model->GetCount(), 4u);
  EXPECT_EQ(model->GetIndexOf(3), 0);
  EXPECT_EQ(model->GetIndexOf(2), 3);
  EXPECT_EQ(model->GetIndexOf(7), -1);
  EXPECT_EQ(model->GetTypeAt(2), MENUITEMTYPE_SEPARATOR);
  EXPECT_EQ(model->GetCommandIdAt(2), -1);
  EXPECT_EQ(model->GetLabel(1).ToString(), "one");
  EXPECT_FALSE(model->SetChecked(1, true));  // a plain command has no check
  EXPECT_TRUE(model->SetChecked(2, true));
  EXPECT_TRUE(model->IsChecked(2));
  EXPECT_TRUE(model->SetEnabled(1, false));
  EXPECT_FALSE(model->IsEnabled(1));
  EXPECT_FALSE(model->IsEnabled(42));
  EXPECT_TRUE(model->Remove(1));
  EXPECT_FALSE(model->Remove(1));
  EXPECT_EQ(model->GetCount(), 3u);
  CefRefPtr<CefMenuModel> sub = model->AddSubMenu(5, "more");
  ASSERT_TRUE(sub);
  EXPECT_TRUE(sub->IsSubMenu());
  EXPECT_TRUE(model->GetSubMenu(5) == sub);
  EXPECT_TRUE(model->Clear());
  EXPECT_EQ(model->GetCount(), 0u);
}

TEST_F(NativeBrowserTest, PopupsPassOnBeforePopup) {
  CefRefPtr<CefBrowser> opener = Open("data:text/html,opener");
  ASSERT_TRUE(opener);
  client_->cancel_popups = true;
  cef_testing::PopupResult refused =
      cef_testing::OpenPopup(opener->GetMainFrame(), "data:text/html,<title>Popup</title>");
  EXPECT_TRUE(refused.cancelled);
  EXPECT_FALSE(refused.browser);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 1);

  client_->cancel_popups = false;
  cef_testing::PopupResult opened =
      cef_testing::OpenPopup(opener->GetMainFrame(), "data:text/html,<title>Popup</title>");
  ASSERT_TRUE(opened.browser);
  EXPECT_GT(opened.popup_id, refused.popup_id);
  EXPECT_EQ(client_->Matching("BeforePopup"),
            (std::vector<std::string>{
                "BeforePopup " + std::to_string(refused.popup_id) + " data:text/html,<title>Popup</title>",
                "BeforePopup " + std::to_string(opened.popup_id) + " data:text/html,<title>Popup</title>"}));
  EXPECT_EQ(client_->last_popup_style, CEF_RUNTIME_STYLE_ALLOY);
  EXPECT_TRUE(opened.browser->IsPopup());
  EXPECT_EQ(opened.browser->GetHost()->GetOpenerIdentifier(), opener->GetIdentifier());
  EXPECT_EQ(opened.browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  ASSERT_TRUE(WaitFor("TitleChange Popup"));
  EXPECT_NE(cef_testing::TopLevelWindow(opened.browser), cef_testing::TopLevelWindow(opener));

  cef_testing::PressCloseBox(opened.browser);
  ASSERT_TRUE(WaitFor("BeforeClose " + Id(opened.browser)));
  EXPECT_TRUE(opener->IsValid());
}

TEST_F(NativeBrowserTest, SubResourcesTakeTheNetworkRoad) {
  cef_testing::PageServer server(nullptr, "https", "api.test");
  server.Serve("https://api.test/data", "{\"ok\":true}", "application/json");
  CefRefPtr<CefBrowser> browser = Open("data:text/html,page");
  ASSERT_TRUE(browser);
  cef_testing::ResourceResult result =
      cef_testing::LoadResource(browser->GetMainFrame(), "POST", "https://api.test/data", {{"X-Test", "1"}}, "payload");
  ASSERT_TRUE(result.completed);
  EXPECT_EQ(result.error, ERR_NONE);
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, "{\"ok\":true}");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "payload");
  auto header = requests[0].headers.find("X-Test");
  ASSERT_NE(header, requests[0].headers.end());
  EXPECT_EQ(header->second, "1");
}

TEST_F(NativeBrowserTest, ChildBrowserLivesInTheApplicationsWindow) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"App", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(parent);
  CefWindowInfo info;
  info.SetAsChild(parent, CefRect(0, 0, 400, 300));
  info.runtime_style = CEF_RUNTIME_STYLE_ALLOY;
  CefRefPtr<CefBrowser> browser = CefBrowserHost::CreateBrowserSync(info, client_.get(), "data:text/html,x",
                                                                    CefBrowserSettings(), nullptr, nullptr);
  ASSERT_TRUE(browser);
  EXPECT_EQ(GetParent(browser->GetHost()->GetWindowHandle()), parent);
  EXPECT_EQ(cef_testing::TopLevelWindow(browser), parent);
  // Destroying the parent ends the browser without DoClose.
  DestroyWindow(parent);
  ASSERT_TRUE(WaitFor("BeforeClose " + Id(browser)));
  EXPECT_TRUE(client_->Matching("DoClose").empty());
}

}  // namespace
