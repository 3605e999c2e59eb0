#include "FileView.h"
#include "DocHints.h"
#include "FileItem.h"
#include "SourceMap.h"
#include "SubFolderNotice.h"
#include "app/AppMessages.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include "password/PwdDlg.h"
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <new>

IMPLEMENT_DYNCREATE(CFileView, CListView)

BEGIN_MESSAGE_MAP(CFileView, CListView)
    ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, &CFileView::OnColumnClick)
    ON_NOTIFY_REFLECT(LVN_BEGINDRAG, &CFileView::OnBeginDrag)
    ON_NOTIFY_REFLECT(LVN_ITEMACTIVATE, &CFileView::OnItemActivate)
    ON_NOTIFY_REFLECT(LVN_DELETEITEM, &CFileView::OnDeleteItem)
    ON_MESSAGE(WM_STYLECHANGED, &CFileView::OnStyleChanged)
    ON_MESSAGE(WM_SHELL_RENAME_ITEM, &CFileView::OnShellRenameItem)
    ON_WM_DESTROY()
    ON_COMMAND(ID_REFRESH, &CFileView::OnRefresh)
    ON_COMMAND(ID_BACK_TO_PARENT, &CFileView::OnUp)
    ON_UPDATE_COMMAND_UI(ID_INDICATOR_FREESPACE, &CFileView::OnUpdateDiskFreeSpace)
    ON_WM_RBUTTONDOWN()
    ON_WM_RBUTTONUP()
    ON_WM_KEYDOWN()
    ON_COMMAND(ID_RENAME, &CFileView::OnRename)
    ON_NOTIFY_REFLECT(LVN_ENDLABELEDITW, &CFileView::OnEndLabelEdit)
    ON_MESSAGE(WM_RESTART_RENAME, &CFileView::OnRestartRename)
    ON_COMMAND(ID_NEW_FOLDER, &CFileView::OnNewFolder)
    ON_COMMAND(ID_DELETE, &CFileView::OnDelete)
    ON_COMMAND(ID_COMPRESS, &CFileView::OnCompress)
    ON_COMMAND(ID_DECOMPRESS, &CFileView::OnDecompress)
END_MESSAGE_MAP()

