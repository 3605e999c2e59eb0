#include "DriveView.h"
#include "DocHints.h"
#include "FileItem.h"
#include "ShellChangeEvent.h"
#include "SourceMap.h"
#include "SubFolderNotice.h"
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/ResourceIds.h"
#include "app/ShellItemList.h"
#include "fileops/PathFunctions.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <cwctype>
#include <new>

IMPLEMENT_DYNCREATE(CDriveView, CTreeView)

BEGIN_MESSAGE_MAP(CDriveView, CTreeView)
    ON_NOTIFY_REFLECT(TVN_ITEMEXPANDINGW, &CDriveView::OnItemExpanding)
    ON_NOTIFY_REFLECT(TVN_ITEMEXPANDEDW, &CDriveView::OnItemExpanded)
    ON_NOTIFY_REFLECT(TVN_SELCHANGEDW, &CDriveView::OnSelChanged)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_COMMAND(ID_BACK_TO_PARENT, &CDriveView::OnBackToParent)
    ON_COMMAND(ID_COLLAPSE_OR_UP, &CDriveView::OnCollapseOrUp)
    ON_COMMAND(ID_REFRESH, &CDriveView::OnRefresh)
    ON_UPDATE_COMMAND_UI(ID_INDICATOR_FREESPACE, &CDriveView::OnUpdateDiskFreeSpace)
    ON_MESSAGE(WM_SHELL_CHANGE_NOTIFY, &CDriveView::OnShellChange)
    ON_MESSAGE(WM_SHELL_DRIVE_REMOVED, &CDriveView::OnDriveRemoved)
    // A card reader keeps its letter when the card goes and reports only
    // its medium's removal: for the program that is the drive going.
    ON_MESSAGE(WM_SHELL_MEDIA_REMOVED, &CDriveView::OnDriveRemoved)
    ON_MESSAGE(WM_SHELL_DRIVE_ADDED, &CDriveView::OnDriveAdded)
    ON_MESSAGE(WM_SUBFOLDER_CHANGED, &CDriveView::OnSubFolderChanged)
END_MESSAGE_MAP()

namespace {
const UINT_PTR SELECTION_TIMER = 1;
const UINT SELECTION_DELAY_MS = 250;
const int SHELL_ICON_COUNT = 46;
}  // namespace

CDriveView::CDriveView()
    : m_nRootCount(0), m_nTimerId(0), m_nClosedImage(3), m_nOpenImage(4), m_nDriveImage(7) {}

CDriveView::~CDriveView() {}

BOOL CDriveView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
    return CTreeView::PreCreateWindow(cs);
}

CFileItem* CDriveView::GetItemRecord(HTREEITEM hItem) const {
    return hItem ? reinterpret_cast<CFileItem*>(GetTreeCtrl().GetItemData(hItem)) : nullptr;
}

void CDriveView::OnInitialUpdate() {
    CTreeView::OnInitialUpdate();

    m_imageList.Create(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                       ILC_MASK | ILC_COLORDDB, 16, 1);
    // The library's path holds %SystemRoot%, which the icon extraction does
    // not expand by itself.
    WCHAR lib[MAX_PATH] = {0};
    ::ExpandEnvironmentStringsW(L"%SystemRoot%\\system32\\SHELL32.DLL", lib, MAX_PATH);
    // One icon a call: asked for many at once, Wine fills only the first.
    for (int i = 0; i < SHELL_ICON_COUNT; ++i) {
        HICON hIcon = nullptr;
        if (::ExtractIconExW(lib, i, nullptr, &hIcon, 1) == 0 || !hIcon) continue;
        m_imageList.Add(hIcon);
        ::DestroyIcon(hIcon);
    }
    GetTreeCtrl().SetImageList(&m_imageList, TVSIL_NORMAL);

    // The tree's own registration: every change below the drives folder.
    LPITEMIDLIST pidlDrives = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlDrives))) {
        CShellChangeEvent::Register(m_hWnd, SHCNRF_InterruptLevel | SHCNRF_ShellLevel, SHCNE_ALLEVENTS,
                                    WM_SHELL_CHANGE_NOTIFY, pidlDrives, TRUE);
        ::CoTaskMemFree(pidlDrives);
    }

    m_nClosedImage = 3;
    m_nDriveImage = 7;
    CKIVApp* pApp = static_cast<CKIVApp*>(AfxGetApp());
    m_nOpenImage = (pApp && pApp->m_bVista) ? 45 : 4;
    m_nRootCount = InsertDriveRoot();
    if (m_nRootCount != 0) m_strCurrentPath = GetTreeCtrl().GetItemText(GetTreeCtrl().GetRootItem());
}

