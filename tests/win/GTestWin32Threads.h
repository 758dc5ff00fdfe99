// GoogleTest's one use of std::mutex, a start signal for its own threads,
// written with a Win32 event: the program and its tests are built with the
// win32 thread model (no winpthread, so the exe runs on Windows 2000), which
// has no std::mutex. Force-included into GoogleTest and the test programs.
#pragma once
#include <windows.h>

namespace testing {
namespace internal {
class Notification {
  public:
    Notification() : m_hEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { ::CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { ::SetEvent(m_hEvent); }
    void WaitForNotification() { ::WaitForSingleObject(m_hEvent, INFINITE); }

  private:
    HANDLE m_hEvent;
};
} // namespace internal
} // namespace testing
#define GTEST_HAS_NOTIFICATION_ 1
