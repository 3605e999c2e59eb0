// CTreeCtrl: the tree-view control as a thin wrapper. It adds no data
// members, so a tree view reaches its control by casting itself.
#pragma once
#include "Wnd.h"
#include "ImageList.h"

class CEdit;

class CTreeCtrl : public CWnd {
    DECLARE_DYNAMIC(CTreeCtrl)
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        AfxInitCommonControls();
        return CWnd::Create(WC_TREEVIEWW, nullptr, dwStyle, rect, pParentWnd, nID);
    }

    // The new item, or NULL.
    HTREEITEM InsertItem(LPTVINSERTSTRUCTW lpInsertStruct) {
        return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)lpInsertStruct);
    }
    HTREEITEM InsertItem(UINT nMask, LPCTSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                         UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter);
    HTREEITEM InsertItem(LPCTSTR lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST) {
        return InsertItem(TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0, hParent, hInsertAfter);
    }
    BOOL DeleteItem(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_DELETEITEM, 0, (LPARAM)hItem); }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }

    // nCode: TVGN_*.
    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const {
        return (HTREEITEM)SendMessage(TVM_GETNEXTITEM, nCode, (LPARAM)hItem);
    }
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_SELECTITEM, TVGN_CARET, (LPARAM)hItem); }
    // nCode: TVE_EXPAND, TVE_COLLAPSE, TVE_TOGGLE...
    BOOL Expand(HTREEITEM hItem, UINT nCode) { return (BOOL)SendMessage(TVM_EXPAND, nCode, (LPARAM)hItem); }
    BOOL EnsureVisible(HTREEITEM hItem) { return (BOOL)SendMessage(TVM_ENSUREVISIBLE, 0, (LPARAM)hItem); }
    UINT GetCount() const { return (UINT)SendMessage(TVM_GETCOUNT); }

    BOOL GetItem(TVITEMW* pItem) const { return (BOOL)SendMessage(TVM_GETITEMW, 0, (LPARAM)pItem); }
    BOOL SetItem(TVITEMW* pItem) { return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)pItem); }
    BOOL SetItem(HTREEITEM hItem, UINT nMask, LPCTSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                 UINT nStateMask, LPARAM lParam);
    UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const {
        return (UINT)SendMessage(TVM_GETITEMSTATE, (WPARAM)hItem, (LPARAM)nStateMask);
    }
    BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
        return SetItem(hItem, TVIF_STATE, nullptr, 0, 0, nState, nStateMask, 0);
    }
    DWORD_PTR GetItemData(HTREEITEM hItem) const;
    BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
        return SetItem(hItem, TVIF_PARAM, nullptr, 0, 0, 0, 0, (LPARAM)dwData);
    }
    CString GetItemText(HTREEITEM hItem) const;
    BOOL SetItemText(HTREEITEM hItem, LPCTSTR lpszItem) {
        return SetItem(hItem, TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0);
    }
    // The item's children count (TVIF_CHILDREN), so also an expand button
    // set before any child exists.
    BOOL ItemHasChildren(HTREEITEM hItem) const;

    // nImageListType: TVSIL_NORMAL or TVSIL_STATE. Both return the
    // previous list as a temporary object (CImageList::FromHandle).
    CImageList* SetImageList(CImageList* pImageList, int nImageListType) {
        return CImageList::FromHandle((HIMAGELIST)SendMessage(TVM_SETIMAGELIST, (WPARAM)nImageListType,
                                                              (LPARAM)(pImageList ? pImageList->m_hImageList : nullptr)));
    }
    CImageList* GetImageList(int nImageListType) const {
        return CImageList::FromHandle((HIMAGELIST)SendMessage(TVM_GETIMAGELIST, (WPARAM)nImageListType));
    }

    // The label's edit box as a temporary object, or NULL.
    CEdit* EditLabel(HTREEITEM hItem) {
        return (CEdit*)CWnd::FromHandle((HWND)SendMessage(TVM_EDITLABELW, 0, (LPARAM)hItem));
    }
    CEdit* GetEditControl() const { return (CEdit*)CWnd::FromHandle((HWND)SendMessage(TVM_GETEDITCONTROL)); }

    // pt in client coordinates; *pFlags receives TVHT_*.
    HTREEITEM HitTest(POINT pt, UINT* pFlags = nullptr) const;
    HTREEITEM HitTest(TVHITTESTINFO* pHitTestInfo) const {
        return (HTREEITEM)SendMessage(TVM_HITTEST, 0, (LPARAM)pHitTestInfo);
    }
};