namespace {
struct Column {
    UINT nTitle;
    int nFormat;
    int nWidth;
};
const Column COLUMNS[] = {
    {IDS_COL_NAME, LVCFMT_LEFT, 180},
    {IDS_COL_SIZE, LVCFMT_RIGHT, 116},
    {IDS_COL_TYPE, LVCFMT_LEFT, 128},
    {IDS_COL_MODIFIED, LVCFMT_LEFT, 128},
};
const int FOLDER_FIRST = 16;

BOOL IsFolder(const CFileItem* p) {
    return p && p->m_bLoaded && (p->m_nAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

CFileView::CFileView()
    : m_pDropTarget(nullptr), m_pDragSourceHelper(nullptr), m_pDropTargetHelper(nullptr), m_bHasDragSourceHelper(FALSE),
      m_bHasDropTargetHelper(FALSE) {}

CFileView::~CFileView() {
    // The system image lists belong to the shell.
    m_imageListSmall.Detach();
    m_imageListLarge.Detach();
    if (m_pDragSourceHelper) m_pDragSourceHelper->Release();
    if (m_pDropTargetHelper) m_pDropTargetHelper->Release();
    ReleaseDropTarget();
}

BOOL CFileView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style &= ~LVS_TYPEMASK;
    // The system image lists are the shell's: the control must not destroy them.
    cs.style |= LVS_ICON | LVS_AUTOARRANGE | LVS_EDITLABELS | LVS_SHAREIMAGELISTS;
    return CListView::PreCreateWindow(cs);
}

void CFileView::OnInitialUpdate() {
    CListView::OnInitialUpdate();
    if (!m_pDropTarget) m_pDropTarget = new (std::nothrow) COleDropTarget;
    if (m_pDropTarget) m_pDropTarget->Register(this);
    m_bHasDragSourceHelper = SUCCEEDED(::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                                                          IID_IDragSourceHelper, (void**)&m_pDragSourceHelper));
    m_bHasDropTargetHelper = SUCCEEDED(::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                                                          IID_IDropTargetHelper, (void**)&m_pDropTargetHelper));
    CListCtrl& list = GetListCtrl();
    SHFILEINFOW sfi = {};
    HIMAGELIST hSmall = (HIMAGELIST)::SHGetFileInfoW(L"c:\\", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    HIMAGELIST hLarge = (HIMAGELIST)::SHGetFileInfoW(L"c:\\", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX);
    if (!m_imageListSmall.m_hImageList && hSmall) m_imageListSmall.Attach(hSmall);
    if (!m_imageListLarge.m_hImageList && hLarge) m_imageListLarge.Attach(hLarge);
    list.SetImageList(&m_imageListLarge, LVSIL_NORMAL);
    list.SetImageList(&m_imageListSmall, LVSIL_SMALL);
    for (int i = 0; i < 4; ++i) {
        CString title;
        title.LoadString(COLUMNS[i].nTitle);
        list.InsertColumn(i, title, COLUMNS[i].nFormat, COLUMNS[i].nWidth, i);
    }
}

CFileItem* CFileView::GetItemRecord(int nItem) const {
    return reinterpret_cast<CFileItem*>(GetListCtrl().GetItemData(nItem));
}

BOOL CFileView::AddItem(const CString& strPath, int nIndex) { return AddItem(strPath, nIndex, nullptr); }

BOOL CFileView::AddItem(const CString& strPath, int nIndex, const WIN32_FIND_DATAW* pFound) {
    CFileItem* pRecord = nullptr;
    try {
        pRecord = pFound ? new CFileItem(strPath, *pFound) : new CFileItem(strPath, FALSE);
    } catch (std::bad_alloc&) {
        return FALSE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
    CListCtrl& list = GetListCtrl();
    int i = list.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, nIndex, LPSTR_TEXTCALLBACKW, 0, 0,
                            pRecord->m_nIcon, (LPARAM)pRecord);
    if (i < 0) {
        delete pRecord;
        return FALSE;
    }
    list.SetItemText(i, 0, pRecord->GetDisplayName());
    list.SetItemText(i, 1, pRecord->GetSizeText());
    list.SetItemText(i, 2, pRecord->GetTypeName());
    list.SetItemText(i, 3, pRecord->GetModifiedText());
    return TRUE;
}

void CFileView::ClearList() { GetListCtrl().DeleteAllItems(); }

int CFileView::ShowFolder(const CString& strPath) {
    CString pattern = strPath;
    if (pattern.IsEmpty() || pattern[pattern.GetLength() - 1] != L'\\') pattern += L'\\';
    pattern += L"*.*";
    CListCtrl& list = GetListCtrl();
    // Whether or not the folder has entries, the list and the title change
    // together: the list never shows one folder's files under another's name.
    if (CWnd* pMain = AfxGetMainWnd()) pMain->SetWindowText(strPath);
    list.SetRedraw(FALSE);
    // Arranged once at the end rather than after every insertion.
    DWORD autoArrange = GetStyle() & LVS_AUTOARRANGE;
    if (autoArrange) ModifyStyle(LVS_AUTOARRANGE, 0);
    ClearList();
    int count = 0;
    WIN32_FIND_DATAW fd;
    // The folder as itself: from its plain path a folder whose name ends in
    // a dot or a space would list its twin without them.
    CString base = pattern.Left(pattern.GetLength() - 3);
    HANDLE hFind = ::FindFirstFileW(AfxExactPathForm(base + L"*"), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!lstrcmpW(fd.cFileName, L".") || !lstrcmpW(fd.cFileName, L"..")) continue;
            AddItem(base + fd.cFileName, count, &fd);
            ++count;
        } while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    list.SortItems(&CFileView::CompareItems, 0);
    if (autoArrange) ModifyStyle(0, LVS_AUTOARRANGE);
    list.SetRedraw(TRUE);
    list.Invalidate();
    return count;
}

