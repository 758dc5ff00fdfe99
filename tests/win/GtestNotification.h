// Force-included into GoogleTest and the Windows test programs: the MinGW
// win32 thread model has no std::mutex, which GoogleTest's own Notification
// is built on, so it gets one made of a Win32 event instead.
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
