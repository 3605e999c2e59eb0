#include "ListCtrl.h"
#include <vector>

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

int CListCtrl::InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem) {
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_FMT;
    col.pszText = (LPWSTR)lpszColumnHeading;
    col.fmt = nFormat;
    if (nWidth != -1) {
        col.mask |= LVCF_WIDTH;
        col.cx = nWidth;
    }
    if (nSubItem != -1) {
        col.mask |= LVCF_SUBITEM;
        col.iSubItem = nSubItem;
    }
    return InsertColumn(nCol, &col);
}

int CListCtrl::InsertItem(UINT nMask, int nItem, LPCTSTR lpszItem, UINT nState, UINT nStateMask, int nImage,
                          LPARAM lParam) {
    LVITEMW item = {};
    item.mask = nMask;
    item.iItem = nItem;
    item.pszText = (LPWSTR)lpszItem;
    item.state = nState;
    item.stateMask = nStateMask;
    item.iImage = nImage;
    item.lParam = lParam;
    return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCTSTR lpszText) {
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = (LPWSTR)lpszText;
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPTSTR lpszText, int nLen) const {
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = lpszText;
    item.cchTextMax = nLen;
    return (int)SendMessage(LVM_GETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    // The answer is the length copied: grow the buffer until the text is
    // shorter than it.
    for (int n = 256;; n *= 2) {
        std::vector<WCHAR> buf((size_t)n, 0);
        int len = GetItemText(nItem, nSubItem, buf.data(), n);
        if (len < n - 1 || n >= 0x10000) return CString(buf.data());
    }
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    return GetItem(&item) ? (DWORD_PTR)item.lParam : 0;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    item.lParam = (LPARAM)dwData;
    return SetItem(&item);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    LVITEMW item = {};
    item.state = nState;
    item.stateMask = nMask;
    return (BOOL)SendMessage(LVM_SETITEMSTATE, (WPARAM)nItem, (LPARAM)&item);
}

int CListCtrl::HitTest(POINT pt, UINT* pFlags) const {
    LVHITTESTINFO hti = {};
    hti.pt = pt;
    int n = HitTest(&hti);
    if (pFlags) *pFlags = hti.flags;
    return n;
}
