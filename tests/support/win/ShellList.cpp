#include "ShellList.h"
#include <cstring>

std::vector<WORD> MakeShellList(const std::vector<CString>& paths) {
    std::vector<WORD> u(6, 0);
    for (const CString& p : paths) {
        u.push_back((WORD)(p.GetLength() & 0xFF));
        u.push_back((WORD)(p.GetLength() >> 8));
        for (int i = 0; i < p.GetLength(); ++i) u.push_back(p[i]);
    }
    u.push_back(0);
    size_t v = u.size();
    for (int i = 0; i < 4; ++i) u[(size_t)i] = (WORD)((v >> (8 * i)) & 0xFFFF);
    u[4] = (WORD)(paths.size() & 0xFF);
    u[5] = (WORD)(paths.size() >> 8);
    u.push_back(0);
    return u;
}

BOOL PutShellListBlock(const std::vector<WORD>& units) {
    UINT fmt = ::RegisterClipboardFormatW(L"KIV_MUTLIFILES_FORMAT");
    if (!::OpenClipboard(nullptr)) return FALSE;
    ::EmptyClipboard();
    if (!units.empty()) {
        HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, units.size() * sizeof(WORD));
        memcpy(::GlobalLock(h), units.data(), units.size() * sizeof(WORD));
        ::GlobalUnlock(h);
        ::SetClipboardData(fmt, h);
    }
    ::CloseClipboard();
    return TRUE;
}
