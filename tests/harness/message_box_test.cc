// The harness itself: boxes shown by the process are answered and recorded.
#include <gtest/gtest.h>

#include <thread>

#include "support/message_boxes_win.h"

namespace kesta::testing {
namespace {

TEST(MessageBoxWatcher, AnswersAndRecordsEachBox) {
  MessageBoxWatcher watcher(IDCANCEL);
  int first = MessageBoxW(nullptr, L"第一个\n两行", L"Ostrel · 启动失败", MB_OKCANCEL | MB_ICONERROR);
  watcher.SetAnswer(IDOK);
  int second = 0;
  std::thread other([&] { second = MessageBoxW(nullptr, L"second", L"Other", MB_OKCANCEL); });
  other.join();
  ASSERT_TRUE(watcher.WaitFor(2));
  EXPECT_EQ(first, IDCANCEL);
  EXPECT_EQ(second, IDOK);
  auto boxes = watcher.Boxes();
  EXPECT_EQ(boxes[0].caption, "Ostrel · 启动失败");
  EXPECT_EQ(boxes[0].text, "第一个\n两行");
  EXPECT_EQ(boxes[1].caption, "Other");
}

}  // namespace
}  // namespace kesta::testing
