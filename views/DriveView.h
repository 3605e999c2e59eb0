// CDriveView: the folder tree of the program's drive, the left pane of the
// main window. One root for the drive, folders only, each level listed when
// it is expanded and dropped when it is collapsed. The selection that stays
// for 250 ms is shown by the file list (HINT_SHOW_FOLDER).
#pragma once
#include "framework/Win.h"
#include <shlobj.h>

class CFileItem;

class CDriveView : public CTreeView {
    DECLARE_DYNCREATE(CDriveView)
public:
    CDriveView();
    ~CDriveView() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, LPARAM lHint, void* pHint) override;

    // 1 when the root of the program's drive could be inserted, else 0.
    int InsertDriveRoot();
    // A folder item under hParent (a root when NULL), sorted by name; NULL
    // when it could not be made.
    HTREEITEM InsertFolderItem(HTREEITEM hParent, const CString& strName);
    // Lists the sub-folders of the item's folder as its children.
    BOOL AddSubFolders(HTREEITEM hItem);
    // Deletes every descendant of the item with its record.
    BOOL DeleteChildItems(HTREEITEM hItem);
    void DeleteAllItems();

    CFileItem* GetItemRecord(HTREEITEM hItem) const;
    // The item that shows the path (found without letter case, among the
    // items that exist), starting below hParent (NULL: the roots); NULL
    // when there is none.
    HTREEITEM FindItemByPath(HTREEITEM hParent, const CString& strPath) const;

    CImageList m_imageList;
    CString m_strCurrentPath;  // the folder the selection timer last showed
    int m_nRootCount;
    UINT_PTR m_nTimerId;
    int m_nClosedImage;
    int m_nOpenImage;
    int m_nDriveImage;

protected:
    void OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemExpanded(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSelChanged(NMHDR* pNMHDR, LRESULT* pResult);
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnBackToParent();
    void OnCollapseOrUp();
    void OnRefresh();
    void OnUpdateDiskFreeSpace(CCmdUI* pCmdUI);
    // The shell's change notification of the tree's own registration:
    // wParam and lParam name the shell's block of the event.
    LRESULT OnShellChange(WPARAM wParam, LPARAM lParam);
    // One event with its item-ID lists (the second null when it has none).
    void HandleShellChange(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, LONG lEvent);
    // Relayed by the main frame: a drive went, or came. wParam is read only
    // when it is the pair of the event the frame is reading now.
    LRESULT OnDriveRemoved(WPARAM wParam, LPARAM lParam);
    LRESULT OnDriveAdded(WPARAM wParam, LPARAM lParam);
    // The drive of the root given went: its root goes, the list hears of it
    // when it showed that drive, and with no root left the program closes.
    void RemoveDriveRoot(const CString& strRemoved);
    // The system's device message told of a volume's removal (a card taken
    // out, or the drive): the drive's root goes when it really has no medium.
    void OnVolumeRemoved(const CString& strRoot);
    // From the file list through the frame: wParam the folder's new name,
    // lParam its old name, or 0 for a new folder; read only when the list
    // is handing them over (SubFolderNotice).
    LRESULT OnSubFolderChanged(WPARAM wParam, LPARAM lParam);

    // The parts of the shell changes (FALSE: the control refused to delete
    // a child, which has been reported).
    BOOL AddChildFolder(HTREEITEM hParent, const CString& strName);
    BOOL RemoveChildFolder(HTREEITEM hParent, const CString& strName);
    BOOL RenameChildFolder(HTREEITEM hParent, const CString& strOldName, const CString& strNewPath);
    // A folder was renamed in place: a shown folder at or below it is shown
    // again under its new path.
    void FollowRenamedFolder(const CString& strOldPath, const CString& strNewPath);
    // The first child whose text is exactly strName, or NULL.
    HTREEITEM FindChild(HTREEITEM hParent, const CString& strName) const;
    // Deletes one child with its descendants and records; its record is
    // detached first and given back when the control refuses (reported).
    BOOL DeleteChildFolder(HTREEITEM hChild);
    // Gives the item a new record for the path; the old one goes only
    // once the new one exists. FALSE when it could not be made.
    BOOL ReplaceRecord(HTREEITEM hItem, const CString& strPath);
    // Gives the loaded descendants of a renamed or moved item records below
    // its new path, so that they name folders that exist.
    void RebaseChildRecords(HTREEITEM hItem, const CString& strPath);
    // A folder item renamed to the path: its record and those of its loaded
    // descendants, its text, its place among its siblings. FALSE (nothing
    // changed) when its new record could not be made.
    BOOL RenameFolderItem(HTREEITEM hItem, const CString& strNewPath);
    // Reloads the item's record from its own path and sets its expand button.
    void ReloadRecord(HTREEITEM hItem);
    BOOL IsShown(HTREEITEM hItem) const;
    BOOL IsExpanded(HTREEITEM hItem) const;
    void Broadcast(LPARAM lHint, void* pHint);
    // The expand button for an item whose folder has sub-folders, before
    // any child exists.
    void ShowExpandButton(HTREEITEM hItem);
    // Frees a record and clears it from its item first, so that nothing can
    // reach the freed record through the item.
    void DeleteItemWithRecord(HTREEITEM hItem);

    DECLARE_MESSAGE_MAP()
};
