// CString: an owned, growable ANSI text.
#pragma once
#include <windows.h> // its A/W name macros must apply here too

#include <cstdio> // the format dialect below
#include <cstdlib>
#include <cstring>

// The formatting runs on the C library's vsnprintf, so its format dialect is
// the one the arguments are checked against.
#if defined(__MINGW32__)
#define AFX_PRINTF_FORMAT(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define AFX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define AFX_PRINTF_FORMAT(fmt, args)
#endif

// The text's memory is asked for without throwing: when it cannot be had, an
// operation leaves the text as it was (Format and LoadString leave it empty)
// and GetBuffer answers null.
class CString {
  public:
    CString() = default;
    CString(const char* psz) { Assign(psz, psz ? std::strlen(psz) : 0); }
    CString(const CString& other) { Assign(other.m_pszData, other.m_nLength); }
    CString& operator=(const CString& other) {
        if (this != &other)
            Assign(other.m_pszData, other.m_nLength);
        return *this;
    }
    ~CString() { std::free(m_pszData); }

    operator const char*() const { return m_pszData ? m_pszData : ""; }
    int GetLength() const { return (int)m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    void Empty() { SetLength(0); }

    // printf-style formatting; the result replaces the text. The compiler
    // checks the arguments against the format (a CString passed for %s, for
    // one, must be cast to const char*).
    void Format(const char* pszFormat, ...) AFX_PRINTF_FORMAT(2, 3);
    // Loads a string resource of the program's module; FALSE when it has none.
    bool LoadString(unsigned int nID);

    CString& operator+=(const char* psz) {
        const size_t nMore = psz ? std::strlen(psz) : 0;
        if (nMore && Reserve(m_nLength + nMore)) {
            std::memcpy(m_pszData + m_nLength, psz, nMore);
            SetLength(m_nLength + nMore);
        }
        return *this;
    }
    friend CString operator+(const CString& a, const char* b) {
        CString r(a);
        r += b;
        return r;
    }
    bool operator==(const char* psz) const { return std::strcmp(*this, psz ? psz : "") == 0; }

    // A writable buffer of at least nMinLength characters, or null (and the
    // text empty) when the memory cannot be had; ReleaseBuffer takes the text
    // back up to its terminator.
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer();

  private:
    // Room for nLength characters and the terminator.
    bool Reserve(size_t nLength);
    void Assign(const char* psz, size_t nLength);
    void SetLength(size_t nLength) {
        m_nLength = nLength;
        if (m_pszData)
            m_pszData[nLength] = '\0';
    }

    char* m_pszData = nullptr;
    size_t m_nLength = 0;
    size_t m_nCapacity = 0; // characters, without the terminator
};
