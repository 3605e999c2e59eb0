#include "FileView.h"
#include "DocHints.h"
#include "FileItem.h"
#include "SourceMap.h"
#include "app/AppMessages.h"
#include "app/ResourceIds.h"
#include "fileops/PathFunctions.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <new>

IMPLEMENT_DYNCREATE(CFileView, CListView)

BEGIN_MESSAGE_MAP(CFileView, CListView)
    ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, &CFileView::OnColumnClick)
    ON_NOTIFY_REFLECT(LVN_ITEMACTIVATE, &CFileView::OnItemActivate)
    ON_NOTIFY_REFLECT(LVN_DELETEITEM, &CFileView::OnDeleteItem)
    ON_MESSAGE(WM_STYLECHANGED, &CFileView::OnStyleChanged)
    ON_MESSAGE(WM_SHELL_RENAME_ITEM, &CFileView::OnShellRenameItem)
    ON_WM_DESTROY()
    ON_COMMAND(ID_REFRESH, &CFileView::OnRefresh)
    ON_COMMAND(ID_BACK_TO_PARENT, &CFileView::OnUp)
    ON_UPDATE_COMMAND_UI(ID_INDICATOR_FREESPACE, &CFileView::OnUpdateDiskFreeSpace)
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

CFileView::CFileView() {}

CFileView::~CFileView() {
    // The system image lists belong to the shell.
    m_imageListSmall.Detach();
    m_imageListLarge.Detach();
}

BOOL CFileView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style &= ~LVS_TYPEMASK;
    // The system image lists are the shell's: the control must not destroy them.
    cs.style |= LVS_ICON | LVS_AUTOARRANGE | LVS_EDITLABELS | LVS_SHAREIMAGELISTS;
    return CListView::PreCreateWindow(cs);
}

void CFileView::OnInitialUpdate() {
    CListView::OnInitialUpdate();
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
    HANDLE hFind = ::FindFirstFileW(pattern, &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        CString base = pattern.Left(pattern.GetLength() - 3);
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
    if (nm->iItem < 0) return;
    CFileItem* pRecord = GetItemRecord(nm->iItem);
    if (!pRecord) return;
    if (IsFolder(pRecord)) {
        CString name = pRecord->GetDisplayName();
        if (CDocument* pDoc = GetDocument()) pDoc->UpdateAllViews(this, HINT_OPEN_SUBFOLDER, &name);
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

void CFileView::OnDestroy() {
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
