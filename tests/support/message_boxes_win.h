// Message boxes block the thread that shows them. A MessageBoxWatcher
// answers every box this process shows while it lives, and records each
// one's caption, text, default button and icon for the test to check.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kesta::testing {

struct MessageBoxRecord {
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
  int defaultButton = 0;  // the button Enter presses (IDOK, IDCANCEL, ...); 0 for none
  UINT icon = 0;          // MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION; 0 for none
};

class MessageBoxWatcher {
 public:
  // The answer Enter gives: the box's default button (IDOK when none).
  static constexpr int kEnter = 0;

  // `answer` is the command sent to each box (IDOK, IDCANCEL, ..., kEnter).
  explicit MessageBoxWatcher(int answer = IDOK);
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  void SetAnswer(int answer) { answer_ = answer; }

  // Waits until at least `count` boxes were answered; false on time-out.
  bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  std::vector<MessageBoxRecord> Boxes() const;

 private:
  void Run();
  void Answer(HWND dialog);

  std::atomic<int> answer_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<MessageBoxRecord> boxes_;
  std::vector<HWND> answered_;
  std::thread thread_;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

}  // namespace kesta::testing
