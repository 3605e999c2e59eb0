// The explorer window inside this process: the frame the program's main run
// makes, with its toolbar, status bar, tray icon, folder tree and file list,
// driven by posted commands, notifications raised in the process and the
// frame's own messages.
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "app/ShellExecPath.h"
#include "fileops/PathFunctions.h"
#include "password/KivPwd.h"
#include "password/PwdDlg.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/ProgramRun.h"
#include "tests/support/win/Watchdog.h"
#include "views/DocHints.h"
#include "views/DragDrop.h"
#include "views/DriveView.h"
#include "views/FileItem.h"
#include "views/FileView.h"
#include <gtest/gtest.h>
#include <dbt.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <algorithm>
#include <thread>
#include <tuple>
#include <vector>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

const DWORD kShowDelayMs = 3000;  // the tree's 250 ms timer and the list's fill, with room

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CDriveView* Tree() { return static_cast<CDriveView*>(Frame()->m_wndSplitter.GetPane(0, 0)); }
CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }

CString Title() {
    CString s;
    Frame()->GetWindowText(s);
    return s;
}

void MakeDir(const CString& p) { ::CreateDirectoryW(p, nullptr); }
void MakeFile(const CString& p, const std::string& bytes = "x") { WriteAll(p, bytes); }

// Names in a folder, as the file system lists them (no "." or "..").
std::vector<CString> Entries(const CString& folder) {
    std::vector<CString> r;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(folder + L"\\*.*", &fd);
    if (h == INVALID_HANDLE_VALUE) return r;
    do {
        if (lstrcmpW(fd.cFileName, L".") && lstrcmpW(fd.cFileName, L"..")) r.push_back(fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return r;
}

// A drag out of the list with the temporary folder at tempDir, nothing
// selected: the drag folder it made (empty when it made none).
CString DragOutWithTemp(const CString& tempDir) {
    _wputenv_s(L"TEMP", tempDir);
    List()->GetListCtrl().SetItemState(-1, 0, LVIS_SELECTED);
    CKivDropSource source;
    std::vector<BYTE> block;
    EXPECT_GT(List()->BuildDropFiles(source, block), 0);
    const std::vector<CString>& made = theApp.m_dragFolders.Folders();
    return made.empty() ? CString() : made.back();
}

std::vector<CString> ListLabels() {
    std::vector<CString> r;
    CListCtrl& list = List()->GetListCtrl();
    for (int i = 0; i < list.GetItemCount(); ++i) r.push_back(list.GetItemText(i, 0));
    return r;
}

int ChildrenFlag(HTREEITEM h) {
    TVITEMW item = {};
    item.mask = TVIF_CHILDREN;
    item.hItem = h;
    Tree()->GetTreeCtrl().GetItem(&item);
    return item.cChildren;
}

// Selects the folder's tree item (expanding the way there) and waits until
// the list shows it.
void ShowInList(const std::vector<LPCWSTR>& path) {
    CTreeCtrl& tree = Tree()->GetTreeCtrl();
    HTREEITEM h = tree.GetRootItem();
    CString full = L"E:\\";
    for (LPCWSTR part : path) {
        tree.Expand(h, TVE_EXPAND);
        h = TreeChildNamed(h, part);
        ASSERT_TRUE(h != nullptr) << CString(part).ToUtf8();
        full = (full.Right(1) == L"\\" ? full : full + L"\\") + part;
    }
    tree.SelectItem(h);
    ASSERT_TRUE(PumpUntil([&] { return Title() == full; }, kShowDelayMs)) << full.ToUtf8();
}

// Every message sent to a window of this thread, while it lives.
struct SentSpy {
    static std::vector<std::pair<HWND, UINT>>* s_log;
    HHOOK hook;
    std::vector<std::pair<HWND, UINT>> log;
    SentSpy() {
        s_log = &log;
        hook = ::SetWindowsHookExW(WH_CALLWNDPROC, &Proc, nullptr, ::GetCurrentThreadId());
    }
    ~SentSpy() {
        ::UnhookWindowsHookEx(hook);
        s_log = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM w, LPARAM l) {
        if (code == HC_ACTION && s_log) {
            auto* cwp = (CWPSTRUCT*)l;
            s_log->push_back({cwp->hwnd, cwp->message});
        }
        return ::CallNextHookEx(nullptr, code, w, l);
    }
    int Count(HWND h, UINT msg) const {
        return (int)std::count(log.begin(), log.end(), std::make_pair(h, msg));
    }
};
std::vector<std::pair<HWND, UINT>>* SentSpy::s_log = nullptr;

// A view without a window that records the document's hints.
class HintSpy : public CView {
public:
    std::vector<std::pair<LPARAM, CString>> hints;
    void OnUpdate(CView*, LPARAM lHint, void* pHint) override {
        hints.push_back({lHint, pHint ? *(const CString*)pHint : CString()});
    }
};

class ExplorerWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The drive: a few folders and files, and the password file.
        MakeDir(L"E:\\tree");
        MakeDir(L"E:\\tree\\b");
        MakeDir(L"E:\\tree\\a");
        MakeDir(L"E:\\tree\\c");
        MakeDir(L"E:\\tree\\c\\sub");
        MakeFile(L"E:\\tree\\x.txt");
        MakeFile(L"E:\\top.txt", "hello");
        MakeDir(L"E:\\sort");
        MakeDir(L"E:\\sort\\zdir");
        MakeFile(L"E:\\sort\\a.xyz", "12");
        MakeFile(L"E:\\sort\\B.txt", "1");
        // Sparse files of 1 GB and 5 GB: sizes compared as 64-bit numbers.
        for (auto [name, gb] : {std::pair<LPCWSTR, LONGLONG>{L"E:\\sort\\big5.bin", 5}, {L"E:\\sort\\big1.bin", 1}}) {
            HANDLE f = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(f, INVALID_HANDLE_VALUE);
            LARGE_INTEGER at;
            at.QuadPart = gb << 30;
            ::SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
            ::SetEndOfFile(f);
            ::CloseHandle(f);
        }
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        ASSERT_TRUE(Frame() != nullptr);
    }
};
}  // namespace

