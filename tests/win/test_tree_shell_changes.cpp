// The folder tree following the shell inside this process: change events
// raised here (Wine passes none between processes and reports no real file
// changes) for the shown folder, for an expanded folder that is not shown
// and for folders the tree does not show; the list's sub-folder message; and
// the removal of drives; and messages of the same numbers from elsewhere,
// which must change nothing. The program's drive folder is given as "e:", as a
// command line may give it.
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "fileops/PathFunctions.h"
#include "password/KivPwd.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/Watchdog.h"
#include "views/DocHints.h"
#include "views/DriveView.h"
#include "views/FileItem.h"
#include "views/FileView.h"
#include "views/SourceMap.h"
#include "views/SubFolderNotice.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <algorithm>
#include <utility>
#include <vector>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

const CString kSh = L"E:\\sh", kOther = L"E:\\other", kRn = L"E:\\rn", kFar = L"E:\\far";

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CDriveView* Tree() { return static_cast<CDriveView*>(Frame()->m_wndSplitter.GetPane(0, 0)); }
CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }
CTreeCtrl& TreeCtrl() { return Tree()->GetTreeCtrl(); }

CString Title() {
    CString s;
    Frame()->GetWindowText(s);
    return s;
}

bool Listed(LPCWSTR label) {
    CListCtrl& list = List()->GetListCtrl();
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (list.GetItemText(i, 0) == label) return true;
    return false;
}

HTREEITEM Item(LPCWSTR name) {
    HTREEITEM root = TreeCtrl().GetRootItem();
    TreeCtrl().Expand(root, TVE_EXPAND);
    return TreeChildNamed(root, name);
}

CString RecordPath(HTREEITEM h) {
    CFileItem* p = h ? Tree()->GetItemRecord(h) : nullptr;
    return p ? p->GetPath() : CString();
}

// The hints the document passes, with their payload as text (a rename's
// two names joined by "|").
class HintSpy : public CView {
public:
    std::vector<std::pair<LPARAM, CString>> hints;
    void OnUpdate(CView*, LPARAM lHint, void* pHint) override {
        CString text;
        if (pHint && lHint == HINT_ITEM_RENAMED) {
            auto* m = (const SourceMap*)pHint;
            text = m->first + L"|" + m->second;
        } else if (pHint) {
            text = *(const CString*)pHint;
        }
        text.MakeLower();
        hints.push_back({lHint, text});
    }
};

struct ScopedSpy {
    HintSpy spy;
    CDocument* pDoc = Frame()->GetActiveDocument();
    ScopedSpy() { pDoc->AddView(&spy); }
    ~ScopedSpy() { pDoc->RemoveView(&spy); }
    // The hints since the last call.
    std::vector<std::pair<LPARAM, CString>> Take() {
        auto r = spy.hints;
        spy.hints.clear();
        return r;
    }
};

typedef std::vector<std::pair<LPARAM, CString>> Hints;

// An event as the shell raises it for the paths.
void Notify(LONG lEvent, const CString& path, const CString& path2 = CString()) {
    ::SHChangeNotify(lEvent, SHCNF_PATHW | SHCNF_FLUSH, (LPCWSTR)path,
                     path2.IsEmpty() ? nullptr : (LPCWSTR)path2);
    PumpFor(150);
}

class TreeShellChangesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const CString& d : {kSh, kOther, kRn, kRn + L"2", kFar}) DeleteFolderTree(d);
        for (CString d : {kSh, kSh + L"\\keep", kSh + L"\\mv", kOther, kOther + L"\\o1", kOther + L"\\o1\\deep", kRn,
                          kRn + L"\\a", kRn + L"\\a\\b", kFar, kFar + L"\\col", kFar + L"\\col\\x"})
            ::CreateDirectoryW(d, nullptr);
        WriteAll(kRn + L"\\a\\b\\inside.txt", "b");
        WriteAll(kFar + L"\\col\\far.txt", "f");
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"e:", [] { return theApp.MainRun(); }));

        // E:\sh is shown and expanded, E:\other expanded and not shown.
        HTREEITEM hOther = Item(L"other");
        HTREEITEM hSh = Item(L"sh");
        ASSERT_TRUE(hOther && hSh);
        TreeCtrl().Expand(hOther, TVE_EXPAND);
        TreeCtrl().Expand(hSh, TVE_EXPAND);
        TreeCtrl().SelectItem(hSh);
        ASSERT_TRUE(PumpUntil([] { return Title().CompareNoCase(kSh) == 0; }, 3000)) << Title().ToUtf8();
    }
    static void TearDownTestSuite() {
        for (const CString& d : {kSh, kOther, kRn, kRn + L"2", kFar, CString(L"E:\\up"), CString(L"E:\\up2")})
            DeleteFolderTree(d);
        ::DeleteFileW(L"E:\\rootfile.txt");
    }
};
}  // namespace

