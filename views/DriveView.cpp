#include "DriveView.h"
#include "DocHints.h"
#include "FileItem.h"
#include "app/KIVApp.h"
#include "app/ResourceIds.h"
#include "fileops/PathFunctions.h"
#include <shellapi.h>
#include <shlwapi.h>
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

    // The tree's own shell registration for the drives folder comes with its
    // handling of shell changes.

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
    return (pRecord && pRecord->m_bLoaded) ? 1 : 0;
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
    CString pattern = pRecord->GetPath() + L"\\*.*";
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW(pattern, &fd);
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

BOOL CDriveView::DeleteChildItems(HTREEITEM hItem) {
    CTreeCtrl& tree = GetTreeCtrl();
    while (HTREEITEM hChild = tree.GetChildItem(hItem)) {
        tree.SetItemState(hChild, 0, TVIS_SELECTED);
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
