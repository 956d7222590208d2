// Force-included before GoogleTest in the Windows test program: gtest's own
// Notification needs std::mutex, which the win32 thread model of mingw's
// gcc 12 lacks. Only gtest's thread helpers use it; the suite runs on one thread.
#pragma once
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1
namespace testing::internal {
class Notification {
  public:
    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

  private:
    std::atomic<bool> notified_{false};
};
}  // namespace testing::internal