int CDriveView::InsertDriveRoot() {
    CKIVApp* pApp = static_cast<CKIVApp*>(AfxGetApp());
    CString drive = pApp ? pApp->GetDrivePath() : CString();
    if (drive.IsEmpty()) return 0;
    CString root(L"?:\\");
    root.SetAt(0, drive[0]);
    // Only a root that exists counts: with none the program closes when the
    // drive goes, which it could never do for a root that was never there.
    HTREEITEM h = InsertFolderItem(nullptr, root);
    if (!h) return 0;
    CFileItem* pRecord = GetItemRecord(h);
    // The shell describes a drive letter that names no drive as well.
    if (pRecord && pRecord->m_bLoaded && ::GetFileAttributesW(root) != INVALID_FILE_ATTRIBUTES) return 1;
    DeleteItemWithRecord(h);
    return 0;
}

HTREEITEM CDriveView::InsertFolderItem(HTREEITEM hParent, const CString& strName) {
    CTreeCtrl& tree = GetTreeCtrl();
    CString path;
    if (hParent) {
        CFileItem* pParent = GetItemRecord(hParent);
        path = pParent ? pParent->GetPath() : CString();
        if (path.IsEmpty() || path[path.GetLength() - 1] != L'\\') path += L'\\';
        path += strName;
    } else {
        path = strName;
    }
    CFileItem* pRecord = nullptr;
    try {
        pRecord = new CFileItem(path, hParent == nullptr);
    } catch (std::bad_alloc&) {
        return nullptr;
    } catch (CException* e) {
        e->Delete();
        return nullptr;
    }
    int image = hParent ? m_nClosedImage : m_nDriveImage;
    int selImage = hParent ? m_nOpenImage : m_nDriveImage;
    HTREEITEM h = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, strName, image, selImage, 0, 0, 0,
                                  hParent ? hParent : TVI_ROOT, TVI_SORT);
    if (!h) {
        delete pRecord;
        return nullptr;
    }
    tree.SetItemData(h, (DWORD_PTR)pRecord);
    ShowExpandButton(h);
    return h;
}

void CDriveView::ShowExpandButton(HTREEITEM hItem) {
    CFileItem* pRecord = GetItemRecord(hItem);
    if (!pRecord || !pRecord->m_bLoaded || !pRecord->m_bHasSubFolders) return;
    TVITEMW item = {};
    item.mask = TVIF_CHILDREN;
    item.hItem = hItem;
    item.cChildren = 1;
    GetTreeCtrl().SetItem(&item);
}

BOOL CDriveView::AddSubFolders(HTREEITEM hItem) {
    CFileItem* pRecord = GetItemRecord(hItem);
    if (!pRecord) return FALSE;
    // The folder as itself: from its plain path a folder whose name ends in
    // a dot or a space would show its twin's sub-folders.
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW(AfxExactPathForm(pRecord->GetPath() + L"\\*"), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return FALSE;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!lstrcmpW(fd.cFileName, L".") || !lstrcmpW(fd.cFileName, L"..")) continue;
        InsertFolderItem(hItem, fd.cFileName);
    } while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);
    return TRUE;
}

void CDriveView::DeleteItemWithRecord(HTREEITEM hItem) {
    CTreeCtrl& tree = GetTreeCtrl();
    CFileItem* pRecord = GetItemRecord(hItem);
    tree.SetItemData(hItem, 0);
    tree.DeleteItem(hItem);
    delete pRecord;
}