TEST_F(ExplorerWindowTest, MainRunShowsToolbarTreeListAndStatus) {
    ASSERT_TRUE(Frame()->IsWindowVisible());
    EXPECT_TRUE(theApp.m_strPwdFile == L"e:\\KIV\\KIV.pwd");
    EXPECT_TRUE(Frame()->m_wndTray.m_bShown);

    // Toolbar 128: four view modes, About, a separator, Up and Refresh.
    const UINT expected[] = {ID_VIEW_LARGEICON, ID_VIEW_SMALLICON, ID_VIEW_LIST, ID_VIEW_DETAILS,
                             ID_APP_ABOUT, 0, ID_BACK_TO_PARENT, ID_REFRESH};
    ASSERT_EQ(Frame()->m_wndToolBar.GetCount(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Frame()->m_wndToolBar.GetItemID(i), expected[i]) << i;

    // The tree's root is the drive; the focus selects it and the list shows it.
    CTreeCtrl& tree = Tree()->GetTreeCtrl();
    EXPECT_TRUE(tree.GetItemText(tree.GetRootItem()) == L"E:\\");
    EXPECT_EQ(Tree()->m_nRootCount, 1);
    EXPECT_EQ(Tree()->m_imageList.GetImageCount(), 46);
    EXPECT_TRUE(TreeView_GetImageList(tree.m_hWnd, TVSIL_NORMAL) == Tree()->m_imageList.m_hImageList);
    tree.SelectItem(tree.GetRootItem());
    ASSERT_TRUE(PumpUntil([] { return Title() == L"E:\\"; }, kShowDelayMs));
    std::vector<CString> want = Entries(L"E:"), got = ListLabels();
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);

    // Idle: "Ready" and the drive's free space, as the platform formats it.
    Frame()->OnIdleUpdateCmdUI();
    EXPECT_TRUE(Frame()->m_wndStatusBar.GetPaneText(0) == L"Ready");
    ULARGE_INTEGER avail = {}, total = {}, free = {};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"E:\\", &avail, &total, &free));
    WCHAR size[64];
    ::StrFormatByteSizeW((LONGLONG)free.QuadPart, size, 64);
    EXPECT_TRUE(Frame()->m_wndStatusBar.GetPaneText(1) == CString(L"Disk Free Space: ") + size)
        << Frame()->m_wndStatusBar.GetPaneText(1).ToUtf8();
}

