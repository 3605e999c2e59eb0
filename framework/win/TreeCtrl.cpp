#include "TreeCtrl.h"
#include <vector>

IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)

HTREEITEM CTreeCtrl::InsertItem(UINT nMask, LPCTSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                                UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) {
    TVINSERTSTRUCTW tvis = {};
    tvis.hParent = hParent;
    tvis.hInsertAfter = hInsertAfter;
    tvis.item.mask = nMask;
    tvis.item.pszText = (LPWSTR)lpszItem;
    tvis.item.iImage = nImage;
    tvis.item.iSelectedImage = nSelectedImage;
    tvis.item.state = nState;
    tvis.item.stateMask = nStateMask;
    tvis.item.lParam = lParam;
    return InsertItem(&tvis);
}

BOOL CTreeCtrl::SetItem(HTREEITEM hItem, UINT nMask, LPCTSTR lpszItem, int nImage, int nSelectedImage,
                        UINT nState, UINT nStateMask, LPARAM lParam) {
    TVITEMW item = {};
    item.hItem = hItem;
    item.mask = nMask;
    item.pszText = (LPWSTR)lpszItem;
    item.iImage = nImage;
    item.iSelectedImage = nSelectedImage;
    item.state = nState;
    item.stateMask = nStateMask;
    item.lParam = lParam;
    return SetItem(&item);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
    TVITEMW item = {};
    item.hItem = hItem;
    item.mask = TVIF_PARAM;
    return GetItem(&item) ? (DWORD_PTR)item.lParam : 0;
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
    // The control copies at most the buffer's length: grow it until the
    // text is shorter than the buffer.
    for (int n = 256;; n *= 2) {
        std::vector<WCHAR> buf((size_t)n, 0);
        TVITEMW item = {};
        item.hItem = hItem;
        item.mask = TVIF_TEXT;
        item.pszText = buf.data();
        item.cchTextMax = n;
        if (!GetItem(&item) || !item.pszText || item.pszText == LPSTR_TEXTCALLBACKW) return CString();
        // The control may answer with its own text instead of the copy.
        if (item.pszText != buf.data()) return CString(item.pszText);
        if (lstrlenW(buf.data()) < n - 1 || n >= 0x10000) return CString(buf.data());
    }
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
    TVITEMW item = {};
    item.hItem = hItem;
    item.mask = TVIF_CHILDREN;
    return GetItem(&item) && item.cChildren != 0;
}

HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* pFlags) const {
    TVHITTESTINFO hti = {};
    hti.pt = pt;
    HTREEITEM h = HitTest(&hti);
    if (pFlags) *pFlags = hti.flags;
    return h;
}