int CALLBACK CFileView::CompareItems(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort) {
    auto* p1 = reinterpret_cast<const CFileItem*>(lParam1);
    auto* p2 = reinterpret_cast<const CFileItem*>(lParam2);
    BOOL f1 = IsFolder(p1), f2 = IsFolder(p2);
    if (f1 != f2) return f2 ? FOLDER_FIRST : -FOLDER_FIRST;
    switch (lParamSort) {
    case 0:
        return p1->GetDisplayName().CompareNoCase(p2->GetDisplayName());
    case 1: {
        ULONGLONG s1 = p1->m_bLoaded ? p1->m_nSize : ~0ULL;
        ULONGLONG s2 = p2->m_bLoaded ? p2->m_nSize : ~0ULL;
        return s1 < s2 ? -1 : (s1 > s2 ? 1 : 0);
    }
    case 2:
        return p1->GetTypeName().CompareNoCase(p2->GetTypeName());
    case 3: {
        __time64_t t1 = p1->m_bLoaded ? p1->m_timeModified.GetTime() : 0;
        __time64_t t2 = p2->m_bLoaded ? p2->m_timeModified.GetTime() : 0;
        return t1 < t2 ? -1 : 1;
    }
    default:
        return 0;
    }
}

void CFileView::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* nm = (NMLISTVIEW*)pNMHDR;
    GetListCtrl().SortItems(&CFileView::CompareItems, (DWORD_PTR)nm->iSubItem);
    *pResult = 0;
}

