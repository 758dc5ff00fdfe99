#include "framework/AfxString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <windows.h>

void CString::Format(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
    } else {
        m_str.assign((size_t)n + 1, '\0');
        std::vsnprintf(&m_str[0], (size_t)n + 1, pszFormat, args);
        m_str.resize((size_t)n);
    }
    va_end(args);
}

bool CString::LoadString(unsigned int nID) {
    char buf[1024];
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), nID, buf, (int)sizeof buf);
    m_str.assign(buf, n > 0 ? (size_t)n : 0);
    return n > 0;
}

char* CString::GetBuffer(int nMinLength) {
    if ((int)m_str.size() < nMinLength)
        m_str.resize((size_t)nMinLength);
    return &m_str[0];
}

void CString::ReleaseBuffer() {
    m_str.resize(std::strlen(m_str.c_str()));
}
