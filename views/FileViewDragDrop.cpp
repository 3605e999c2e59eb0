// The file list as a drag source (its items leave decompressed, through a
// temporary drag folder) and as a drop target (files dropped on it are
// compressed into the folder it shows).
#include "DragDrop.h"
#include "DroppedFiles.h"
#include "FileItem.h"
#include "FileView.h"
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "fileops/FileTask.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include <shellapi.h>
#include <shlobj.h>
#include <ctime>
#include <new>

namespace {
const UINT IDS_CANNOT_MOVE = 113;
const UINT IDS_COMPRESS_ERROR = 117;
const UINT IDS_MOVE_ERROR = 121;
const UINT IDS_DISK_FULL = 125;
const UINT IDS_SOURCE_AND_ARCHIVE = 142;
const UINT IDS_SAME_NAMES = 160;
const UINT GMEM_DROP = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE;

HGLOBAL GlobalCopy(const std::vector<BYTE>& bytes) {
    HGLOBAL h = ::GlobalAlloc(GMEM_DROP, bytes.size());
    if (!h) return nullptr;
    memcpy(::GlobalLock(h), bytes.data(), bytes.size());
    ::GlobalUnlock(h);
    return h;
}

}  // namespace

// ---- dragging out -----------------------------------------------------------------

int CFileView::BuildDropFiles(CKivDropSource& source, std::vector<BYTE>& block) {
    // Without a temporary folder there is nowhere to put the drag's files:
    // "\KIV" alone would be the current drive's, perhaps the password folder.
    CString temp = GetTempDir();
    if (temp.IsEmpty()) return -1;
    if (temp.Right(1) == L"\\") temp = temp.Left(temp.GetLength() - 1);
    CString folder = temp + MakeDragFolderName(_time64(nullptr));
    // Noted for the exit's clean-up, which removes nothing it did not make.
    if (CreateFolderTree(folder.Left(folder.GetLength() - 1)))
        if (CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp())) pApp->m_dragFolders.Add(folder);

    CListCtrl& list = GetListCtrl();
    std::vector<CString> targets;
    for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED)) {
        CFileItem* pRecord = GetItemRecord(i);
        if (!pRecord) continue;
        CString target = folder + pRecord->GetDisplayName();
        source.AddSourceMap(pRecord->GetPath(), target);
        targets.push_back(target);
    }
    std::vector<CString> paths;
    CString clash;
    if (!ListDropPaths(targets, paths, clash)) {
        AfxMessageBox(TaskString(IDS_SOURCE_AND_ARCHIVE), MB_OK);
        return -1;
    }
    // The drop target is handed plain paths, and would take a name that
    // ends in a dot or a space, or that Windows keeps for a device, for
    // another file: such an item does not leave.
    for (const CString& path : paths) {
        if (AfxIsPlainPathExact(GetFileNamePart(path))) continue;
        ShowTaskError(TaskString(IDS_CANNOT_MOVE) + GetFileNamePart(path) + TaskString(IDS_NAME_NOT_PLAIN),
                      TaskString(IDS_MOVE_ERROR));
        return -1;
    }
    block = BuildDropFilesBlock(paths);
    return (int)block.size();
}

void CFileView::OnBeginDrag(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    auto* nm = (NMLISTVIEW*)pNMHDR;
    CKivDropSource source;
    std::vector<BYTE> block;
    if (BuildDropFiles(source, block) < 0) return;
    HGLOBAL hDrop = GlobalCopy(block);
    if (!hDrop) return;
    // On the heap and counted: a target may keep the data after the drag.
    COleDataSourceEx* pData = new (std::nothrow) COleDataSourceEx;
    if (!pData) {
        ::GlobalFree(hDrop);
        return;
    }
    FORMATETC fe = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    pData->CacheGlobalData(CF_HDROP, hDrop, &fe);
    HGLOBAL hTag = ::GlobalAlloc(GMEM_DROP, 4);
    if (!hTag) {
        pData->InternalRelease();
        return;
    }
    fe.cfFormat = g_cfDragTag;
    pData->CacheGlobalData(g_cfDragTag, hTag, &fe);
    if (m_bHasDragSourceHelper) {
        POINT pt = nm->ptAction;
        ClientToScreen(&pt);
        m_pDragSourceHelper->InitializeFromWindow(m_hWnd, &pt, static_cast<IDataObject*>(pData));
    }
    // Only a copy: whoever takes the files must never delete the drive's
    // originals. The drag folders stay until the program exits, since a
    // target may still be copying from them after the drag has ended.
    pData->DoDragDrop(DROPEFFECT_COPY, &source);
    CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp());
    if (pApp && pApp->m_bVista) ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    pData->InternalRelease();
}

