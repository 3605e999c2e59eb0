#include "ShellChangeEvent.h"

namespace {
// TRUE when every byte of [p, p + n) is committed and readable.
BOOL IsReadable(const BYTE* p, SIZE_T n) {
    const BYTE* end = p + n;
    if (end < p) return FALSE;
    while (p < end) {
        MEMORY_BASIC_INFORMATION mbi;
        if (!::VirtualQuery(p, &mbi, sizeof mbi) || mbi.State != MEM_COMMIT) return FALSE;
        const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (!(mbi.Protect & readable) || (mbi.Protect & PAGE_GUARD)) return FALSE;
        p = (const BYTE*)mbi.BaseAddress + mbi.RegionSize;
    }
    return TRUE;
}

// A list is its items (each a 16-bit size that counts itself, then its data)
// and a zero size; null is an absent item.
BOOL IsWholeIdList(LPCITEMIDLIST pidl) {
    if (!pidl) return TRUE;
    const BYTE* p = (const BYTE*)pidl;
    for (;;) {
        if (!IsReadable(p, sizeof(USHORT))) return FALSE;
        USHORT cb = *(const USHORT UNALIGNED*)p;
        if (cb == 0) return TRUE;
        if (cb < sizeof(USHORT) || !IsReadable(p, cb)) return FALSE;
        p += cb;
    }
}
}  // namespace

ULONG CShellChangeEvent::Register(HWND hWnd, int nSources, LONG lEvents, UINT nMessage, LPCITEMIDLIST pidlFolder,
                                  BOOL bRecursive) {
    SHChangeNotifyEntry entry = {pidlFolder, bRecursive};
    return ::SHChangeNotifyRegister(hWnd, nSources | SHCNRF_NewDelivery, lEvents, nMessage, 1, &entry);
}

CShellChangeEvent::CShellChangeEvent(WPARAM wParam, LPARAM lParam)
    : m_hLock(nullptr), m_ppidl(nullptr), m_lEvent(0) {
    LPITEMIDLIST* ppidl = nullptr;
    LONG lEvent = 0;
    HANDLE hLock = ::SHChangeNotification_Lock((HANDLE)wParam, (DWORD)lParam, &ppidl, &lEvent);
    if (!hLock) return;
    if (!ppidl || !IsReadable((const BYTE*)ppidl, 2 * sizeof(LPITEMIDLIST)) || !IsWholeIdList(ppidl[0]) ||
        !IsWholeIdList(ppidl[1])) {
        ::SHChangeNotification_Unlock(hLock);
        return;
    }
    m_hLock = hLock;
    m_ppidl = ppidl;
    m_lEvent = lEvent;
    m_holdIdLists.emplace(ppidl);
}

CShellChangeEvent::~CShellChangeEvent() {
    if (!m_hLock) return;
    m_holdIdLists.reset();
    ::SHChangeNotification_Unlock(m_hLock);
}

LPCITEMIDLIST CShellChangeEvent::GetIdList(int nItem) const {
    return m_ppidl && (nItem == 0 || nItem == 1) ? m_ppidl[nItem] : nullptr;
}