BOOL CDriveView::DeleteChildFolder(HTREEITEM hChild) {
    CTreeCtrl& tree = GetTreeCtrl();
    // The descendants' records would be lost with the item otherwise.
    if (tree.GetChildItem(hChild) && !DeleteChildItems(hChild)) return FALSE;
    // The record is detached before the item goes and freed only after.
    CFileItem* pRecord = GetItemRecord(hChild);
    tree.SetItemData(hChild, 0);
    if (!tree.DeleteItem(hChild)) {
        tree.SetItemData(hChild, (DWORD_PTR)pRecord);
        CString text;
        text.LoadString(IDS_CANNOT_DELETE);
        text += tree.GetItemText(hChild);
        ::MessageBoxW(m_hWnd, text, L"KIV", MB_ICONERROR);
        return FALSE;
    }
    delete pRecord;
    return TRUE;
}

BOOL CDriveView::DeleteChildItems(HTREEITEM hItem) {
    CTreeCtrl& tree = GetTreeCtrl();
    while (HTREEITEM hChild = tree.GetChildItem(hItem)) {
        tree.SetItemState(hChild, 0, TVIS_SELECTED);
        if (!DeleteChildFolder(hChild)) return FALSE;
    }
    return TRUE;
}

void CDriveView::DeleteAllItems() {
    CTreeCtrl& tree = GetTreeCtrl();
    while (HTREEITEM hRoot = tree.GetRootItem()) {
        tree.SetItemState(hRoot, 0, TVIS_SELECTED);
        ::LockWindowUpdate(m_hWnd);
        DeleteChildItems(hRoot);
        DeleteItemWithRecord(hRoot);
        ::LockWindowUpdate(nullptr);
        if (tree.GetRootItem() == hRoot) break;  // the control refused
    }
}

void CDriveView::OnItemExpanding(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* nm = (NMTREEVIEWW*)pNMHDR;
    HTREEITEM h = nm->itemNew.hItem;
    if (nm->action == TVE_EXPAND) {
        AddSubFolders(h);
    } else if (nm->action == TVE_COLLAPSE) {
        DeleteChildItems(h);
        // Cleared, so that the next expansion is notified and lists afresh.
        GetTreeCtrl().SetItemState(h, 0, TVIS_EXPANDED | TVIS_EXPANDEDONCE);
        // A control may count the children it lost; the button stays.
        ShowExpandButton(h);
    }
    *pResult = 0;
}

void CDriveView::OnItemExpanded(NMHDR*, LRESULT* pResult) { *pResult = 0; }

void CDriveView::OnSelChanged(NMHDR*, LRESULT* pResult) {
    m_nTimerId = SetTimer(SELECTION_TIMER, SELECTION_DELAY_MS);
    *pResult = 0;
}

void CDriveView::OnTimer(UINT_PTR) {
    KillTimer(m_nTimerId);
    if (HTREEITEM h = GetTreeCtrl().GetSelectedItem()) {
        CFileItem* pRecord = GetItemRecord(h);
        CString path = pRecord ? pRecord->GetPath() : CString();
        m_strCurrentPath = path;
        if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_SHOW_FOLDER, &path);
    }
    Default();
}

void CDriveView::OnDestroy() {
    DeleteAllItems();
    CTreeView::OnDestroy();
}

void CDriveView::OnBackToParent() {
    CTreeCtrl& tree = GetTreeCtrl();
    HTREEITEM h = tree.GetSelectedItem();
    if (HTREEITEM hParent = h ? tree.GetParentItem(h) : nullptr) tree.SelectItem(hParent);
}

void CDriveView::OnCollapseOrUp() {
    CTreeCtrl& tree = GetTreeCtrl();
    HTREEITEM h = tree.GetSelectedItem();
    if (!h) return;
    if (tree.GetItemState(h, TVIS_EXPANDED) & TVIS_EXPANDED) {
        DeleteChildItems(h);
        tree.Expand(h, TVE_COLLAPSE);
        tree.SetItemState(h, 0, TVIS_EXPANDED);
        ShowExpandButton(h);
    } else if (HTREEITEM hParent = tree.GetParentItem(h)) {
        tree.SelectItem(hParent);
    }
}

