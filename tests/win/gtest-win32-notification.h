// GoogleTest's Notification is built on std::mutex and
// std::condition_variable, which the win32 thread model of MinGW-w64 GCC 12
// does not provide. This header, included first into GoogleTest and every
// test program, supplies a Win32 event in its place.
#pragma once
#ifdef __cplusplus
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
  public:
    Notification() : m_hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(m_hEvent); }
    void WaitForNotification() { WaitForSingleObject(m_hEvent, INFINITE); }

  private:
    HANDLE m_hEvent;
};

} // namespace internal
} // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
