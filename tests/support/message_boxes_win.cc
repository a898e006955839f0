#include "support/message_boxes_win.h"

#include <algorithm>

namespace kesta::testing {

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
  {
    std::lock_guard lock(mutex_);
    answered_.push_back(dialog);
    boxes_.push_back({Utf8(caption), Utf8(text)});
  }
  changed_.notify_all();
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer_.load(), BN_CLICKED), 0);
}

}  // namespace kesta::testing