TEST_F(ExplorerWindowTest, TreeListsSortedFoldersOnDemand) {
    CTreeCtrl& tree = Tree()->GetTreeCtrl();
    HTREEITEM root = tree.GetRootItem();
    tree.Expand(root, TVE_EXPAND);
    HTREEITEM h = TreeChildNamed(root, L"tree");
    ASSERT_TRUE(h);
    EXPECT_TRUE(TreeChildNamed(root, L"top.txt") == nullptr);  // folders only
    EXPECT_EQ(ChildrenFlag(h), 1);
    EXPECT_TRUE(tree.GetChildItem(h) == nullptr);  // filled only when expanded

    tree.Expand(h, TVE_EXPAND);
    EXPECT_EQ(TreeChildTexts(h), (std::vector<CString>{L"a", L"b", L"c"}));
    // The expand button follows the shell's has-sub-folders answer (Wine
    // gives it for every folder, so the mapping is what is checked here).
    for (LPCWSTR name : {L"a", L"c"}) {
        HTREEITEM c = TreeChildNamed(h, name);
        CFileItem* rec = Tree()->GetItemRecord(c);
        ASSERT_TRUE(rec && rec->m_bLoaded);
        EXPECT_EQ(ChildrenFlag(c), rec->m_bHasSubFolders ? 1 : 0) << CString(name).ToUtf8();
    }

    // A folder made on disk shows after the user collapses and expands, once.
    MakeDir(L"E:\\tree\\ab");
    tree.SelectItem(h);
    ::SendMessageW(tree.m_hWnd, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_FALSE(tree.GetItemState(h, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(tree.GetChildItem(h) == nullptr);
    tree.Expand(h, TVE_EXPAND);
    EXPECT_EQ(TreeChildTexts(h), (std::vector<CString>{L"a", L"ab", L"b", L"c"}));
    ::RemoveDirectoryW(L"E:\\tree\\ab");
}

TEST_F(ExplorerWindowTest, SelectionShowsFolderAfterDelayOnce) {
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"tree"}));
    std::vector<CString> got = ListLabels();
    EXPECT_EQ(got, (std::vector<CString>{L"a", L"b", L"c", L"x.txt"}));

    // Five quick selection changes: one show-folder hint, for the last one.
    CTreeCtrl& tree = Tree()->GetTreeCtrl();
    HTREEITEM h = TreeChildNamed(tree.GetRootItem(), L"tree");
    tree.Expand(h, TVE_EXPAND);
    SentSpy spy;
    for (LPCWSTR name : {L"a", L"b", L"c", L"a", L"b"}) tree.SelectItem(TreeChildNamed(h, name));
    PumpFor(1000);
    EXPECT_EQ(spy.Count(Frame()->m_hWnd, WM_SETTEXT), 1);
    EXPECT_TRUE(Title() == L"E:\\tree\\b");
}

