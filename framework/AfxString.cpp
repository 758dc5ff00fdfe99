#include "framework/AfxString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <windows.h>

bool CString::Reserve(size_t nLength) {
    if (nLength <= m_nCapacity && m_pszData)
        return true;
    char* pszBigger = static_cast<char*>(std::realloc(m_pszData, nLength + 1));
    if (!pszBigger)
        return false;
    if (!m_pszData)
        pszBigger[0] = '\0';
    m_pszData = pszBigger;
    m_nCapacity = nLength;
    return true;
}

void CString::Assign(const char* psz, size_t nLength) {
    if (!Reserve(nLength))
        return;
    if (nLength)
        std::memmove(m_pszData, psz, nLength);
    SetLength(nLength);
}

void CString::Format(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n >= 0 && Reserve((size_t)n)) {
        std::vsnprintf(m_pszData, (size_t)n + 1, pszFormat, args);
        SetLength((size_t)n);
    } else {
        Empty();
    }
    va_end(args);
}

bool CString::LoadString(unsigned int nID) {
    char buf[1024];
    const int n = ::LoadStringA(::GetModuleHandleA(nullptr), nID, buf, (int)sizeof buf);
    Empty();
    if (n <= 0)
        return false;
    Assign(buf, (size_t)n);
    return m_nLength == (size_t)n;
}

char* CString::GetBuffer(int nMinLength) {
    if (Reserve(nMinLength > 0 ? (size_t)nMinLength : 0))
        return m_pszData;
    Empty();
    return nullptr;
}

void CString::ReleaseBuffer() {
    if (m_pszData)
        SetLength(std::strlen(m_pszData));
}