TEST_F(TreeShellChangesTest, FindsItemsByPathWithoutLetterCase) {
    HTREEITEM root = TreeCtrl().GetRootItem();
    EXPECT_TRUE(TreeCtrl().GetItemText(root) == L"e:\\");
    struct Case {
        LPCWSTR path;
        HTREEITEM want;
    } cases[] = {
        {L"E:", root}, {L"e:", root}, {L"E:\\SH", Item(L"sh")}, {L"e:\\other\\O1", TreeChildNamed(Item(L"other"), L"o1")},
        {L"E:\\sh\\", nullptr},           // a trailing backslash names nothing
        {L"E:\\other\\o1\\deep", nullptr},  // below a collapsed folder
        {L"F:", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Tree()->FindItemByPath(nullptr, c.path) == c.want) << CString(c.path).ToUtf8();
}

TEST_F(TreeShellChangesTest, ChangesInTheShownFolderReachTheList) {
    HTREEITEM hSh = Item(L"sh");
    ScopedSpy spy;
    struct Step {
        const char* what;
        std::function<void()> act;  // the change on disk and the shell's event
        Hints hints;
        std::vector<CString> tree;  // the children of E:\sh afterwards
        std::vector<LPCWSTR> listed, unlisted;
    } steps[] = {
        {"file created",
         [] {
             WriteAll(kSh + L"\\f1.txt", "1");
             Notify(SHCNE_CREATE, kSh + L"\\f1.txt");
         },
         {{HINT_ITEM_CREATED, L"e:\\sh\\f1.txt"}}, {L"keep", L"mv"}, {L"f1.txt"}, {}},
        {"file renamed",
         [] {
             ::MoveFileW(kSh + L"\\f1.txt", kSh + L"\\f2.txt");
             Notify(SHCNE_RENAMEITEM, kSh + L"\\f1.txt", kSh + L"\\f2.txt");
         },
         {{HINT_ITEM_RENAMED, L"f1.txt|e:\\sh\\f2.txt"}}, {L"keep", L"mv"}, {L"f2.txt"}, {L"f1.txt"}},
        {"file deleted",
         [] {
             ::DeleteFileW(kSh + L"\\f2.txt");
             Notify(SHCNE_DELETE, kSh + L"\\f2.txt");
         },
         {{HINT_ITEM_DELETED, L"f2.txt"}}, {L"keep", L"mv"}, {}, {L"f2.txt"}},
        {"folder made",
         [] {
             ::CreateDirectoryW(kSh + L"\\d1", nullptr);
             Notify(SHCNE_MKDIR, kSh + L"\\d1");
         },
         {{HINT_ITEM_CREATED, L"e:\\sh\\d1"}}, {L"d1", L"keep", L"mv"}, {L"d1"}, {}},
        {"folder made, told twice",
         [] { Notify(SHCNE_MKDIR, kSh + L"\\d1"); },
         {{HINT_ITEM_CREATED, L"e:\\sh\\d1"}}, {L"d1", L"keep", L"mv"}, {L"d1"}, {}},
        {"folder renamed",
         [] {
             ::MoveFileW(kSh + L"\\d1", kSh + L"\\a2");
             Notify(SHCNE_RENAMEFOLDER, kSh + L"\\d1", kSh + L"\\a2");
         },
         {{HINT_ITEM_RENAMED, L"d1|e:\\sh\\a2"}}, {L"a2", L"keep", L"mv"}, {L"a2"}, {L"d1"}},
        {"folder removed",
         [] {
             ::RemoveDirectoryW(kSh + L"\\a2");
             Notify(SHCNE_RMDIR, kSh + L"\\a2");
         },
         {{HINT_ITEM_DELETED, L"a2"}}, {L"keep", L"mv"}, {}, {L"a2"}},
        {"folder updated",
         [] {
             WriteAll(kSh + L"\\quiet.txt", "q");
             Notify(SHCNE_UPDATEDIR, kSh);
         },
         {{HINT_FOLDER_UPDATED, L"e:\\sh"}}, {L"keep", L"mv"}, {L"quiet.txt"}, {}},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(spy.Take(), s.hints) << s.what;
        EXPECT_EQ(TreeChildTexts(hSh), s.tree) << s.what;
        for (LPCWSTR l : s.listed) EXPECT_TRUE(Listed(l)) << s.what << " " << CString(l).ToUtf8();
        for (LPCWSTR l : s.unlisted) EXPECT_FALSE(Listed(l)) << s.what << " " << CString(l).ToUtf8();
    }
    // The renamed folder's item carried the new path.
    ::CreateDirectoryW(kSh + L"\\r1", nullptr);
    Notify(SHCNE_MKDIR, kSh + L"\\r1");
    ::MoveFileW(kSh + L"\\r1", kSh + L"\\r2");
    Notify(SHCNE_RENAMEFOLDER, kSh + L"\\r1", kSh + L"\\r2");
    EXPECT_TRUE(RecordPath(TreeChildNamed(hSh, L"r2")).CompareNoCase(kSh + L"\\r2") == 0);
}

TEST_F(TreeShellChangesTest, ChangesElsewhereKeepTheTreeAndSendNoHints) {
    HTREEITEM hOther = Item(L"other");
    HTREEITEM hO1 = TreeChildNamed(hOther, L"o1");
    ASSERT_TRUE(hO1);
    ScopedSpy spy;
    WriteAll(kOther + L"\\g.txt", "g");
    Notify(SHCNE_CREATE, kOther + L"\\g.txt");
    EXPECT_TRUE(spy.Take().empty());

    ::CreateDirectoryW(kOther + L"\\o2", nullptr);
    Notify(SHCNE_MKDIR, kOther + L"\\o2");
    EXPECT_EQ(TreeChildTexts(hOther), (std::vector<CString>{L"o1", L"o2"}));
    ::MoveFileW(kOther + L"\\o2", kOther + L"\\o3");
    Notify(SHCNE_RENAMEFOLDER, kOther + L"\\o2", kOther + L"\\o3");
    EXPECT_EQ(TreeChildTexts(hOther), (std::vector<CString>{L"o1", L"o3"}));
    ::RemoveDirectoryW(kOther + L"\\o3");
    Notify(SHCNE_RMDIR, kOther + L"\\o3");
    EXPECT_EQ(TreeChildTexts(hOther), (std::vector<CString>{L"o1"}));
    EXPECT_TRUE(spy.Take().empty());
    EXPECT_FALSE(Listed(L"g.txt"));

    // A folder update is passed on even for a folder that is not shown.
    Notify(SHCNE_UPDATEDIR, kOther);
    EXPECT_EQ(spy.Take(), (Hints{{HINT_FOLDER_UPDATED, L"e:\\other"}}));

    // Inside a collapsed folder: its item is brought up to date, no child
    // appears; below it the tree has no item and nothing happens.
    ::CreateDirectoryW(kOther + L"\\o1\\n2", nullptr);
    Notify(SHCNE_MKDIR, kOther + L"\\o1\\n2");
    ::CreateDirectoryW(kOther + L"\\o1\\deep\\n3", nullptr);
    Notify(SHCNE_MKDIR, kOther + L"\\o1\\deep\\n3");
    EXPECT_TRUE(TreeCtrl().GetChildItem(hO1) == nullptr);
    EXPECT_TRUE(spy.Take().empty());
    TVITEMW item = {};
    item.mask = TVIF_CHILDREN;
    item.hItem = hO1;
    TreeCtrl().GetItem(&item);
    EXPECT_EQ(item.cChildren, Tree()->GetItemRecord(hO1)->m_bHasSubFolders ? 1 : 0);

    // At the drive's root: matched through the root item, not shown.
    WriteAll(L"E:\\rootfile.txt", "r");
    Notify(SHCNE_CREATE, L"E:\\rootfile.txt");
    EXPECT_TRUE(spy.Take().empty());
}

TEST_F(TreeShellChangesTest, AMoveToAnotherFolderIsARemovalAndAnAddition) {
    HTREEITEM hSh = Item(L"sh");
    HTREEITEM hOther = Item(L"other");
    ScopedSpy spy;
    // A folder leaves the shown folder for one that is not shown.
    ASSERT_TRUE(::MoveFileW(kSh + L"\\mv", kOther + L"\\mv"));
    Notify(SHCNE_RENAMEFOLDER, kSh + L"\\mv", kOther + L"\\mv");
    EXPECT_EQ(spy.Take(), (Hints{{HINT_ITEM_DELETED, L"mv"}}));
    EXPECT_TRUE(TreeChildNamed(hSh, L"mv") == nullptr);
    HTREEITEM hMoved = TreeChildNamed(hOther, L"mv");
    ASSERT_TRUE(hMoved);
    EXPECT_TRUE(RecordPath(hMoved).CompareNoCase(kOther + L"\\mv") == 0);
    EXPECT_FALSE(Listed(L"mv"));

    // A file comes into the shown folder.
    WriteAll(kOther + L"\\in.txt", "i");
    ASSERT_TRUE(::MoveFileW(kOther + L"\\in.txt", kSh + L"\\in.txt"));
    Notify(SHCNE_RENAMEITEM, kOther + L"\\in.txt", kSh + L"\\in.txt");
    EXPECT_EQ(spy.Take(), (Hints{{HINT_ITEM_CREATED, L"e:\\sh\\in.txt"}}));
    EXPECT_TRUE(Listed(L"in.txt"));
}

TEST_F(TreeShellChangesTest, AMoveFromAFolderWithoutAnItemStillArrives) {
    // E:\far is collapsed: E:\far\col has no item.
    HTREEITEM hSh = Item(L"sh");
    ASSERT_TRUE(Tree()->FindItemByPath(nullptr, kFar + L"\\col") == nullptr);
    ScopedSpy spy;
    ASSERT_TRUE(::MoveFileW(kFar + L"\\col\\x", kSh + L"\\x"));
    Notify(SHCNE_RENAMEFOLDER, kFar + L"\\col\\x", kSh + L"\\x");
    ASSERT_TRUE(::MoveFileW(kFar + L"\\col\\far.txt", kSh + L"\\far.txt"));
    Notify(SHCNE_RENAMEITEM, kFar + L"\\col\\far.txt", kSh + L"\\far.txt");
    EXPECT_EQ(spy.Take(), (Hints{{HINT_ITEM_CREATED, L"e:\\sh\\x"}, {HINT_ITEM_CREATED, L"e:\\sh\\far.txt"}}));
    HTREEITEM hX = TreeChildNamed(hSh, L"x");
    ASSERT_TRUE(hX);
    EXPECT_TRUE(RecordPath(hX).CompareNoCase(kSh + L"\\x") == 0);
    EXPECT_TRUE(Listed(L"x"));
    EXPECT_TRUE(Listed(L"far.txt"));
}

TEST_F(TreeShellChangesTest, ARenamedFolderTakesItsLoadedSubFoldersAlong) {
    // E:\rn, E:\rn\a and E:\rn\a\b have items; the shell renames E:\rn.
    HTREEITEM hRn = Item(L"rn");
    ASSERT_TRUE(hRn);
    TreeCtrl().Expand(hRn, TVE_EXPAND);
    HTREEITEM hA = TreeChildNamed(hRn, L"a");
    ASSERT_TRUE(hA);
    TreeCtrl().Expand(hA, TVE_EXPAND);
    ASSERT_TRUE(::MoveFileW(kRn, kRn + L"2"));
    Notify(SHCNE_RENAMEFOLDER, kRn, kRn + L"2");
    EXPECT_TRUE(Item(L"rn") == nullptr);
    ASSERT_TRUE(Item(L"rn2") == hRn);
    EXPECT_TRUE(RecordPath(hA).CompareNoCase(kRn + L"2\\a") == 0) << RecordPath(hA).ToUtf8();
    HTREEITEM hB = TreeChildNamed(hA, L"b");
    ASSERT_TRUE(hB);
    EXPECT_TRUE(RecordPath(hB).CompareNoCase(kRn + L"2\\a\\b") == 0) << RecordPath(hB).ToUtf8();

    // Chosen in the tree, the deepest one shows its file; then the shown
    // folder is E:\sh again, as the other tests expect.
    TreeCtrl().SelectItem(hB);
    EXPECT_TRUE(PumpUntil([] { return Title().CompareNoCase(kRn + L"2\\a\\b") == 0; }, 3000)) << Title().ToUtf8();
    EXPECT_TRUE(Listed(L"inside.txt"));
    TreeCtrl().SelectItem(Item(L"sh"));
    ASSERT_TRUE(PumpUntil([] { return Title().CompareNoCase(kSh) == 0; }, 3000)) << Title().ToUtf8();
}

TEST_F(TreeShellChangesTest, TheListFollowsARenameOfItsFolderOrOneAboveIt) {
    const CString kUp = L"E:\\up";
    for (CString d : {kUp, kUp + L"\\mid", kUp + L"\\mid\\low"}) ::CreateDirectoryW(d, nullptr);
    WriteAll(kUp + L"\\mid\\low\\in.txt", "i");
    Notify(SHCNE_MKDIR, kUp);
    HTREEITEM hUp = Item(L"up");
    ASSERT_TRUE(hUp);
    TreeCtrl().Expand(hUp, TVE_EXPAND);
    HTREEITEM hMid = TreeChildNamed(hUp, L"mid");
    ASSERT_TRUE(hMid);
    TreeCtrl().Expand(hMid, TVE_EXPAND);
    TreeCtrl().SelectItem(TreeChildNamed(hMid, L"low"));
    ASSERT_TRUE(PumpUntil([&] { return Title().CompareNoCase(kUp + L"\\mid\\low") == 0; }, 3000)) << Title().ToUtf8();

    struct Step {
        CString from, to, shown;
    } steps[] = {
        {kUp, L"E:\\up2", L"E:\\up2\\mid\\low"},                        // two levels above
        {L"E:\\up2\\mid\\low", L"E:\\up2\\mid\\low2", L"E:\\up2\\mid\\low2"},  // the shown folder itself
    };
    for (const Step& st : steps) {
        ASSERT_TRUE(::MoveFileW(st.from, st.to));
        Notify(SHCNE_RENAMEFOLDER, st.from, st.to);
        EXPECT_TRUE(Title().CompareNoCase(st.shown) == 0) << Title().ToUtf8();
        EXPECT_TRUE(List()->m_strFolder.CompareNoCase(st.shown) == 0) << List()->m_strFolder.ToUtf8();
        EXPECT_TRUE(Tree()->m_strCurrentPath.CompareNoCase(st.shown) == 0) << Tree()->m_strCurrentPath.ToUtf8();
        // The listed file's record names it where it now is.
        CListCtrl& list = List()->GetListCtrl();
        ASSERT_EQ(list.GetItemCount(), 1) << st.shown.ToUtf8();
        EXPECT_TRUE(List()->GetItemRecord(0)->GetPath().CompareNoCase(st.shown + L"\\in.txt") == 0)
            << List()->GetItemRecord(0)->GetPath().ToUtf8();
    }
    TreeCtrl().SelectItem(Item(L"sh"));
    ASSERT_TRUE(PumpUntil([] { return Title().CompareNoCase(kSh) == 0; }, 3000)) << Title().ToUtf8();
    DeleteFolderTree(L"E:\\up2");
    Notify(SHCNE_RMDIR, L"E:\\up2");
}

// The tree's children of E:\sh, the hints and the list are as before.
class NothingChanges {
public:
    NothingChanges() : m_before(TreeChildTexts(Item(L"sh"))) {}
    void Check() {
        PumpFor(300);
        EXPECT_EQ(TreeChildTexts(Item(L"sh")), m_before);
        EXPECT_TRUE(m_spy.Take().empty());
        EXPECT_TRUE(Listed(L"keep"));
        EXPECT_FALSE(Listed(L"stolen"));
    }

private:
    std::vector<CString> m_before;
    ScopedSpy m_spy;
};

TEST_F(TreeShellChangesTest, MessagesWithRealAddressesFromElsewhereChangeNothing) {
    ASSERT_TRUE(TreeChildNamed(Item(L"sh"), L"keep"));
    NothingChanges nothing;
    // Strings that name a child, but not handed over by the list: sent and
    // posted, to the frame and to the tree.
    CString newName = L"stolen", oldName = L"keep";
    for (HWND h : {Frame()->m_hWnd, Tree()->m_hWnd}) {
        ::SendMessageW(h, WM_SUBFOLDER_CHANGED, (WPARAM)&newName, (LPARAM)&oldName);
        ::SendMessageW(h, WM_SUBFOLDER_CHANGED, (WPARAM)&newName, 0);
        ::PostMessageW(h, WM_SUBFOLDER_CHANGED, (WPARAM)&newName, (LPARAM)&oldName);
    }
    // The shell's notification with the address of a pair of item-ID lists.
    LPITEMIDLIST pidl = ::ILCreateFromPathW(kSh + L"\\keep");
    ASSERT_TRUE(pidl);
    LPCITEMIDLIST pidls[2] = {pidl, nullptr};
    for (LONG lEvent : {SHCNE_RMDIR, SHCNE_MKDIR, SHCNE_CREATE, SHCNE_UPDATEDIR})
        Tree()->SendMessage(WM_SHELL_CHANGE_NOTIFY, (WPARAM)pidls, lEvent);
    ::ILFree(pidl);
    // The frame's relay of a drive removal, as if for the program's drive.
    LPITEMIDLIST pidlDrive = ::ILCreateFromPathW(L"E:\\");
    ASSERT_TRUE(pidlDrive);
    LPCITEMIDLIST drive[2] = {pidlDrive, nullptr};
    Tree()->SendMessage(WM_SHELL_DRIVE_REMOVED, (WPARAM)drive, SHCNE_DRIVEREMOVED);
    Frame()->SendMessage(WM_SHELL_CHANGE_NOTIFY, (WPARAM)drive, SHCNE_DRIVEREMOVED);
    nothing.Check();
    EXPECT_EQ(Tree()->m_nRootCount, 1);
    ::ILFree(pidlDrive);
}

TEST_F(TreeShellChangesTest, MessagesWithMadeUpValuesChangeNothing) {
    NothingChanges nothing;
    for (HWND h : {Frame()->m_hWnd, Tree()->m_hWnd}) {
        ::PostMessageW(h, WM_SUBFOLDER_CHANGED, 0x1000, 0x2000);
        ::PostMessageW(h, WM_SUBFOLDER_CHANGED, 0x1000, 0);
    }
    for (LONG lEvent : {SHCNE_RMDIR, SHCNE_MKDIR, SHCNE_CREATE, SHCNE_UPDATEDIR, SHCNE_RENAMEFOLDER}) {
        for (WPARAM w : {(WPARAM)0x1000, (WPARAM)0x4, (WPARAM)-1})
            ::PostMessageW(Tree()->m_hWnd, WM_SHELL_CHANGE_NOTIFY, w, lEvent);
    }
    // A made-up handle said to come from this process.
    ::PostMessageW(Tree()->m_hWnd, WM_SHELL_CHANGE_NOTIFY, 0x1000, ::GetCurrentProcessId());
    // The frame's notification and its relay of a drive removal.
    ::PostMessageW(Frame()->m_hWnd, WM_SHELL_CHANGE_NOTIFY, 0x1000, SHCNE_DRIVEREMOVED);
    ::PostMessageW(Tree()->m_hWnd, WM_SHELL_DRIVE_REMOVED, 0x1000, SHCNE_DRIVEREMOVED);
    nothing.Check();
    EXPECT_EQ(Tree()->m_nRootCount, 1);
}

TEST_F(TreeShellChangesTest, TheListsSubFolderMessageRenamesAndAdds) {
    HTREEITEM hSh = Item(L"sh");
    ASSERT_TRUE(::MoveFileW(kSh + L"\\keep", kSh + L"\\kept"));
    CString newName = L"kept", oldName = L"keep";
    EXPECT_EQ(SubFolderNotice::Send(Frame()->m_hWnd, newName, &oldName), 0);
    HTREEITEM hKept = TreeChildNamed(hSh, L"kept");
    ASSERT_TRUE(hKept);
    EXPECT_TRUE(TreeChildNamed(hSh, L"keep") == nullptr);
    EXPECT_TRUE(RecordPath(hKept).CompareNoCase(kSh + L"\\kept") == 0);

    ::CreateDirectoryW(kSh + L"\\fresh", nullptr);
    CString fresh = L"fresh";
    SubFolderNotice::Send(Frame()->m_hWnd, fresh, nullptr);
    // The shell's own report of the same folder comes later: still once.
    Notify(SHCNE_MKDIR, kSh + L"\\fresh");
    auto texts = TreeChildTexts(hSh);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), CString(L"fresh")), 1);
}

