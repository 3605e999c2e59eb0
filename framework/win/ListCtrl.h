// CListCtrl: the list-view control as a thin wrapper. It adds no data
// members, so a list view reaches its control by casting itself.
#pragma once
#include "Wnd.h"
#include "ImageList.h"

class CEdit;

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        AfxInitCommonControls();
        return CWnd::Create(WC_LISTVIEWW, nullptr, dwStyle, rect, pParentWnd, nID);
    }

    // The new column's index, or -1. nSubItem -1 leaves the column's
    // sub-item unset.
    int InsertColumn(int nCol, const LVCOLUMNW* pColumn) {
        return (int)SendMessage(LVM_INSERTCOLUMNW, (WPARAM)nCol, (LPARAM)pColumn);
    }
    int InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);

    // The new item's index, or -1.
    int InsertItem(const LVITEMW* pItem) { return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)pItem); }
    int InsertItem(UINT nMask, int nItem, LPCTSTR lpszItem, UINT nState, UINT nStateMask, int nImage,
                   LPARAM lParam);
    int InsertItem(int nItem, LPCTSTR lpszItem) { return InsertItem(LVIF_TEXT, nItem, lpszItem, 0, 0, 0, 0); }
    BOOL DeleteItem(int nItem) { return (BOOL)SendMessage(LVM_DELETEITEM, (WPARAM)nItem); }
    BOOL DeleteAllItems() { return (BOOL)SendMessage(LVM_DELETEALLITEMS); }
    int GetItemCount() const { return (int)SendMessage(LVM_GETITEMCOUNT); }

    BOOL GetItem(LVITEMW* pItem) const { return (BOOL)SendMessage(LVM_GETITEMW, 0, (LPARAM)pItem); }
    BOOL SetItem(const LVITEMW* pItem) { return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)pItem); }
    BOOL SetItemText(int nItem, int nSubItem, LPCTSTR lpszText);
    CString GetItemText(int nItem, int nSubItem) const;
    // Copies at most nLen - 1 characters; returns the length copied.
    int GetItemText(int nItem, int nSubItem, LPTSTR lpszText, int nLen) const;
    DWORD_PTR GetItemData(int nItem) const;
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    // nItem -1 sets the state of every item.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const {
        return (UINT)SendMessage(LVM_GETITEMSTATE, (WPARAM)nItem, (LPARAM)nMask);
    }

    UINT GetSelectedCount() const { return (UINT)SendMessage(LVM_GETSELECTEDCOUNT); }
    // The next item after nItem (-1: from the start) with the LVNI_* flags, or -1.
    int GetNextItem(int nItem, int nFlags) const {
        return (int)SendMessage(LVM_GETNEXTITEM, (WPARAM)nItem, MAKELPARAM(nFlags, 0));
    }
    // A POSITION here is the item index plus one; NULL ends the walk.
    POSITION GetFirstSelectedItemPosition() const {
        return (POSITION)(DWORD_PTR)(1 + GetNextItem(-1, LVNI_SELECTED));
    }
    int GetNextSelectedItem(POSITION& pos) const {
        int nItem = (int)(DWORD_PTR)pos - 1;
        pos = (POSITION)(DWORD_PTR)(1 + GetNextItem(nItem, LVNI_SELECTED));
        return nItem;
    }

    // pfnCompare gets the two items' data and dwData.
    BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) {
        return (BOOL)SendMessage(LVM_SORTITEMS, (WPARAM)dwData, (LPARAM)pfnCompare);
    }
    // The item's index, or -1; nStart -1 searches from the start.
    int FindItem(LVFINDINFOW* pFindInfo, int nStart = -1) const {
        return (int)SendMessage(LVM_FINDITEMW, (WPARAM)nStart, (LPARAM)pFindInfo);
    }
    BOOL EnsureVisible(int nItem, BOOL bPartialOK) {
        return (BOOL)SendMessage(LVM_ENSUREVISIBLE, (WPARAM)nItem, (LPARAM)bPartialOK);
    }
    // nCode: LVA_*.
    BOOL Arrange(UINT nCode) { return (BOOL)SendMessage(LVM_ARRANGE, (WPARAM)nCode); }

    // nImageListType: LVSIL_NORMAL, LVSIL_SMALL or LVSIL_STATE. Both return
    // the previous list as a temporary object (CImageList::FromHandle).
    CImageList* SetImageList(CImageList* pImageList, int nImageListType) {
        return CImageList::FromHandle((HIMAGELIST)SendMessage(LVM_SETIMAGELIST, (WPARAM)nImageListType,
                                                              (LPARAM)(pImageList ? pImageList->m_hImageList : nullptr)));
    }
    CImageList* GetImageList(int nImageListType) const {
        return CImageList::FromHandle((HIMAGELIST)SendMessage(LVM_GETIMAGELIST, (WPARAM)nImageListType));
    }

    // The label's edit box as a temporary object, or NULL.
    CEdit* EditLabel(int nItem) {
        return (CEdit*)CWnd::FromHandle((HWND)SendMessage(LVM_EDITLABELW, (WPARAM)nItem));
    }
    CEdit* GetEditControl() const { return (CEdit*)CWnd::FromHandle((HWND)SendMessage(LVM_GETEDITCONTROL)); }

    // pt in client coordinates; *pFlags receives LVHT_*. The item or -1.
    int HitTest(POINT pt, UINT* pFlags = nullptr) const;
    int HitTest(LVHITTESTINFO* pHitTestInfo) const {
        return (int)SendMessage(LVM_HITTEST, 0, (LPARAM)pHitTestInfo);
    }
};
