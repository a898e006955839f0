// base::BindOnce / BindRepeating: what the callbacks keep alive, when they
// let go, and how arguments reach the target.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "include/base/cef_bind.h"
#include "include/base/cef_callback.h"
#include "include/cef_base.h"

namespace {

class Counter : public CefBaseRefCounted {
 public:
  explicit Counter(int* destroyed) : destroyed_(destroyed) {}
  ~Counter() { ++*destroyed_; }
  void Add(int n) { total += n; }
  int Total() const { return total; }
  int total = 0;

 private:
  int* destroyed_;
  IMPLEMENT_REFCOUNTING(Counter);
};

struct Plain {
  explicit Plain(int* destroyed) : destroyed(destroyed) {}
  ~Plain() { ++*destroyed; }
  void Set(std::string v) { value = std::move(v); }
  int* destroyed;
  std::string value;
};

int Sum(int a, int b, int c) {
  return a + b + c;
}
int UseCounter(Counter* counter) {
  return counter->total;
}
int UsePlain(Plain* plain) {
  return static_cast<int>(plain->value.size());
}
int TakeUnique(std::unique_ptr<int> value) {
  return *value;
}
std::string Join(const std::string& a, std::string b) {
  return a + b;
}

TEST(Callback, PartialApplicationAndRunSemantics) {
  base::OnceCallback<int(int)> once = base::BindOnce(&Sum, 1, 2);
  ASSERT_TRUE(once);
  EXPECT_EQ(std::move(once).Run(3), 6);
  EXPECT_TRUE(once.is_null());  // consumed by the run

  base::RepeatingCallback<int(int, int)> repeating = base::BindRepeating(&Sum, 10);
  base::RepeatingCallback<int(int, int)> copy = repeating;
  EXPECT_EQ(repeating.Run(1, 2), 13);
  EXPECT_EQ(repeating.Run(3, 4), 17);
  EXPECT_TRUE(copy == repeating);

  // A OnceCallback made from a RepeatingCallback leaves the original usable.
  base::OnceCallback<int(int, int)> from_repeating = repeating;
  EXPECT_EQ(std::move(from_repeating).Run(0, 0), 10);
  EXPECT_EQ(copy.Run(0, 1), 11);

  EXPECT_EQ(base::BindOnce([](const std::string& a, int b) { return a + std::to_string(b); }, std::string("n=")).Run(5),
            "n=5");
  EXPECT_EQ(base::BindOnce(&Join, "a").Run("b"), "ab");

  base::OnceClosure ignored = base::BindOnce(base::IgnoreResult(&Sum), 1, 2, 3);
  std::move(ignored).Run();

  repeating.Reset();
  EXPECT_TRUE(repeating.is_null());
  EXPECT_FALSE(copy.is_null());
}

TEST(Callback, RefCountedReceiverIsRetainedUntilTheCallbackGoes) {
  int destroyed = 0;
  base::OnceClosure add;
  {
    CefRefPtr<Counter> counter = new Counter(&destroyed);
    add = base::BindOnce(&Counter::Add, counter.get(), 5);  // raw receiver
    EXPECT_FALSE(counter->HasOneRef());
  }
  EXPECT_EQ(destroyed, 0);
  std::move(add).Run();
  EXPECT_EQ(destroyed, 1);  // released with the bound state after running

  // Never run: released when the callback is destroyed.
  {
    CefRefPtr<Counter> counter = new Counter(&destroyed);
    auto total = base::BindRepeating(&Counter::Total, counter);
    counter = nullptr;
    EXPECT_EQ(total.Run(), 0);
  }
  EXPECT_EQ(destroyed, 2);
}

TEST(Callback, ArgumentWrappers) {
  int destroyed = 0;

  // Unretained: no reference taken.
  CefRefPtr<Counter> counter = new Counter(&destroyed);
  auto add = base::BindRepeating(&Counter::Add, base::Unretained(counter.get()));
  EXPECT_TRUE(counter->HasOneRef());
  add.Run(2);
  add.Run(3);
  EXPECT_EQ(counter->total, 5);

  // RetainedRef: the target gets T*, the callback holds a reference.
  auto use = base::BindOnce(&UseCounter, base::RetainedRef(counter));
  counter = nullptr;
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(std::move(use).Run(), 5);
  EXPECT_EQ(destroyed, 1);

  // Owned: deleted with the callback, run or not.
  Plain plain_unretained(&destroyed);
  base::BindOnce(&Plain::Set, base::Unretained(&plain_unretained), "x").Run();
  EXPECT_EQ(plain_unretained.value, "x");
  {
    auto owned = base::BindRepeating(&UsePlain, base::Owned(new Plain(&destroyed)));
    EXPECT_EQ(owned.Run(), 0);
    EXPECT_EQ(owned.Run(), 0);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 2);
  { auto never_run = base::BindOnce(&UsePlain, base::Owned(std::make_unique<Plain>(&destroyed))); }
  EXPECT_EQ(destroyed, 3);
}

TEST(Callback, MoveOnlyArguments) {
  auto once = base::BindOnce(&TakeUnique, std::make_unique<int>(7));
  EXPECT_EQ(std::move(once).Run(), 7);

  base::OnceCallback<int(std::unique_ptr<int>)> unbound = base::BindOnce(&TakeUnique);
  EXPECT_EQ(std::move(unbound).Run(std::make_unique<int>(8)), 8);

  std::unique_ptr<int> value = std::make_unique<int>(9);
  auto passed = base::BindRepeating(&TakeUnique, base::Passed(&value));
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(passed.Run(), 9);

  // A OnceCallback can itself be bound, with further arguments.
  base::OnceCallback<int(int, int)> sum = base::BindOnce(&Sum, 1);
  EXPECT_EQ(base::BindOnce(std::move(sum), 2).Run(3), 6);
}

TEST(Callback, ThenChainsResults) {
  auto chained = base::BindOnce(&Sum, 1, 2).Then(base::BindOnce([](int v) { return v * 10; }));
  EXPECT_EQ(std::move(chained).Run(3), 60);

  int seen = 0;
  auto after_void = base::BindOnce([](int* out, int v) { *out = v; }, &seen)
                        .Then(base::BindOnce([](int* out) { return *out + 1; }, &seen));
  EXPECT_EQ(std::move(after_void).Run(4), 5);

  auto repeating = base::BindRepeating(&Sum, 0, 0).Then(base::BindRepeating([](int v) { return -v; }));
  EXPECT_EQ(repeating.Run(2), -2);
  EXPECT_EQ(repeating.Run(3), -3);
}

TEST(Callback, TargetMayDestroyItsOwnCallback) {
  // The run keeps the bound state alive even when the target resets the
  // only copy of the callback.
  int destroyed = 0;
  struct Holder {
    base::RepeatingClosure closure;
  } holder;
  CefRefPtr<Counter> counter = new Counter(&destroyed);
  holder.closure = base::BindRepeating(
      [](Holder* h, CefRefPtr<Counter> c) {
        h->closure.Reset();
        c->Add(1);  // `c` is still valid here
      },
      &holder, counter);
  counter = nullptr;
  holder.closure.Run();
  EXPECT_TRUE(holder.closure.is_null());
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