void CDriveView::OnRefresh() {
    CTreeCtrl& tree = GetTreeCtrl();
    HTREEITEM h = tree.GetSelectedItem();
    if (h && (tree.GetItemState(h, TVIS_EXPANDED) & TVIS_EXPANDED)) {
        DeleteChildItems(h);
        AddSubFolders(h);
    }
    CString path = m_strCurrentPath;
    if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_SHOW_FOLDER, &path);
}

void CDriveView::OnUpdate(CView*, LPARAM lHint, void* pHint) {
    CTreeCtrl& tree = GetTreeCtrl();
    CString payload = pHint && (lHint == HINT_OPEN_SUBFOLDER) ? *(const CString*)pHint : CString();
    switch (lHint) {
    case HINT_OPEN_SUBFOLDER: {
        HTREEITEM h = tree.GetSelectedItem();
        if (!h) return;
        if (!(tree.GetItemState(h, TVIS_EXPANDED) & TVIS_EXPANDED)) tree.Expand(h, TVE_EXPAND);
        for (HTREEITEM c = tree.GetChildItem(h); c; c = tree.GetNextSiblingItem(c)) {
            if (tree.GetItemText(c) == payload) {
                tree.SelectItem(c);
                break;
            }
        }
        break;
    }
    case HINT_REFRESH_FOLDER: {
        HTREEITEM h = tree.GetSelectedItem();
        if (!h) return;
        CFileItem* pRecord = GetItemRecord(h);
        CString path = pRecord ? pRecord->GetPath() : CString();
        if (tree.GetItemState(h, TVIS_EXPANDED) & TVIS_EXPANDED) {
            DeleteChildItems(h);
            AddSubFolders(h);
        }
        if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_SHOW_FOLDER, &path);
        break;
    }
    case HINT_GO_UP:
        OnBackToParent();
        break;
    case HINT_VOLUME_REMOVED:
        if (pHint) OnVolumeRemoved(*(const CString*)pHint);
        break;
    default:
        break;
    }
}

void CDriveView::OnUpdateDiskFreeSpace(CCmdUI* pCmdUI) {
    CString label;
    label.LoadString(IDS_FREE_SPACE);
    CFileItem* pRecord = GetItemRecord(GetTreeCtrl().GetRootItem());
    ULONGLONG nFree = 0;
    if (!pRecord || !GetFreeSpace(pRecord->GetPath(), nFree)) return;
    WCHAR size[64] = {0};
    ::StrFormatByteSizeW((LONGLONG)nFree, size, 64);
    pCmdUI->SetText(label + L": " + size);
    pCmdUI->Enable(TRUE);
}

// ---- shell changes and drives ----------------------------------------------

namespace {
CString PathOfIdList(LPCITEMIDLIST pidl) { return pidl ? ItemIdListToPath(pidl) : CString(); }

BOOL SameDriveLetter(const CString& a, const CString& b) {
    if (a.IsEmpty() || b.IsEmpty()) return FALSE;
    return ::towupper(a[0]) == ::towupper(b[0]);
}

// TRUE when the drive's root cannot be reached for want of a medium (a card
// reader keeps its letter) or of the drive; any other failure, such as a
// refused access, keeps the drive. No system box asks for the medium.
BOOL DriveHasNoMedium(const CString& strRoot) {
    UINT nOldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD attr = ::GetFileAttributesW(strRoot);
    DWORD err = attr == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;
    ::SetErrorMode(nOldMode);
    return err == ERROR_NOT_READY || err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND ||
           err == ERROR_INVALID_DRIVE || err == ERROR_DEV_NOT_EXIST;
}
}  // namespace