TEST_F(ExplorerWindowTest, DetailViewSortsEachColumn) {
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"sort"}));
    Frame()->SendMessage(WM_COMMAND, ID_VIEW_DETAILS);
    CListCtrl& list = List()->GetListCtrl();
    EXPECT_EQ(::SendMessageW(ListView_GetHeader(list.m_hWnd), HDM_GETITEMCOUNT, 0, 0), 4);

    // A click on each column: the list's parent hands the notification back.
    struct Case {
        int column;
        std::vector<CString> order;
    } cases[] = {
        {0, {L"zdir", L"a.xyz", L"B.txt", L"big1.bin", L"big5.bin"}},
        {1, {L"zdir", L"B.txt", L"a.xyz", L"big1.bin", L"big5.bin"}},
    };
    for (const Case& c : cases) {
        for (int twice = 0; twice < 2; ++twice) {
            NMLISTVIEW nm = {};
            nm.hdr.hwndFrom = list.m_hWnd;
            nm.hdr.idFrom = (UINT_PTR)::GetDlgCtrlID(list.m_hWnd);
            nm.hdr.code = LVN_COLUMNCLICK;
            nm.iItem = -1;
            nm.iSubItem = c.column;
            ::SendMessageW(::GetParent(list.m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
            EXPECT_EQ(ListLabels(), c.order) << "column " << c.column;
        }
    }

    // The columns show the record's texts (the type is the shell's name for
    // the extension; Wine names every unknown one, so the record's own
    // fallback is tested with the record).
    CFileItem xyz(L"E:\\sort\\a.xyz", FALSE);
    EXPECT_FALSE(xyz.GetTypeName().IsEmpty());
    int i = 0;
    while (i < list.GetItemCount() && list.GetItemText(i, 0) != L"a.xyz") ++i;
    EXPECT_TRUE(list.GetItemText(i, 2) == xyz.GetTypeName()) << list.GetItemText(i, 2).ToUtf8() << " / " << xyz.GetTypeName().ToUtf8();
    EXPECT_TRUE(list.GetItemText(i, 1) == xyz.GetSizeText());

    // The comparison itself, in both orders, for what a click cannot show.
    CFileItem dir(L"E:\\sort\\zdir", FALSE), b(L"E:\\sort\\B.txt", FALSE), big1(L"E:\\sort\\big1.bin", FALSE),
        big5(L"E:\\sort\\big5.bin", FALSE), missing(L"E:\\sort\\gone.txt", FALSE);
    auto cmp = [](const CFileItem& x, const CFileItem& y, int col) {
        return CFileView::CompareItems((LPARAM)&x, (LPARAM)&y, col);
    };
    EXPECT_EQ(cmp(dir, b, 1), -16);
    EXPECT_EQ(cmp(b, dir, 1), 16);
    EXPECT_LT(cmp(big1, big5, 1), 0);
    EXPECT_GT(cmp(big5, big1, 1), 0);
    EXPECT_EQ(cmp(big1, big1, 1), 0);
    EXPECT_GT(cmp(missing, big5, 1), 0);   // a record that did not load is the largest
    EXPECT_EQ(cmp(b, b, 3), 1);            // equal times give 1 either way
    EXPECT_EQ(cmp(b, xyz, 9), 0);

    Frame()->SendMessage(WM_COMMAND, ID_VIEW_LARGEICON);
}

TEST_F(ExplorerWindowTest, ViewModesUpAndRefresh) {
    CFileView* pList = List();
    // Each mode sets the list's type and is the one radio-checked item.
    CMenu menu;
    ASSERT_TRUE(menu.Attach(::CreatePopupMenu()));
    for (UINT id = ID_VIEW_SMALLICON; id <= ID_VIEW_BYNAME; ++id) ::AppendMenuW(menu, MF_STRING, id, L"x");
    struct Case {
        UINT id;
        DWORD bits;
    } cases[] = {{ID_VIEW_DETAILS, LVS_REPORT}, {ID_VIEW_LIST, LVS_LIST}, {ID_VIEW_SMALLICON, LVS_SMALLICON},
                 {ID_VIEW_LARGEICON, LVS_ICON}};
    for (const Case& c : cases) {
        Frame()->SendMessage(WM_COMMAND, c.id);
        EXPECT_EQ(pList->GetStyle() & LVS_TYPEMASK, c.bits);
        Frame()->SendMessage(WM_INITMENUPOPUP, (WPARAM)(HMENU)menu, 0);
        for (UINT id = ID_VIEW_SMALLICON; id <= ID_VIEW_DETAILS; ++id)
            EXPECT_EQ((::GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0, id == c.id) << c.id << " " << id;
        bool gridOn = !(::GetMenuState(menu, ID_VIEW_LINEUP, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_EQ(gridOn, c.bits == LVS_ICON || c.bits == LVS_SMALLICON);
        Frame()->OnIdleUpdateCmdUI();
        EXPECT_TRUE(Frame()->m_wndToolBar.SendMessage(TB_ISBUTTONCHECKED, c.id));
    }
    ::DestroyMenu(menu.Detach());

    // Up from the list: the tree selects the parent and the list follows.
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"tree", L"c"}));
    pList->SetFocus();
    EXPECT_EQ(Frame()->GetActiveView(), pList);
    Frame()->PostMessage(WM_COMMAND, ID_BACK_TO_PARENT);
    EXPECT_TRUE(PumpUntil([] { return Title() == L"E:\\tree"; }, kShowDelayMs));

    // F5 from the list relists the shown folder.
    MakeFile(L"E:\\tree\\new.txt");
    pList->SetFocus();
    ::PostMessageW(pList->m_hWnd, WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(PumpUntil([] {
        auto l = ListLabels();
        return std::find(l.begin(), l.end(), CString(L"new.txt")) != l.end();
    }, kShowDelayMs));
    ::DeleteFileW(L"E:\\tree\\new.txt");
}

TEST_F(ExplorerWindowTest, RelaysShellChangesAndVolumes) {
    // One private message per event, to the list first, then the tree.
    {
        SentSpy spy;
        MakeFile(L"E:\\relay.txt");
        ::SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW | SHCNF_FLUSH, L"E:\\relay.txt", nullptr);
        PumpUntil([&] { return spy.Count(Tree()->m_hWnd, WM_SHELL_CREATE) > 0; }, 3000);
        EXPECT_GE(spy.Count(List()->m_hWnd, WM_SHELL_CREATE), 1);
        EXPECT_GE(spy.Count(Tree()->m_hWnd, WM_SHELL_CREATE), 1);
        auto first = std::find(spy.log.begin(), spy.log.end(), std::make_pair(List()->m_hWnd, WM_SHELL_CREATE));
        auto second = std::find(spy.log.begin(), spy.log.end(), std::make_pair(Tree()->m_hWnd, WM_SHELL_CREATE));
        EXPECT_TRUE(first < second);
        ::DeleteFileW(L"E:\\relay.txt");
    }
    // Two event bits at once match no relay.
    {
        SentSpy spy;
        Frame()->SendMessage(WM_SHELL_CHANGE_NOTIFY, 0, SHCNE_RENAMEITEM | SHCNE_CREATE);
        EXPECT_EQ(spy.Count(List()->m_hWnd, WM_SHELL_RENAME_ITEM) + spy.Count(List()->m_hWnd, WM_SHELL_CREATE), 0);
    }
    // Volume arrival and removal become hints 6 and 7 with the drive's root.
    HintSpy hints;
    CDocument* pDoc = Frame()->GetActiveDocument();
    ASSERT_TRUE(pDoc);
    pDoc->AddView(&hints);
    DEV_BROADCAST_VOLUME vol = {};
    vol.dbcv_size = sizeof vol;
    vol.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    vol.dbcv_unitmask = 0x30;  // E and F: the lowest wins
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&vol);
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&vol);
    vol.dbcv_unitmask = 0;     // no drive: ignored
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&vol);
    vol.dbcv_unitmask = 0x30;  // a header too short to hold the mask: ignored
    vol.dbcv_size = sizeof(DEV_BROADCAST_HDR);
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&vol);
    pDoc->RemoveView(&hints);
    ASSERT_EQ(hints.hints.size(), 2u);
    EXPECT_EQ(hints.hints[0].first, HINT_VOLUME_ARRIVED);
    EXPECT_TRUE(hints.hints[0].second == L"E:\\");
    EXPECT_EQ(hints.hints[1].first, HINT_VOLUME_REMOVED);

    struct Case {
        DWORD mask;
        LPCWSTR root;
    } roots[] = {{0x1, L"A:\\"}, {0x30, L"E:\\"}, {1u << 25, L"Z:\\"}, {0, L"[:\\"}, {1u << 26, L"[:\\"}};
    for (const Case& c : roots) EXPECT_TRUE(DriveRootFromUnitMask(c.mask) == c.root) << c.mask;
}

