// CString: an owned, growable ANSI text.
#pragma once
#include <windows.h> // its A/W name macros must apply here too

#include <string>

class CString {
  public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}

    operator const char*() const { return m_str.c_str(); }
    int GetLength() const { return (int)m_str.size(); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // printf-style formatting; the result replaces the text.
    void Format(const char* pszFormat, ...);
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