HTREEITEM CDriveView::FindItemByPath(HTREEITEM hParent, const CString& strPath) const {
    CTreeCtrl& tree = GetTreeCtrl();
    int n = strPath.Find(L'\\');
    CString component = n > 0 ? strPath.Left(n) : strPath;
    HTREEITEM h = hParent ? tree.GetChildItem(hParent) : tree.GetRootItem();
    // A root's text is its drive root: E: is matched as E:\.
    if (!hParent) component += L'\\';
    component.MakeLower();
    for (; h; h = tree.GetNextSiblingItem(h)) {
        CString text = tree.GetItemText(h);
        text.MakeLower();
        if (text != component) continue;
        return n == -1 ? h : FindItemByPath(h, strPath.Mid(n + 1));
    }
    return nullptr;
}

HTREEITEM CDriveView::FindChild(HTREEITEM hParent, const CString& strName) const {
    CTreeCtrl& tree = GetTreeCtrl();
    for (HTREEITEM c = tree.GetChildItem(hParent); c; c = tree.GetNextSiblingItem(c))
        if (tree.GetItemText(c) == strName) return c;
    return nullptr;
}

BOOL CDriveView::IsShown(HTREEITEM hItem) const {
    return (GetTreeCtrl().GetItemState(hItem, TVIS_SELECTED) & TVIS_SELECTED) != 0;
}

