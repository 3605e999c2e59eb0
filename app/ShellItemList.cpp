#include "ShellItemList.h"
#include <cstring>

namespace {
// The bytes of the items, without the terminator.
UINT ItemBytes(LPCITEMIDLIST pidl) {
    UINT n = 0;
    if (!pidl) return 0;
    const BYTE* p = (const BYTE*)pidl;
    for (USHORT cb; (cb = ((LPCSHITEMID)(p + n))->cb) != 0;) n += cb;
    return n;
}
}  // namespace

BOOL FreeItemIdList(LPITEMIDLIST pidl) {
    if (!pidl) return TRUE;
    IMalloc* pMalloc = nullptr;
    if (FAILED(SHGetMalloc(&pMalloc)) || !pMalloc) return FALSE;
    pMalloc->Free(pidl);
    pMalloc->Release();
    return TRUE;
}

LPITEMIDLIST ConcatItemIdLists(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
    UINT cb1 = ItemBytes(pidl1);
    UINT cb2 = ItemBytes(pidl2) + sizeof(USHORT);
    IMalloc* pMalloc = nullptr;
    if (FAILED(SHGetMalloc(&pMalloc)) || !pMalloc) return nullptr;
    LPITEMIDLIST pidl = (LPITEMIDLIST)pMalloc->Alloc(cb1 + cb2);
    if (pidl) memset(pidl, 0, cb1 + cb2);
    pMalloc->Release();
    if (!pidl) return nullptr;
    if (cb1) memcpy(pidl, pidl1, cb1);
    // The block is zeroed, so a null second list leaves just the terminator.
    if (pidl2) memcpy((BYTE*)pidl + cb1, pidl2, cb2);
    return pidl;
}

CString ItemIdListToPath(LPCITEMIDLIST pidl) {
    if (!pidl) return CString();
    WCHAR buf[MAX_PATH] = {0};
    if (!SHGetPathFromIDListW(pidl, buf)) return CString();
    return CString(buf);
}