TEST_F(ExplorerWindowTest, ShellMessagesFromAnyoneButTheShellAndTheFrameAreIgnored) {
    // A drive-removed event as the old delivery carried it: the address of
    // a real pair of item-ID lists naming the program's drive, and junk.
    LPITEMIDLIST pidl = ::ILCreateFromPathW(L"E:\\");
    ASSERT_TRUE(pidl);
    LPCITEMIDLIST pidls[2] = {pidl, nullptr};
    HWND hFrame = Frame()->m_hWnd;
    {
        SentSpy spy;
        for (WPARAM w : {(WPARAM)pidls, (WPARAM)0x1000}) {
            Frame()->PostMessage(WM_SHELL_CHANGE_NOTIFY, w, SHCNE_DRIVEREMOVED);
            Tree()->PostMessage(WM_SHELL_DRIVE_REMOVED, w, SHCNE_DRIVEREMOVED);
        }
        PumpFor(500);
        EXPECT_EQ(spy.Count(List()->m_hWnd, WM_SHELL_DRIVE_REMOVED), 0);
    }
    ::ILFree(pidl);
    ASSERT_TRUE(::IsWindow(hFrame));
    EXPECT_EQ(Tree()->m_nRootCount, 1);
    ASSERT_TRUE(Tree()->GetTreeCtrl().GetRootItem() != nullptr);
    EXPECT_TRUE(Tree()->GetTreeCtrl().GetItemText(Tree()->GetTreeCtrl().GetRootItem()) == L"E:\\");
}

