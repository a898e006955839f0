#include "support/message_boxes_win.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace kesta::testing {

namespace {

// The first child of `dialog` of class `class_name` whose style, masked by
// `mask`, is `type`; null when there is none.
HWND childOfType(HWND dialog, const wchar_t* class_name, LONG mask, LONG type) {
  struct Search {
    const wchar_t* class_name;
    LONG mask;
    LONG type;
    HWND found;
  } search{class_name, mask, type, nullptr};
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        Search& search = *reinterpret_cast<Search*>(param);
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if (_wcsicmp(name, search.class_name) != 0 || (GetWindowLongW(child, GWL_STYLE) & search.mask) != search.type)
          return TRUE;
        search.found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The standard icon a box shows, told apart by the shared system icons.
UINT iconOf(HWND dialog) {
  HWND icon = childOfType(dialog, L"Static", SS_TYPEMASK, SS_ICON);
  const HICON shown = icon ? reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) : nullptr;
  if (!shown)
    return 0;
  const std::pair<LPCWSTR, UINT> icons[] = {{IDI_ERROR, MB_ICONERROR},
                                            {IDI_QUESTION, MB_ICONQUESTION},
                                            {IDI_WARNING, MB_ICONWARNING},
                                            {IDI_INFORMATION, MB_ICONINFORMATION}};
  for (const auto& [id, flag] : icons) {
    if (LoadIconW(nullptr, id) == shown)
      return flag;
  }
  return 0;
}

// The button Enter presses: the default push button, else what the dialog
// manager names.
int defaultButtonOf(HWND dialog) {
  if (HWND button = childOfType(dialog, L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON))
    return GetDlgCtrlID(button);
  const LRESULT named = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  return HIWORD(named) == DC_HASDEFID ? LOWORD(named) : 0;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  if (text.empty())
    return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty())
    return std::wstring();
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

MessageBoxWatcher::MessageBoxWatcher(int answer) : answer_(answer), thread_([this] { Run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  stop_ = true;
  thread_.join();
}

bool MessageBoxWatcher::WaitFor(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return boxes_.size() >= count; });
}

std::vector<MessageBoxRecord> MessageBoxWatcher::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

void MessageBoxWatcher::Run() {
  while (!stop_) {
    {
      // A destroyed box's handle may come back for a later box.
      std::lock_guard lock(mutex_);
      std::erase_if(answered_, [](HWND window) { return !IsWindow(window); });
    }
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* self = reinterpret_cast<MessageBoxWatcher*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          wchar_t class_name[16] = {};
          GetClassNameW(window, class_name, 16);
          if (pid == GetCurrentProcessId() && std::wstring(class_name) == L"#32770" && IsWindowVisible(window))
            self->Answer(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
    Sleep(20);
  }
}

void MessageBoxWatcher::Answer(HWND dialog) {
  {
    std::lock_guard lock(mutex_);
    if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end())
      return;
  }
  wchar_t caption[512] = {};
  GetWindowTextW(dialog, caption, 512);
  wchar_t text[4096] = {};
  GetDlgItemTextW(dialog, 0xFFFF, text, 4096);
  const int defaultButton = defaultButtonOf(dialog);
  const UINT icon = iconOf(dialog);
  {
    std::lock_guard lock(mutex_);
    answered_.push_back(dialog);
    boxes_.push_back({Utf8(caption), Utf8(text), defaultButton, icon});
  }
  changed_.notify_all();
  int answer = answer_.load();
  if (answer == kEnter)
    answer = defaultButton ? defaultButton : IDOK;
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
}

}  // namespace kesta::testing
