// GoogleTest's thread start signal, for a runtime without std::mutex (the
// win32-threads MinGW-w64 one): a manual-reset Win32 event. Force-included
// into GoogleTest and the Windows-side tests.
#pragma once
#ifdef __cplusplus
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
#endif
