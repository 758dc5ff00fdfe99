// Compiled by check_format.cmake, never linked: with FORMAT_MISUSE defined it
// passes a CString object where %s wants a pointer, which must not compile
// under -Werror=format; without it, the same call with the cast must.
#include "framework/AfxString.h"

void FormatTitle(CString& strText, const CString& strTitle) {
#ifdef FORMAT_MISUSE
    strText.Format("%s", strTitle);
#else
    strText.Format("%s", (const char*)strTitle);
#endif
}