TEST_F(ExplorerWindowTest, ChangePasswordAddsToThePasswordFile) {
    DialogAnswerer answerer;
    answerer.OnDialog(L"Change Password", nullptr, [](HWND h, const DialogInfo&) {
        SetDlgItemTextW(h, IDC_PWD_EDIT_OLD, L"abc123");
        SetDlgItemTextW(h, IDC_PWD_EDIT_NEW, L"xyz789");
        SetDlgItemTextW(h, IDC_PWD_EDIT_RETYPE, L"xyz789");
        return IDC_PWD_OK;
    }, 1);
    answerer.Answer(nullptr, nullptr, IDOK);  // the confirmation, if any
    RunWithTimeout(30000, "change password", [] { Frame()->SendMessage(WM_COMMAND, ID_CHANGE_PASSWORD); });
    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(L"E:\\KIV\\KIV.pwd"));
    EXPECT_TRUE(store.GetCurrentPwd() == L"xyz789");
    ASSERT_GE(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].caption == L"Change Password") << answerer.Seen()[0].caption.ToUtf8() << " " << answerer.Seen()[0].AllText().ToUtf8();
}

TEST_F(ExplorerWindowTest, AFolderThatListsNothingStillClearsTheListAndARootMustExist) {
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"tree"}));
    ASSERT_GT(List()->GetListCtrl().GetItemCount(), 0);
    // A folder whose listing finds nothing at all: its name and no entries,
    // never the last folder's entries under its name.
    CString gone = L"E:\\no such folder";
    Frame()->GetActiveDocument()->UpdateAllViews(nullptr, HINT_SHOW_FOLDER, &gone);
    EXPECT_EQ(List()->GetListCtrl().GetItemCount(), 0);
    EXPECT_TRUE(Title() == gone);

    // A drive root that does not exist does not count as a root.
    theApp.m_strDrivePath = L"Q:";
    EXPECT_EQ(Tree()->InsertDriveRoot(), 0);
    theApp.m_strDrivePath = L"E:";
    EXPECT_EQ(Tree()->InsertDriveRoot(), 1);
}

TEST_F(ExplorerWindowTest, SessionEndRunsTheExitCleanUpOnce) {
    CMainFrame* f = Frame();
    theApp.m_bVista = FALSE;  // undone directly, so that the registry shows it here
    const LPCWSTR kExecPath = L"KVFile\\ShellExecPath";
    ASSERT_TRUE(theApp.m_bRegistered);
    ASSERT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, kExecPath));
    ASSERT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".kvf"));
    CString drag = DragOutWithTemp(GetTempDir());
    ASSERT_TRUE(PathFileExistsW(drag));
    MakeFile(drag + L"\\a.txt");

    // An end nobody asked this frame about, as another program can send it:
    // the program goes on, and so does everything it registered.
    f->SendMessage(WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(theApp.m_bRegistered);
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, kExecPath));
    EXPECT_TRUE(PathFileExistsW(drag));

    EXPECT_EQ(f->SendMessage(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    // A session that goes on after all keeps everything, also when a stray
    // end follows without a new question.
    f->SendMessage(WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    f->SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(theApp.m_bRegistered);
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, kExecPath));
    EXPECT_TRUE(PathFileExistsW(drag));

    // The end: the clean-up is done before the handler returns.
    EXPECT_EQ(f->SendMessage(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    f->SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_FALSE(theApp.m_bRegistered);
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kExecPath));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".kvf"));
    EXPECT_FALSE(PathFileExistsW(drag));
    EXPECT_TRUE(::IsWindow(f->m_hWnd));

    // Only once: neither a second end nor the exit's call undoes again.
    SetShellExecPath(L"E:");
    f->SendMessage(WM_ENDSESSION, TRUE, 0);
    theApp.UndoRegistration();
    EXPECT_TRUE(RegText(HKEY_CLASSES_ROOT, kExecPath) == L"E:");
    DeleteShellExecPath();
}

