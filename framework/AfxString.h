// CString: an owned, growable ANSI text.
#pragma once
#include <windows.h> // its A/W name macros must apply here too

#include <string>

// The formatting runs on the C library's vsnprintf, so its format dialect is
// the one the arguments are checked against.
#if defined(__MINGW32__)
#define AFX_PRINTF_FORMAT(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define AFX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define AFX_PRINTF_FORMAT(fmt, args)
#endif

class CString {
  public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}

    operator const char*() const { return m_str.c_str(); }
    int GetLength() const { return (int)m_str.size(); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // printf-style formatting; the result replaces the text. The compiler
    // checks the arguments against the format (a CString passed for %s, for
    // one, must be cast to const char*).
    void Format(const char* pszFormat, ...) AFX_PRINTF_FORMAT(2, 3);
    // Loads a string resource of the program's module; FALSE when it has none.
    bool LoadString(unsigned int nID);

    CString& operator+=(const char* psz) {
        m_str += psz;
        return *this;
    }
    friend CString operator+(const CString& a, const char* b) {
        CString r(a);
        r += b;
        return r;
    }
    bool operator==(const char* psz) const { return m_str == psz; }

    // A writable buffer of at least nMinLength characters; ReleaseBuffer
    // takes the text back up to its terminator.
    char* GetBuffer(int nMinLength);
    void ReleaseBuffer();

  private:
    std::string m_str;
};