// ---- dropping onto the list ---------------------------------------------------------

DWORD CFileView::DropEffectFor(COleDataObject* pDataObject) const {
    // The list's own drags come back with their tag; only files are taken.
    if (!pDataObject || pDataObject->IsDataAvailable(g_cfDragTag) || !pDataObject->IsDataAvailable(CF_HDROP))
        return DROPEFFECT_NONE;
    return DROPEFFECT_COPY;
}

DWORD CFileView::OnDragEnter(COleDataObject* pDataObject, DWORD, POINT point) {
    DWORD effect = DropEffectFor(pDataObject);
    if (m_bHasDropTargetHelper && pDataObject) {
        POINT origin = {0, 0};
        ClientToScreen(&origin);
        m_pDropTargetHelper->DragEnter(m_hWnd, pDataObject->GetIDataObject(FALSE), &origin, effect);
    }
    return effect;
}

DWORD CFileView::OnDragOver(COleDataObject* pDataObject, DWORD, POINT point) {
    DWORD effect = DropEffectFor(pDataObject);
    if (m_bHasDropTargetHelper) {
        ClientToScreen(&point);
        m_pDropTargetHelper->DragOver(&point, effect);
    }
    return effect;
}

void CFileView::OnDragLeave() {
    if (m_bHasDropTargetHelper) m_pDropTargetHelper->DragLeave();
}

BOOL CFileView::OnDrop(COleDataObject* pDataObject, DWORD dropEffect, POINT point) {
    if (m_bHasDropTargetHelper && pDataObject) {
        ClientToScreen(&point);
        m_pDropTargetHelper->Drop(pDataObject->GetIDataObject(FALSE), &point, dropEffect);
    }
    if (m_strFolder.IsEmpty()) {
        ShowTaskError(TaskString(IDS_DISK_FULL), TaskString(IDS_COMPRESS_ERROR));
        return FALSE;
    }
    if (DropEffectFor(pDataObject) == DROPEFFECT_NONE) return FALSE;
    HGLOBAL hDrop = pDataObject->GetGlobalData(CF_HDROP);
    if (!hDrop) return FALSE;
    // A block that fails the check is refused whole: nothing of it is read.
    std::vector<CString> paths;
    BOOL bSound = ReadDroppedFiles(hDrop, paths);
    ::GlobalFree(hDrop);
    if (!bSound) return FALSE;
    if (paths.empty()) return TRUE;
    CFileTaskThread* pBatch = new (std::nothrow) CFileTaskThread;
    if (!pBatch) return FALSE;
    CString folder = m_strFolder;
    if (folder.Right(1) != L"\\") folder += L"\\";
    for (const CString& path : paths) {
        CString target = folder + GetFileNamePart(path);
        if (target == path) {
            CString text;
            text.Format(L"%s%s: ", (LPCWSTR)TaskString(IDS_CANNOT_MOVE), (LPCWSTR)GetFileNamePart(path));
            ShowTaskError(text + TaskString(IDS_SAME_NAMES), TaskString(IDS_MOVE_ERROR));
            delete pBatch;
            return FALSE;
        }
        pBatch->AddTask(path, target, TASK_COMPRESS);
    }
    // The frame owns the batch from here and deletes it when it ends.
    CFrameWnd* pFrame = GetParentFrame();
    if (pFrame && pFrame->IsKindOf(RUNTIME_CLASS(CMainFrame))) static_cast<CMainFrame*>(pFrame)->StartBatch(pBatch, FALSE);
    else pBatch->Start(FALSE);
    return TRUE;
}