// Last: it ends the frame.
TEST_F(TreeShellChangesTest, RemovingTheProgramsDriveClosesTheProgram) {
    HWND hFrame = Frame()->m_hWnd;
    ASSERT_TRUE(List()->GetListCtrl().GetItemCount() > 0);
    // Another drive goes: nothing changes.
    ::SHChangeNotify(SHCNE_DRIVEREMOVED, SHCNF_PATHW | SHCNF_FLUSH, L"C:\\", nullptr);
    PumpFor(300);
    ASSERT_TRUE(::IsWindow(hFrame));
    EXPECT_EQ(Tree()->m_nRootCount, 1);
    EXPECT_TRUE(TreeCtrl().GetRootItem() != nullptr);

    // The program's drive, given as e:, goes as the shell reports E:\. At
    // the hint the root is gone and the list, told first, is empty; the
    // close comes after.
    struct DriveSpy : HintSpy {
        bool noRoot = false, listCleared = false;
        void OnUpdate(CView* pSender, LPARAM lHint, void* pHint) override {
            HintSpy::OnUpdate(pSender, lHint, pHint);
            noRoot = Tree()->GetTreeCtrl().GetRootItem() == nullptr && Tree()->m_strCurrentPath.IsEmpty();
            listCleared = List()->GetListCtrl().GetItemCount() == 0;
        }
    } spy;
    CDocument* pDoc = Frame()->GetActiveDocument();
    pDoc->AddView(&spy);
    ::SHChangeNotify(SHCNE_DRIVEREMOVED, SHCNF_PATHW | SHCNF_FLUSH, L"E:\\", nullptr);
    PumpUntil([&] { return !spy.hints.empty(); }, 5000);
    if (::IsWindow(hFrame)) pDoc->RemoveView(&spy);
    EXPECT_EQ(spy.hints, (Hints{{HINT_DRIVE_REMOVED, L"e:\\"}}));
    EXPECT_TRUE(spy.noRoot);
    EXPECT_TRUE(spy.listCleared);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hFrame); }, 10000));
    EXPECT_TRUE(theApp.m_pMainWnd == nullptr);
    MSG m;
    EXPECT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