void CFileView::OnItemActivate(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* nm = (NMITEMACTIVATE*)pNMHDR;
    *pResult = 0;
    // The activated item is the focused one (a double click focuses what it
    // hits); Wine's control names the first item for Enter whatever has the
    // focus.
    CListCtrl& list = GetListCtrl();
    int nItem = nm->iItem;
    int nFocused = list.GetNextItem(-1, LVNI_FOCUSED);
    if (nFocused >= 0 && (nItem < 0 || !(list.GetItemState(nItem, LVIS_FOCUSED) & LVIS_FOCUSED))) nItem = nFocused;
    if (nItem < 0) return;
    CFileItem* pRecord = GetItemRecord(nItem);
    if (!pRecord) return;
    if (IsFolder(pRecord)) {
        CString name = pRecord->GetDisplayName();
        if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_OPEN_SUBFOLDER, &name);
    } else if (!AfxIsPlainPathExact(pRecord->GetPath())) {
        // The program that opens it would be given a plain path, and would
        // open another file by it (or a device).
        ShowTaskError(pRecord->GetPath() + TaskString(IDS_NAME_NOT_PLAIN), L"KIV");
    } else {
        ::ShellExecuteW(nullptr, L"open", pRecord->GetPath(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void CFileView::OnDeleteItem(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* nm = (NMLISTVIEW*)pNMHDR;
    delete reinterpret_cast<CFileItem*>(nm->lParam);
    *pResult = 0;
}

LRESULT CFileView::OnStyleChanged(WPARAM, LPARAM) { return Default(); }

LRESULT CFileView::OnShellRenameItem(WPARAM, LPARAM) { return 0; }

void CFileView::ReleaseDropTarget() {
    if (!m_pDropTarget) return;
    m_pDropTarget->Revoke();
    m_pDropTarget->Release();
    m_pDropTarget = nullptr;
}

void CFileView::OnDestroy() {
    ReleaseDropTarget();
    ClearList();
    CListView::OnDestroy();
}

void CFileView::OnRefresh() { ShowFolder(m_strFolder); }

void CFileView::OnUp() {
    if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_GO_UP, nullptr);
}

int CFileView::FindLabel(const CString& strName) const {
    LVFINDINFOW fi = {};
    fi.flags = LVFI_STRING;
    fi.psz = strName;
    return GetListCtrl().FindItem(&fi, -1);
}

void CFileView::OnUpdate(CView*, LPARAM lHint, void* pHint) {
    CListCtrl& list = GetListCtrl();
    switch (lHint) {
    case HINT_SHOW_FOLDER:
        if (!pHint) return;
        m_strFolder = *(const CString*)pHint;
        ShowFolder(m_strFolder);
        break;
    case HINT_DRIVE_REMOVED:
        ClearList();
        break;
    case HINT_FOLDER_UPDATED:
        ShowFolder(m_strFolder);
        break;
    case HINT_ITEM_DELETED: {
        if (!pHint) return;
        int i = FindLabel(*(const CString*)pHint);
        if (i < 0) return;
        if (list.GetItemState(i, LVIS_FOCUSED) & LVIS_FOCUSED)
            list.SetItemState(i + 1, LVIS_FOCUSED, LVIS_FOCUSED);
        list.DeleteItem(i);
        break;
    }
    case HINT_ITEM_CREATED: {
        if (!pHint) return;
        CString path = *(const CString*)pHint;
        int i = FindLabel(GetFileNamePart(path));
        if (i >= 0) list.DeleteItem(i);
        AddItem(path, list.GetItemCount());
        break;
    }
    case HINT_ITEM_RENAMED: {
        if (!pHint) return;
        const SourceMap& m = *(const SourceMap*)pHint;
        int i = FindLabel(m.first);
        if (i < 0) return;
        CFileItem* pNew = nullptr;
        try {
            pNew = new CFileItem(m.second, FALSE);
        } catch (std::bad_alloc&) {
            return;
        }
        // The old record goes only once the new one exists.
        CFileItem* pOld = GetItemRecord(i);
        list.SetItemData(i, (DWORD_PTR)pNew);
        delete pOld;
        list.SetItemText(i, 0, GetFileNamePart(m.second));
        break;
    }
    default:
        break;
    }
}

void CFileView::OnUpdateDiskFreeSpace(CCmdUI* pCmdUI) {
    CString root = m_strFolder.Left(3);
    CString label;
    label.LoadString(IDS_FREE_SPACE);
    ULARGE_INTEGER avail = {}, total = {}, free = {};
    ULONGLONG nFree = 0;
    if (::GetDiskFreeSpaceExW(root, &avail, &total, &free)) {
        nFree = free.QuadPart;
    } else {
        DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
        if (!::GetDiskFreeSpaceW(root, &spc, &bps, &freeClusters, &clusters)) return;
        nFree = (ULONGLONG)spc * bps * freeClusters;
    }
    WCHAR size[64] = {0};
    ::StrFormatByteSizeW((LONGLONG)nFree, size, 64);
    pCmdUI->Enable(TRUE);
    pCmdUI->SetText(label + L": " + size);
}

// ---- the list's commands ----------------------------------------------------

namespace {
// The characters a file name cannot hold.
const WCHAR BAD_NAME_CHARS[] = L"\\/:*?<>|\"";

// The system's text for an error, without its line break.
CString ErrorText(DWORD dwError) {
    LPWSTR psz = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, dwError, 0, (LPWSTR)&psz, 0, nullptr);
    CString text(psz);
    if (psz) ::LocalFree(psz);
    text.TrimRight();
    if (text.IsEmpty()) text.Format(L"Error %u", (unsigned)dwError);
    return text;
}

// The path is the folder itself or lies inside it.
BOOL IsSameOrInside(const CString& strPath, const CString& strFolder) {
    if (strPath.CompareNoCase(strFolder) == 0) return TRUE;
    CString prefix = strFolder;
    if (prefix.IsEmpty() || prefix[prefix.GetLength() - 1] != L'\\') prefix += L'\\';
    return strPath.GetLength() > prefix.GetLength() && strPath.Left(prefix.GetLength()).CompareNoCase(prefix) == 0;
}

// The attributes a source given away loses first: a read-only file cannot
// be deleted, and the shell leaves one in place without a word.
const DWORD CLEARED_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The volume and file index of an existing file or folder; FALSE when it
// cannot be asked.
BOOL FileIdentity(const CString& strPath, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = ::CreateFileW(AfxExactPathForm(strPath), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    BOOL bOk = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    return bOk;
}

// The drive's password file checks the password of every archive on the
// drive: without it none opens again, and a new first password does not
// bring the old ones back. So the list never gives it away as a finished
// source (its archive may stand beside it). Compared as a file, so that no
// other spelling of its path gets past; only a file of its name is asked,
// which keeps the cost off every other source.
BOOL IsDrivePasswordFile(const CString& strPath) {
    if (GetFileNamePart(strPath).CompareNoCase(L"KIV.pwd") != 0) return FALSE;
    CPwdDlg dlg;
    if (!dlg.PreparePasswordPath(FALSE)) return FALSE;
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    if (!FileIdentity(strPath, a) || !FileIdentity(dlg.m_strPwdPath, b)) return IsSamePath(strPath, dlg.m_strPwdPath);
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Removes what the task's record holds, in its order (each folder after
// what it held): files that are still as the walk found them, read-only,
// hidden or system ones alike, and folders only when nothing is left in
// them. What cannot be removed stays as it was; the shell is told of each
// removal, as of the handlers' writes.
void RemoveFinished(const CFileTask& task) {
    for (const CFileTask::Finished& done : task.m_finished) {
        CString strExact = AfxExactPathForm(done.strPath);
        WIN32_FILE_ATTRIBUTE_DATA now;
        if (!::GetFileAttributesExW(strExact, GetFileExInfoStandard, &now)) continue;
        if (((now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != (done.bFolder != 0)) continue;
        // Saved anew since it was read: not what the task took along.
        if (!done.bFolder && (::CompareFileTime(&now.ftLastWriteTime, &done.ftLastWrite) != 0 ||
                              (((ULONGLONG)now.nFileSizeHigh << 32) | now.nFileSizeLow) != done.nLength))
            continue;
        if (!done.bFolder && IsDrivePasswordFile(done.strPath)) continue;
        DWORD dwAttrs = now.dwFileAttributes;
        if (dwAttrs & CLEARED_ATTRIBUTES) ::SetFileAttributesW(strExact, dwAttrs & ~CLEARED_ATTRIBUTES);
        BOOL bGone = done.bFolder ? ::RemoveDirectoryW(strExact) : ::DeleteFileW(strExact);
        if (!bGone) {
            if (dwAttrs & CLEARED_ATTRIBUTES) ::SetFileAttributesW(strExact, dwAttrs);
            continue;
        }
        ::SHChangeNotify(done.bFolder ? SHCNE_RMDIR : SHCNE_DELETE, SHCNF_PATHW, (LPCWSTR)done.strPath, nullptr);
    }
}

// The file that a compress or decompress task of a file source writes:
// compress makes target.kvf of a plain file, decompress makes the target
// without ".kvf" of an archive; any other file they copy to the target.
CString WrittenFile(const CFileTask& task) {
    BOOL bArchive = IsKvfFile(task.m_strSrc);
    if (task.m_nType == TASK_COMPRESS) return bArchive ? task.m_strDst : AppendExtension(task.m_strDst, L"kvf");
    return bArchive ? DecompressedPath(task.m_strDst) : task.m_strDst;
}
}  // namespace

NameKind GetNameKind(const CString& strName) {
    int dot = strName.ReverseFind(L'.');
    if (dot <= 0) return NAME_KIND_NONE;
    CString tail = strName.Right(4);
    tail.MakeUpper();
    return tail == L".KVF" ? NAME_KIND_ARCHIVE : NAME_KIND_OTHER;
}

void CFileView::OnRButtonDown(UINT, POINT point) {
    CListCtrl& list = GetListCtrl();
    // A running edit ends the way losing the focus ends it.
    if (HWND hEdit = (HWND)list.SendMessage(LVM_GETEDITCONTROL)) ::SendMessageW(hEdit, WM_KILLFOCUS, 0, 0);
    int nHit = list.HitTest(point);
    if (nHit < 0) return;
    if (!(list.GetItemState(nHit, LVIS_SELECTED) & LVIS_SELECTED)) {
        for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED))
            list.SetItemState(i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    }
    list.SetItemState(nHit, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CFileView::OnRButtonUp(UINT, POINT point) {
    CListCtrl& list = GetListCtrl();
    CMenu menu;
    if (!menu.LoadMenu(IDR_LIST_CONTEXT)) return;
    CMenu* pPopup = menu.GetSubMenu(0);
    if (!pPopup) return;
    const UINT GRAY = MF_BYCOMMAND | MF_GRAYED;
    if (list.HitTest(point) >= 0) {
        pPopup->EnableMenuItem(ID_REFRESH, GRAY);
        pPopup->EnableMenuItem(ID_NEW_FOLDER, GRAY);
        int nKind = 0;
        for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED)) {
            // The whole label: a name cut short no longer ends in ".kvf".
            int k = GetNameKind(list.GetItemText(i, 0));
            if (nKind == 0) nKind = k;
            else if (nKind != NAME_KIND_NONE && k != nKind) nKind = NAME_KIND_NONE;
        }
        if (nKind != NAME_KIND_OTHER) pPopup->EnableMenuItem(ID_COMPRESS, GRAY);
        if (nKind != NAME_KIND_ARCHIVE) pPopup->EnableMenuItem(ID_DECOMPRESS, GRAY);
    } else {
        for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED))
            list.SetItemState(i, 0, LVIS_SELECTED);
        for (UINT id : {ID_RENAME, ID_DELETE, ID_COMPRESS, ID_DECOMPRESS}) pPopup->EnableMenuItem(id, GRAY);
    }
    POINT pt = point;
    ClientToScreen(&pt);
    // Owned by the list, so that the chosen command comes here.
    pPopup->TrackPopupMenu(TPM_RIGHTBUTTON, pt.x, pt.y, m_hWnd);
    menu.DestroyMenu();
    Default();
}

void CFileView::OnKeyDown(UINT nChar, UINT, UINT) {
    if (nChar == VK_DELETE && !GetListCtrl().SendMessage(LVM_GETEDITCONTROL)) SendMessage(WM_COMMAND, ID_DELETE);
    Default();
}

void CFileView::OnRename() {
    CListCtrl& list = GetListCtrl();
    POSITION pos = list.GetFirstSelectedItemPosition();
    if (!pos) return;
    int nFocused = -1;
    while (pos) {
        int i = list.GetNextSelectedItem(pos);
        if (list.GetItemState(i, LVIS_FOCUSED) & LVIS_FOCUSED) nFocused = i;
        list.SetItemState(i, 0, LVIS_SELECTED);
    }
    // The control edits only while it has the keyboard.
    if (::GetFocus() != m_hWnd) SetFocus();
    if (!list.EditLabel(nFocused)) MessageBox(L"Error on Rename", L"KIV", MB_OK);
}

LRESULT CFileView::OnRestartRename(WPARAM, LPARAM lParam) {
    // The item is looked up again by its record: the list may have changed
    // since the refused name was posted.
    LVFINDINFOW fi = {};
    fi.flags = LVFI_PARAM;
    fi.lParam = lParam;
    int i = GetListCtrl().FindItem(&fi, -1);
    if (i < 0) return 0;
    if (::GetFocus() != m_hWnd) SetFocus();
    GetListCtrl().EditLabel(i);
    return 0;
}

void CFileView::OnEndLabelEdit(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* di = (NMLVDISPINFOW*)pNMHDR;
    // The label is never taken from the edit by the control: a name is
    // applied here, once the file carries it.
    *pResult = 0;
    // Esc: no text, whatever the edit box still holds.
    if (!di->item.pszText) return;
    CListCtrl& list = GetListCtrl();
    int nItem = di->item.iItem;
    CFileItem* pRecord = GetItemRecord(nItem);
    if (!pRecord) return;
    HWND hEdit = (HWND)list.SendMessage(LVM_GETEDITCONTROL);
    if (hEdit && !::SendMessageW(hEdit, EM_GETMODIFY, 0, 0)) return;

    CString strNew = di->item.pszText;
    UINT nRefusal = 0;
    if (strNew.IsEmpty()) nRefusal = IDS_NEED_FILE_NAME;
    else if (::wcspbrk(strNew, BAD_NAME_CHARS)) nRefusal = IDS_BAD_NAME_CHARS;
    // A new name that other programs could not open the file by (one that
    // ends in a dot or a space, or that Windows keeps for a device) is not
    // given; renaming such a file to a plain name is how it is mended.
    else if (!AfxIsPlainPathExact(strNew)) nRefusal = IDS_NAME_NOT_PLAIN;
    if (nRefusal) {
        ShowTaskError(nRefusal == IDS_NAME_NOT_PLAIN ? strNew + TaskString(nRefusal) : TaskString(nRefusal),
                      TaskString(IDS_RENAME));
        // Editing starts again once this notification is over.
        PostMessage(WM_RESTART_RENAME, 0, (LPARAM)pRecord);
        return;
    }
    CString strOld = pRecord->GetDisplayName();
    if (strNew == strOld) return;

    // The file first, and nothing is replaced: only a name the file really
    // took reaches the label, the record and the tree.
    CString strOldPath = pRecord->GetPath();
    CString strNewPath = GetFolderPart(strOldPath) + L"\\" + strNew;
    if (!::MoveFileW(AfxExactPathForm(strOldPath), AfxExactPathForm(strNewPath))) {
        DWORD dwError = ::GetLastError();
        ShowTaskError(strNew + L": " + ErrorText(dwError), TaskString(IDS_RENAME));
        return;
    }
    list.SetItemText(nItem, 0, strNew);
    CFileItem* pNew = nullptr;
    try {
        pNew = new CFileItem(strNewPath, FALSE);
    } catch (std::bad_alloc&) {
    } catch (CException* e) {
        e->Delete();
    }
    // Without a new record the old one stays: stale, but never freed under the item.
    if (pNew) {
        list.SetItemData(nItem, (DWORD_PTR)pNew);
        delete pRecord;
        if (pNew->m_bLoaded && (pNew->m_nAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (CWnd* pMain = AfxGetMainWnd()) SubFolderNotice::Send(pMain->m_hWnd, strNew, &strOld);
        }
    }
}

void CFileView::OnNewFolder() {
    // With no folder shown there is nowhere to make one.
    if (m_strFolder.IsEmpty()) return;
    CString base = m_strFolder;
    if (base[base.GetLength() - 1] == L'\\') base = GetFolderPart(base);
    CString name = TaskString(IDS_NEW_FOLDER);
    CString suffix;
    CString candidate = base + L"\\" + name;
    WIN32_FIND_DATAW fd;
    for (int n = 1;; ++n) {
        HANDLE h = ::FindFirstFileW(AfxExactPathForm(candidate), &fd);
        if (h == INVALID_HANDLE_VALUE) break;
        ::FindClose(h);
        suffix.Format(L" (%d)", n);
        candidate = base + L"\\" + name + suffix;
    }
    CString strName = name + suffix;
    if (!::CreateDirectoryW(AfxExactPathForm(candidate), nullptr)) {
        DWORD dwError = ::GetLastError();
        ShowTaskError(TaskString(IDS_CANNOT_CREATE) + strName + CauseText(dwError, candidate), TaskString(IDS_ERROR_CREATING));
        return;
    }
    CListCtrl& list = GetListCtrl();
    int nIndex = list.GetItemCount();
    HANDLE h = ::FindFirstFileW(AfxExactPathForm(candidate), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    ::FindClose(h);
    AddItem(candidate, nIndex);
    list.SetItemState(nIndex, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (CWnd* pMain = AfxGetMainWnd()) SubFolderNotice::Send(pMain->m_hWnd, strName, nullptr);
    PostMessage(WM_COMMAND, ID_RENAME);
}

void CFileView::StartSelectionBatch(int nType, BOOL bModal, BOOL bWithCallback) {
    CListCtrl& list = GetListCtrl();
    POSITION pos = list.GetFirstSelectedItemPosition();
    if (!pos) return;
    CFrameWnd* pFrame = GetParentFrame();
    if (!pFrame || !pFrame->IsKindOf(RUNTIME_CLASS(CMainFrame))) return;
    CFileTaskThread* pBatch = new CFileTaskThread;
    if (bWithCallback) pBatch->m_pfnTaskDone = &CFileView::OnTaskDone;
    while (pos) {
        CFileItem* pRecord = GetItemRecord(list.GetNextSelectedItem(pos));
        if (!pRecord) continue;
        CString path = pRecord->GetPath();
        CString target = nType == TASK_DECOMPRESS
                             ? DecompressTargetBeside(path, (pRecord->m_nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                             : path;
        pBatch->AddTask(path, target, nType);
    }
    if (pBatch->m_arrTasks.GetSize() == 0) {
        delete pBatch;
        return;
    }
    static_cast<CMainFrame*>(pFrame)->StartBatch(pBatch, bModal);
}

void CFileView::OnDelete() { StartSelectionBatch(TASK_DELETE, FALSE, FALSE); }
void CFileView::OnCompress() { StartSelectionBatch(TASK_COMPRESS, TRUE, TRUE); }
void CFileView::OnDecompress() { StartSelectionBatch(TASK_DECOMPRESS, TRUE, TRUE); }

void CFileView::OnTaskDone(int nResult, CFileTask* pTask) {
    if (nResult != TASK_OK || !pTask) return;
    if (pTask->m_nType != TASK_COMPRESS && pTask->m_nType != TASK_DECOMPRESS) return;
    DWORD dwAttrs = ::GetFileAttributesW(AfxExactPathForm(pTask->m_strSrc));
    if (dwAttrs == INVALID_FILE_ATTRIBUTES) return;
    // A folder compressed in place holds its own archives: it stays.
    if ((dwAttrs & FILE_ATTRIBUTE_DIRECTORY) &&
        (pTask->m_nType == TASK_COMPRESS || IsSameOrInside(pTask->m_strDst, pTask->m_strSrc)))
        return;
    // Only a source whose task wrote its result elsewhere goes: an archive
    // "compressed" is copied, a file "decompressed" too, and a copy onto
    // the source itself succeeds without writing anything new.
    if (!(dwAttrs & FILE_ATTRIBUTE_DIRECTORY)) {
        CString strWritten = WrittenFile(*pTask);
        DWORD dwWritten = ::GetFileAttributesW(AfxExactPathForm(strWritten));
        if (IsSamePath(strWritten, pTask->m_strSrc) || dwWritten == INVALID_FILE_ATTRIBUTES ||
            (dwWritten & FILE_ATTRIBUTE_DIRECTORY))
            return;
    }
    // A folder gives away only what its walk took along (a file saved into
    // it meanwhile was never read), and then only the folders this leaves
    // empty: whatever else is found there stays, with the folders holding it.
    if (dwAttrs & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFinished(*pTask);
        return;
    }
    if (IsDrivePasswordFile(pTask->m_strSrc)) return;
    // A read-only, hidden or system file goes as well, as in a folder
    // (Wine's shell leaves a read-only one in place without a word); it
    // gets its attributes back when it cannot be removed.
    CString strExact = AfxExactPathForm(pTask->m_strSrc);
    if (dwAttrs & CLEARED_ATTRIBUTES) ::SetFileAttributesW(strExact, dwAttrs & ~CLEARED_ATTRIBUTES);
    // The shell is told, as the handlers tell it of what they write: the
    // list learns of the change only through it, and a shell that does not
    // announce a deletion it did silently would leave the source listed. A
    // second notice of the same deletion finds nothing more to remove.
    if (DeleteFolderTree(pTask->m_strSrc) == 0) {
        ::SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, (LPCWSTR)pTask->m_strSrc, nullptr);
        return;
    }
    if ((dwAttrs & CLEARED_ATTRIBUTES) && ::GetFileAttributesW(strExact) != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(strExact, dwAttrs);
}
