// CFileView: the file list, the right pane of the main window. It shows the
// files and folders of the folder the tree selected, sorted folders first.
#pragma once
#include "framework/Win.h"

class CFileItem;

class CFileView : public CListView {
    DECLARE_DYNCREATE(CFileView)
public:
    CFileView();
    ~CFileView() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void OnInitialUpdate() override;
    void OnUpdate(CView* pSender, LPARAM lHint, void* pHint) override;

    // One item for the path at nIndex; FALSE when it was not inserted.
    BOOL AddItem(const CString& strPath, int nIndex);
    // The same for an entry a folder listing found (see CFileItem).
    BOOL AddItem(const CString& strPath, int nIndex, const WIN32_FIND_DATAW* pFound);
    void ClearList();
    // Fills the list with the folder's entries, titles the main window with
    // the path and sorts by name; the number of entries added.
    int ShowFolder(const CString& strPath);
    // The list's sort callback: records, column index.
    static int CALLBACK CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);

    CFileItem* GetItemRecord(int nItem) const;

    CString m_strFolder;           // the folder last shown
    CImageList m_imageListSmall;   // the system's lists, shared: detached, never destroyed
    CImageList m_imageListLarge;

protected:
    void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemActivate(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnStyleChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnShellRenameItem(WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    void OnRefresh();
    void OnUp();
    void OnUpdateDiskFreeSpace(CCmdUI* pCmdUI);
    // The index of the item labelled strName (ignoring case), or -1.
    int FindLabel(const CString& strName) const;

    DECLARE_MESSAGE_MAP()
};