TEST_F(ExplorerWindowTest, TheExitRemovesOnlyTheDragFoldersThisRunMade) {
    theApp.m_bVista = FALSE;  // undone directly
    struct RestoreTemp {
        CString path = GetTempDir();
        ~RestoreTemp() { _wputenv_s(L"TEMP", path); }
    } restore;
    TempDir temp;
    const std::string history = ReadAll(L"E:\\KIV\\KIV.pwd");
    ASSERT_FALSE(history.empty());

    // This run's drag folder beside another program's, and one made with the
    // temporary folder at the drive's root, inside the password folder.
    CString other = temp.File(L"KIV\\KIV$010203");
    ASSERT_TRUE(CreateFolderTree(other));
    MakeFile(other + L"\\a.txt");
    CString mine = DragOutWithTemp(temp.Path());
    ASSERT_TRUE(PathFileExistsW(mine));
    MakeFile(mine + L"\\copy.txt");
    CString onDrive = DragOutWithTemp(L"E:\\");
    ASSERT_EQ(onDrive.Left(7).CompareNoCase(L"E:\\KIV\\"), 0) << onDrive.ToUtf8();
    theApp.m_bRegistered = TRUE;
    theApp.UndoRegistration();
    EXPECT_FALSE(PathFileExistsW(mine));
    EXPECT_TRUE(PathFileExistsW(other + L"\\a.txt"));
    EXPECT_TRUE(ReadAll(L"E:\\KIV\\KIV.pwd") == history);
    EXPECT_TRUE(PathFileExistsW(onDrive));  // nothing on the program's drive
    EXPECT_TRUE(theApp.m_dragFolders.Folders().empty());

    // The parent goes with the last folder in it.
    DeleteFolderTree(other);
    ASSERT_TRUE(PathFileExistsW(DragOutWithTemp(temp.Path())));
    theApp.m_bRegistered = TRUE;
    theApp.UndoRegistration();
    EXPECT_FALSE(PathFileExistsW(temp.File(L"KIV")));
    EXPECT_TRUE(PathFileExistsW(temp.Path()));
    DeleteFolderTree(onDrive);
}

TEST_F(ExplorerWindowTest, CloseAndMinimiseHideTrayMenuOpensExitEnds) {
    CMainFrame* f = Frame();
    HWND h = f->m_hWnd;
    EXPECT_EQ(f->SendMessage(WM_CLOSE, 0, 0), 1);
    EXPECT_TRUE(::IsWindow(h));
    EXPECT_FALSE(::IsWindowVisible(h));
    f->SendMessage(WM_COMMAND, ID_SHOW_HIDE);
    EXPECT_TRUE(::IsWindowVisible(h));
    EXPECT_EQ(f->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE | 0x3, 0), 1);
    EXPECT_FALSE(::IsWindowVisible(h));
    EXPECT_FALSE(::IsIconic(h));
    f->SendMessage(WM_SHOW_MAIN);
    EXPECT_TRUE(::IsWindowVisible(h));

    // Only the right button's release on icon 136 opens the tray menu; it is
    // closed from outside with Esc.
    for (auto [id, mouse, opens] : {std::tuple<WPARAM, LPARAM, bool>{136, WM_LBUTTONUP, false},
                                    {136, WM_LBUTTONDBLCLK, false}, {137, WM_RBUTTONUP, false},
                                    {136, WM_RBUTTONUP, true}}) {
        bool seen = false;
        std::thread closer([&] {
            HWND menu = nullptr;
            for (int i = 0; i < 50 && !menu; ++i) {
                menu = ::FindWindowW(L"#32768", nullptr);
                if (menu && !::IsWindowVisible(menu)) menu = nullptr;
                if (!menu) ::Sleep(20);
            }
            seen = menu != nullptr;
            if (menu) ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        RunWithTimeout(20000, "tray menu", [&] { f->SendMessage(WM_TRAY_NOTIFY, id, mouse); });
        closer.join();
        EXPECT_EQ(seen, opens) << id << " " << mouse;
    }

    // Exit: the icon goes, the quit message is posted, the window is destroyed.
    EXPECT_TRUE(f->m_wndTray.m_bShown);
    NOTIFYICONDATAW nid = f->m_wndTray.m_nid;
    nid.uFlags = NIF_TIP;
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &nid));  // the icon is there
    f->SendMessage(WM_COMMAND, ID_APP_EXIT_KIV);
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &nid));  // and gone
    EXPECT_FALSE(::IsWindow(h));
    MSG m;
    EXPECT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_TRUE(theApp.m_pMainWnd == nullptr);
}
