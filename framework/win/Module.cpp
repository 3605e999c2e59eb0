#include "Module.h"
#include "../String.h"

namespace {
HINSTANCE g_hResource = nullptr;
}

HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleW(nullptr); }

HINSTANCE AfxGetResourceHandle() { return g_hResource ? g_hResource : AfxGetInstanceHandle(); }

void AfxSetResourceHandle(HINSTANCE hInst) { g_hResource = hInst; }

BOOL CString::LoadString(UINT nID) {
    // A length-0 request hands back a read-only pointer to the resource text,
    // so strings of any length load without a guess at the buffer size.
    const wchar_t* p = nullptr;
    int n = ::LoadStringW(AfxGetResourceHandle(), nID, (LPWSTR)&p, 0);
    if (n <= 0 || !p) {
        Empty();
        return FALSE;
    }
    *this = CString(p, n);
    return TRUE;
}
