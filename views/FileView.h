// CFileView: the file list, the right pane of the main window. It shows the
// files and folders of the folder the tree selected, sorted folders first,
// and is where the user works on them: rename, new folder, delete, compress
// and decompress, from its context menu, keys and the toolbar.
#pragma once
#include "framework/Win.h"
#include <vector>

class CFileItem;
class CFileTask;
class CKivDropSource;
struct IDragSourceHelper;
struct IDropTargetHelper;

// What a label says about the file behind it, for the context menu.
enum NameKind {
    NAME_KIND_ARCHIVE = 1,  // ends in ".kvf", any letter case
    NAME_KIND_OTHER = 2,    // another extension
    NAME_KIND_NONE = 3,     // no extension (no dot, or only a leading one)
};
NameKind GetNameKind(const CString& strName);

// Shown after a name that no other program could be given by its plain path
// (it ends in a dot or a space, or Windows keeps it for a device): opening
// it, dragging it out, or renaming an item to it is refused.
const UINT IDS_NAME_NOT_PLAIN = 197;

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
    // The per-task callback of the list's compress and decompress batches,
    // run on the worker: a source whose own task succeeded gives way to its
    // archive (or its content). Touches no window.
    static void OnTaskDone(int nResult, CFileTask* pTask);

    CFileItem* GetItemRecord(int nItem) const;

    // Drops onto the list: files from elsewhere are compressed into the
    // shown folder. Only copying is ever offered or answered: the dropped
    // files stay where they are.
    DWORD OnDragEnter(COleDataObject* pDataObject, DWORD dwKeyState, POINT point) override;
    DWORD OnDragOver(COleDataObject* pDataObject, DWORD dwKeyState, POINT point) override;
    void OnDragLeave() override;
    BOOL OnDrop(COleDataObject* pDataObject, DWORD dropEffect, POINT point) override;
    // The drag folder of a drag out and the dropped-file block offering the
    // selected items there; -1 when the drag is refused.
    int BuildDropFiles(CKivDropSource& source, std::vector<BYTE>& block);

    CString m_strFolder;           // the folder last shown
    CImageList m_imageListSmall;   // the system's lists, shared: detached, never destroyed
    CImageList m_imageListLarge;
    // The list's registration as a drop target; counted, since OLE may
    // hold it past the view (null when it could not be made).
    COleDropTarget* m_pDropTarget;
    // The shell's drag images; optional (null when they cannot be made).
    IDragSourceHelper* m_pDragSourceHelper;
    IDropTargetHelper* m_pDropTargetHelper;
    BOOL m_bHasDragSourceHelper;
    BOOL m_bHasDropTargetHelper;

    afx_msg void OnRButtonDown(UINT nFlags, POINT point);
    afx_msg void OnRButtonUp(UINT nFlags, POINT point);
    afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);

protected:
    void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnBeginDrag(NMHDR* pNMHDR, LRESULT* pResult);
    // What a drop of this data may do here: a copy, or nothing.
    DWORD DropEffectFor(COleDataObject* pDataObject) const;
    void OnItemActivate(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult);
    void OnEndLabelEdit(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnStyleChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnShellRenameItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnRestartRename(WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    // Revokes the drop target's registration and lets go of the view's
    // reference; OLE may hold the object a while longer.
    void ReleaseDropTarget();
    void OnRefresh();
    void OnUp();
    void OnRename();
    void OnNewFolder();
    void OnDelete();
    void OnCompress();
    void OnDecompress();
    void OnUpdateDiskFreeSpace(CCmdUI* pCmdUI);
    // The index of the item labelled strName (ignoring case), or -1.
    int FindLabel(const CString& strName) const;
    // One task of nType per selected item (target from the item's path),
    // started through the main frame, which owns the batch from then on.
    void StartSelectionBatch(int nType, BOOL bModal, BOOL bWithCallback);

    DECLARE_MESSAGE_MAP()
};