BOOL CDriveView::IsExpanded(HTREEITEM hItem) const {
    return (GetTreeCtrl().GetItemState(hItem, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

void CDriveView::Broadcast(LPARAM lHint, void* pHint) {
    if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, lHint, pHint);
}

void CDriveView::RebaseChildRecords(HTREEITEM hItem, const CString& strPath) {
    CTreeCtrl& tree = GetTreeCtrl();
    for (HTREEITEM c = tree.GetChildItem(hItem); c; c = tree.GetNextSiblingItem(c)) {
        CString path = strPath + L"\\" + tree.GetItemText(c);
        // A child whose new record cannot be made keeps its old one, and
        // its own children go on from the path it should have.
        ReplaceRecord(c, path);
        RebaseChildRecords(c, path);
    }
}

BOOL CDriveView::RenameFolderItem(HTREEITEM hItem, const CString& strNewPath) {
    if (!ReplaceRecord(hItem, strNewPath)) return FALSE;
    RebaseChildRecords(hItem, strNewPath);
    CTreeCtrl& tree = GetTreeCtrl();
    tree.SetItemText(hItem, GetFileNamePart(strNewPath));
    if (HTREEITEM hParent = tree.GetParentItem(hItem)) tree.SendMessage(TVM_SORTCHILDREN, FALSE, (LPARAM)hParent);
    return TRUE;
}

BOOL CDriveView::ReplaceRecord(HTREEITEM hItem, const CString& strPath) {
    CFileItem* pNew = nullptr;
    try {
        pNew = new CFileItem(strPath, FALSE);
    } catch (std::bad_alloc&) {
        return FALSE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
    CFileItem* pOld = GetItemRecord(hItem);
    GetTreeCtrl().SetItemData(hItem, (DWORD_PTR)pNew);
    delete pOld;
    return TRUE;
}

void CDriveView::ReloadRecord(HTREEITEM hItem) {
    // From the record's own path: a drive root keeps its root path.
    if (CFileItem* pRecord = GetItemRecord(hItem)) pRecord->Load(pRecord->GetPath());
    ShowExpandButton(hItem);
}

BOOL CDriveView::AddChildFolder(HTREEITEM hParent, const CString& strName) {
    if (IsExpanded(hParent)) {
        // Whoever told first, the folder shows once.
        if (HTREEITEM hOld = FindChild(hParent, strName))
            if (!DeleteChildFolder(hOld)) return FALSE;
        InsertFolderItem(hParent, strName);
    } else {
        CFileItem* pRecord = GetItemRecord(hParent);
        if (!pRecord || !pRecord->m_bLoaded || !pRecord->m_bHasSubFolders) ReloadRecord(hParent);
    }
    return TRUE;
}

BOOL CDriveView::RemoveChildFolder(HTREEITEM hParent, const CString& strName) {
    if (IsExpanded(hParent)) {
        if (HTREEITEM hOld = FindChild(hParent, strName))
            if (!DeleteChildFolder(hOld)) return FALSE;
    }
    CFileItem* pRecord = GetItemRecord(hParent);
    if (pRecord) pRecord->Load(pRecord->GetPath());
    if (!pRecord || !pRecord->m_bLoaded || !pRecord->m_bHasSubFolders) {
        CTreeCtrl& tree = GetTreeCtrl();
        tree.SetItemState(hParent, 0, TVIS_EXPANDED);
        TVITEMW item = {};
        item.mask = TVIF_CHILDREN;
        item.hItem = hParent;
        item.cChildren = 0;
        tree.SetItem(&item);
    }
    return TRUE;
}

BOOL CDriveView::RenameChildFolder(HTREEITEM hParent, const CString& strOldName, const CString& strNewPath) {
    if (!IsExpanded(hParent)) return TRUE;
    if (HTREEITEM hChild = FindChild(hParent, strOldName)) RenameFolderItem(hChild, strNewPath);
    return TRUE;
}

LRESULT CDriveView::OnShellChange(WPARAM wParam, LPARAM lParam) {
    // The shell's block, not an address: a posted message with made-up
    // values gives no event.
    CShellChangeEvent event(wParam, lParam);
    if (event.IsValid()) HandleShellChange(event.GetIdList(0), event.GetIdList(1), event.GetEvent());
    return 0;
}

void CDriveView::FollowRenamedFolder(const CString& strOldPath, const CString& strNewPath) {
    // The shown folder is the renamed one or lies below it: the tree's
    // items already carry the new path, the shown path and the list follow.
    CString prefix = strOldPath + L"\\";
    BOOL bSame = m_strCurrentPath.CompareNoCase(strOldPath) == 0;
    BOOL bBelow = m_strCurrentPath.GetLength() > prefix.GetLength() &&
                  m_strCurrentPath.Left(prefix.GetLength()).CompareNoCase(prefix) == 0;
    if (!bSame && !bBelow) return;
    m_strCurrentPath = strNewPath + m_strCurrentPath.Mid(strOldPath.GetLength());
    CString path = m_strCurrentPath;
    Broadcast(HINT_SHOW_FOLDER, &path);
}

void CDriveView::HandleShellChange(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2, LONG lEvent) {
    CString path = PathOfIdList(pidl1);
    if (path.IsEmpty()) return;
    CString folder = GetFolderPart(path);
    CString name = GetFileNamePart(path);
    HTREEITEM hParent = FindItemByPath(nullptr, folder);
    BOOL bShown = hParent && IsShown(hParent);

    if (lEvent == SHCNE_RENAMEITEM || lEvent == SHCNE_RENAMEFOLDER) {
        CString newPath = PathOfIdList(pidl2);
        if (newPath.IsEmpty()) return;
        BOOL bFolder = lEvent == SHCNE_RENAMEFOLDER;
        CString newFolder = GetFolderPart(newPath);
        if (newFolder.CompareNoCase(folder) == 0) {
            if (!hParent) return;
            if (bFolder && !RenameChildFolder(hParent, name, newPath)) return;
            if (bFolder) FollowRenamedFolder(path, newPath);
            if (bShown) {
                SourceMap names;
                names.first = name;
                names.second = newPath;
                Broadcast(HINT_ITEM_RENAMED, &names);
            }
            return;
        }
        // Moved to another folder: gone from this one, new in that one;
        // either folder may be one the tree does not show.
        if (hParent && bFolder && !RemoveChildFolder(hParent, name)) return;
        HTREEITEM hNewParent = FindItemByPath(nullptr, newFolder);
        if (hNewParent && bFolder && !AddChildFolder(hNewParent, GetFileNamePart(newPath))) return;
        if (bShown) Broadcast(HINT_ITEM_DELETED, &name);
        if (hNewParent && IsShown(hNewParent)) Broadcast(HINT_ITEM_CREATED, &newPath);
        return;
    }
    if (!hParent) return;
    switch (lEvent) {
    case SHCNE_CREATE:
        if (bShown) Broadcast(HINT_ITEM_CREATED, &path);
        break;
    case SHCNE_DELETE:
        if (bShown) Broadcast(HINT_ITEM_DELETED, &name);
        break;
    case SHCNE_MKDIR:
        if (!AddChildFolder(hParent, name)) return;
        if (bShown) Broadcast(HINT_ITEM_CREATED, &path);
        break;
    case SHCNE_RMDIR:
        if (!RemoveChildFolder(hParent, name)) return;
        if (bShown) Broadcast(HINT_ITEM_DELETED, &name);
        break;
    case SHCNE_UPDATEDIR:
        Broadcast(HINT_FOLDER_UPDATED, &path);
        break;
    default:
        break;
    }
}

LRESULT CDriveView::OnDriveRemoved(WPARAM wParam, LPARAM) {
    // Only the frame's relay of an event it is reading names lists to read.
    if (!CShellChangeEvent::IsBeingRead(wParam)) return 0;
    auto* pidls = (LPCITEMIDLIST*)wParam;
    RemoveDriveRoot(pidls ? PathOfIdList(pidls[0]) : CString());
    return 0;
}

void CDriveView::RemoveDriveRoot(const CString& removed) {
    CTreeCtrl& tree = GetTreeCtrl();
    HTREEITEM hSelected = tree.GetSelectedItem();
    CFileItem* pSelected = GetItemRecord(hSelected);
    CString current = pSelected ? pSelected->GetPath() : CString();
    // Letters without case: a drive folder given as e: still names E:\.
    for (HTREEITEM hRoot = tree.GetRootItem(); hRoot; hRoot = tree.GetNextSiblingItem(hRoot)) {
        if (!SameDriveLetter(tree.GetItemText(hRoot), removed)) continue;
        tree.SetItemState(hRoot, 0, TVIS_SELECTED);
        DeleteChildFolder(hRoot);
        if (SameDriveLetter(current, removed) && !tree.GetRootItem()) {
            m_strCurrentPath.Empty();
            CString gone = removed;
            Broadcast(HINT_DRIVE_REMOVED, &gone);
        }
        --m_nRootCount;
        break;
    }
    // Posted: the message that told of the removal must end before the
    // windows go.
    if (m_nRootCount == 0)
        if (CWnd* pMain = AfxGetMainWnd()) pMain->PostMessage(WM_CLOSE, 1, 1);
}

void CDriveView::OnVolumeRemoved(const CString& root) {
    CTreeCtrl& tree = GetTreeCtrl();
    HTREEITEM hRoot = tree.GetRootItem();
    while (hRoot && !SameDriveLetter(tree.GetItemText(hRoot), root)) hRoot = tree.GetNextSiblingItem(hRoot);
    // Anyone can send the device message: a drive of the tree goes only
    // when it really has no medium now.
    if (hRoot && DriveHasNoMedium(tree.GetItemText(hRoot))) RemoveDriveRoot(root);
}

LRESULT CDriveView::OnDriveAdded(WPARAM, LPARAM) { return 0; }

LRESULT CDriveView::OnSubFolderChanged(WPARAM wParam, LPARAM lParam) {
    // Only the list's own strings, while it hands them over, are read.
    if (!SubFolderNotice::IsHandedOver(wParam, lParam)) return 0;
    CTreeCtrl& tree = GetTreeCtrl();
    const CString* pNewName = (const CString*)wParam;
    const CString* pOldName = (const CString*)lParam;
    HTREEITEM hSelected = tree.GetSelectedItem();
    if (pOldName) {
        if (!hSelected) return 0;
        HTREEITEM hChild = FindChild(hSelected, *pOldName);
        CFileItem* pRecord = GetItemRecord(hChild);
        if (hChild && pRecord) RenameFolderItem(hChild, GetFolderPart(pRecord->GetPath()) + L"\\" + *pNewName);
        return 1;
    }
    if (hSelected) AddChildFolder(hSelected, *pNewName);
    return 1;
}
