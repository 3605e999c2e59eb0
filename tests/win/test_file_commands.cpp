// The file list's commands inside this process: the context menu and its
// availability rule, compress and decompress as modal batches that replace
// their source only after success, rename with F2, Enter and Esc, new
// folders, Delete, and the exit that waits for a running batch. The frame is
// the one the program's main run makes; keys are posted through the frame's
// own message handling, and the shell notifications the handlers raise in
// the process bring the changes into the list.
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "archive/UnzipFile.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/ScreenShot.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include "tests/win/HandlerTestSupport.h"
#include "views/DocHints.h"
#include "views/DriveView.h"
#include "views/FileItem.h"
#include "views/FileView.h"
#include <shlobj.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

const DWORD kShowDelayMs = 3000;
const DWORD kBatchMs = 60000;
const CString kRoot = L"E:\\cmd";

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CDriveView* Tree() { return static_cast<CDriveView*>(Frame()->m_wndSplitter.GetPane(0, 0)); }
CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }
CListCtrl& ListCtrl() { return List()->GetListCtrl(); }
CTreeCtrl& TreeCtrl() { return Tree()->GetTreeCtrl(); }

CString Title() {
    CString s;
    Frame()->GetWindowText(s);
    return s;
}

std::vector<CString> ListLabels() {
    std::vector<CString> r;
    for (int i = 0; i < ListCtrl().GetItemCount(); ++i) r.push_back(ListCtrl().GetItemText(i, 0));
    std::sort(r.begin(), r.end());
    return r;
}

bool Listed(LPCWSTR label) {
    auto l = ListLabels();
    return std::find(l.begin(), l.end(), CString(label)) != l.end();
}

int IndexOf(LPCWSTR label) {
    for (int i = 0; i < ListCtrl().GetItemCount(); ++i)
        if (ListCtrl().GetItemText(i, 0) == label) return i;
    return -1;
}

std::vector<CString> SelectedLabels() {
    std::vector<CString> r;
    for (int i = ListCtrl().GetNextItem(-1, LVNI_SELECTED); i >= 0; i = ListCtrl().GetNextItem(i, LVNI_SELECTED))
        r.push_back(ListCtrl().GetItemText(i, 0));
    std::sort(r.begin(), r.end());
    return r;
}

// The tree item of E:\cmd\<part> (E:\cmd itself for ""), expanded on the
// way and itself.
HTREEITEM TreeItem(LPCWSTR part) {
    HTREEITEM h = TreeCtrl().GetRootItem();
    std::vector<LPCWSTR> names = {L"cmd"};
    if (*part) names.push_back(part);
    for (LPCWSTR name : names) {
        TreeCtrl().Expand(h, TVE_EXPAND);
        h = TreeChildNamed(h, name);
        if (!h) return nullptr;
    }
    TreeCtrl().Expand(h, TVE_EXPAND);
    return h;
}

// Selects that folder in the tree and waits until the list shows it.
void ShowInList(LPCWSTR part) {
    HTREEITEM h = TreeItem(part);
    ASSERT_TRUE(h != nullptr) << CString(part).ToUtf8();
    TreeCtrl().SelectItem(h);
    CString want = *part ? kRoot + L"\\" + part : kRoot;
    ASSERT_TRUE(PumpUntil([&] { return Title() == want; }, kShowDelayMs)) << want.ToUtf8();
    // Files the test made since the folder was last shown.
    List()->SendMessage(WM_COMMAND, ID_REFRESH);
}

void SelectOnly(std::initializer_list<LPCWSTR> labels) {
    ListCtrl().SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (LPCWSTR l : labels) {
        int i = IndexOf(l);
        ASSERT_GE(i, 0) << CString(l).ToUtf8();
        ListCtrl().SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

POINT ItemPoint(int i) {
    RECT rc = {};
    rc.left = LVIR_LABEL;
    ListCtrl().SendMessage(LVM_GETITEMRECT, (WPARAM)i, (LPARAM)&rc);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    return pt;
}

POINT EmptyPoint() {
    RECT rc = {};
    ListCtrl().GetClientRect(&rc);
    POINT pt = {rc.right - 5, rc.bottom - 5};
    return pt;
}

HWND EditBox() { return (HWND)ListCtrl().SendMessage(LVM_GETEDITCONTROL); }

void Key(HWND h, UINT vk) {
    ::PostMessageW(h, WM_KEYDOWN, vk, 1);
    ::PostMessageW(h, WM_KEYUP, vk, 0xC0000001);
}

// F2 on the selected item, through the frame's accelerators; the edit box.
HWND RenameWithF2(LPCWSTR label) {
    SelectOnly({label});
    List()->SetFocus();
    Key(List()->m_hWnd, VK_F2);
    PumpUntil([] { return EditBox() != nullptr; }, 3000);
    return EditBox();
}

// Typed text: it marks the edit box as modified, as typing does.
void Type(HWND hEdit, LPCWSTR text) {
    ::SendMessageW(hEdit, EM_SETSEL, 0, -1);
    ::SendMessageW(hEdit, EM_REPLACESEL, TRUE, (LPARAM)text);
}

bool EndEdit(HWND hEdit, UINT vk) {
    Key(hEdit, vk);
    return PumpUntil([&] { return !::IsWindow(hEdit); }, 3000);
}

bool Exists(const CString& p) { return ::GetFileAttributesW(p) != INVALID_FILE_ATTRIBUTES; }

// A view without a window: runs a probe at every hint of the document.
class HintProbe : public CView {
public:
    std::function<void(LPARAM, void*)> probe;
    void OnUpdate(CView*, LPARAM lHint, void* pHint) override {
        if (probe) probe(lHint, pHint);
    }
};

struct ScopedProbe {
    HintProbe view;
    CDocument* pDoc;
    explicit ScopedProbe(std::function<void(LPARAM, void*)> f) : pDoc(Frame()->GetActiveDocument()) {
        view.probe = std::move(f);
        pDoc->AddView(&view);
    }
    ~ScopedProbe() { pDoc->RemoveView(&view); }
};

// The states of the context menu's six items, read when it opens.
struct MenuStates {
    bool compress = false, decompress = false, del = false, rename = false, refresh = false, newFolder = false;
    bool operator==(const MenuStates& o) const {
        return compress == o.compress && decompress == o.decompress && del == o.del && rename == o.rename &&
               refresh == o.refresh && newFolder == o.newFolder;
    }
};

std::ostream& operator<<(std::ostream& os, const MenuStates& m) {
    return os << "compress " << m.compress << " decompress " << m.decompress << " delete " << m.del << " rename "
              << m.rename << " refresh " << m.refresh << " new folder " << m.newFolder;
}

// Right button pressed and released at pt; the menu that opens is read and
// closed with Esc (after a screenshot when one is named).
struct MenuProbe {
    static MenuProbe* s_this;
    HHOOK hook = nullptr;
    bool opened = false;
    MenuStates states;

    static LRESULT CALLBACK Proc(int code, WPARAM w, LPARAM l) {
        auto* cwp = (CWPSTRUCT*)l;
        if (code == HC_ACTION && s_this && cwp->message == WM_INITMENUPOPUP && cwp->hwnd == List()->m_hWnd) {
            HMENU m = (HMENU)cwp->wParam;
            auto on = [m](UINT id) { return !(::GetMenuState(m, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); };
            s_this->opened = true;
            s_this->states = {on(ID_COMPRESS), on(ID_DECOMPRESS), on(ID_DELETE),
                              on(ID_RENAME),   on(ID_REFRESH),    on(ID_NEW_FOLDER)};
        }
        return ::CallNextHookEx(nullptr, code, w, l);
    }

    void Click(POINT pt, const CString& shot = CString()) {
        s_this = this;
        hook = ::SetWindowsHookExW(WH_CALLWNDPROC, &Proc, nullptr, ::GetCurrentThreadId());
        std::thread closer([shot] {
            HWND menu = nullptr;
            for (int i = 0; i < 100 && !menu; ++i) {
                menu = ::FindWindowW(L"#32768", nullptr);
                if (menu && !::IsWindowVisible(menu)) menu = nullptr;
                if (!menu) ::Sleep(20);
            }
            if (!menu) return;
            if (!shot.IsEmpty()) {
                ::Sleep(500);
                SaveScreenShot(shot);
            }
            ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        LPARAM at = MAKELPARAM(pt.x, pt.y);
        RunWithTimeout(20000, "context menu", [&] {
            List()->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, at);
            List()->SendMessage(WM_RBUTTONUP, 0, at);
        });
        closer.join();
        ::UnhookWindowsHookEx(hook);
        s_this = nullptr;
    }
};
MenuProbe* MenuProbe::s_this = nullptr;

// Reads an archive's one entry back.
std::string ArchiveContent(const CString& path) {
    std::string out;
    CUnzipFile unzip(path);
    unzip.OpenEntry();
    char buf[65536];
    for (UINT n; (n = unzip.ReadEntryData(sizeof buf, buf)) != 0;) out.append(buf, n);
    unzip.CloseEntry();
    unzip.Close();
    return out;
}

void WaitForBatches() {
    ASSERT_TRUE(PumpUntil([] { return Frame()->m_arrBatches.empty(); }, kBatchMs));
}

class FileCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DeleteFolderTree(kRoot);
        for (LPCWSTR d : {L"", L"\\menu", L"\\menu\\Photos", L"\\work", L"\\v1.2", L"\\ren", L"\\ren\\dirA", L"\\ren\\dirA\\sub",
                          L"\\nf", L"\\nf\\existing", L"\\del", L"\\exit", L"\\clash", L"\\late", L"\\inway",
                          L"\\enter", L"\\enter\\aa", L"\\enter\\bb"})
            ::CreateDirectoryW(kRoot + d, nullptr);
        for (LPCWSTR f : {L"a.txt", L"b.doc", L"x.KVF", L"y.kvf", L"a.bkvf"}) WriteAll(kRoot + L"\\menu\\" + f, "m");
        WriteAll(kRoot + L"\\ren\\dirA\\sub\\inside.txt", "s");
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        // Details: one row per item, empty space below the rows.
        Frame()->SendMessage(WM_COMMAND, ID_VIEW_DETAILS);
    }
    static void TearDownTestSuite() { DeleteFolderTree(kRoot); }
};
}  // namespace

TEST(NameKindTest, LabelsByTheirLastExtension) {
    struct Case {
        LPCWSTR name;
        NameKind kind;
    } cases[] = {
        {L"a.kvf", NAME_KIND_ARCHIVE}, {L"NOTES.TXT.KVF", NAME_KIND_ARCHIVE}, {L"x.Kvf", NAME_KIND_ARCHIVE},
        {L"a.bkvf", NAME_KIND_OTHER},  {L"a.txt", NAME_KIND_OTHER},           {L"v1.2", NAME_KIND_OTHER},
        {L"kvf.", NAME_KIND_OTHER},    {L".kvf", NAME_KIND_NONE},             {L"kvf", NAME_KIND_NONE},
        {L"Photos", NAME_KIND_NONE},   {L"", NAME_KIND_NONE},
    };
    for (const Case& c : cases) EXPECT_EQ(GetNameKind(c.name), c.kind) << CString(c.name).ToUtf8();
}

TEST(TaskDoneTest, OnlyASucceededTaskGivesItsSourceAway) {
    TempDir dir;
    // The source, the task's target (null: the source's own path) and the
    // file that stands for what the task wrote (null: nothing).
    struct Case {
        const char* what;
        int result, type;
        bool folder;
        LPCWSTR src, dst, written;
        bool gone;
    } cases[] = {
        {"compressed file", TASK_OK, TASK_COMPRESS, false, L"a.txt", nullptr, L"a.txt.kvf", true},
        {"decompressed archive", TASK_OK, TASK_DECOMPRESS, false, L"b.txt.kvf", L"b.txt", L"b.txt", true},
        {"decompressed folder of archives", TASK_OK, TASK_DECOMPRESS, true, L"c.kvf", L"c", nullptr, true},
        {"folder compressed in place", TASK_OK, TASK_COMPRESS, true, L"d.txt", nullptr, nullptr, false},
        {"archive compressed: copied onto itself", TASK_OK, TASK_COMPRESS, false, L"e.kvf", nullptr, nullptr, false},
        {"file decompressed onto itself", TASK_OK, TASK_DECOMPRESS, false, L"f.txt", nullptr, nullptr, false},
        {"nothing before .kvf: target is the folder", TASK_OK, TASK_DECOMPRESS, false, L".kvf", L"", nullptr, false},
        {"archive not there after all", TASK_OK, TASK_COMPRESS, false, L"g.txt", nullptr, nullptr, false},
        {"failed or incomplete archive", TASK_ERROR, TASK_COMPRESS, false, L"h.txt", nullptr, L"h.txt.kvf", false},
        {"cancelled", TASK_CANCELLED, TASK_COMPRESS, false, L"i.txt", nullptr, L"i.txt.kvf", false},
        {"skipped", TASK_SKIPPED, TASK_DECOMPRESS, false, L"j.txt.kvf", L"j.txt", L"j.txt", false},
        {"copied", TASK_OK, TASK_COPY, false, L"k.txt", L"k2.txt", L"k2.txt", false},
    };
    for (const Case& c : cases) {
        CString src = dir.File(c.src);
        if (c.folder) {
            ::CreateDirectoryW(src, nullptr);
            WriteAll(src + L"\\inner.txt.kvf", "i");
        } else {
            WriteAll(src, "s");
        }
        if (c.written) WriteAll(dir.File(c.written), "w");
        CString dst = c.dst ? dir.File(c.dst) : src;
        CFileTask task(src, dst, c.type, nullptr, nullptr);
        // A folder's walk records what it took along.
        if (c.folder) {
            WIN32_FILE_ATTRIBUTE_DATA d;
            ASSERT_TRUE(::GetFileAttributesExW(src + L"\\inner.txt.kvf", GetFileExInfoStandard, &d));
            task.m_finished.push_back({src + L"\\inner.txt.kvf", FALSE, d.ftLastWriteTime, 1});
            task.m_finished.push_back({src, TRUE, FILETIME{}, 0});
        }
        CFileView::OnTaskDone(c.result, &task);
        EXPECT_EQ(!Exists(src), c.gone) << c.what;
    }
    // A compressed or decompressed file goes whatever its attributes.
    struct Marked {
        const char* what;
        int type;
        LPCWSTR src, written;
        DWORD attrs;
    } marked[] = {
        {"read-only file compressed", TASK_COMPRESS, L"m.txt", L"m.txt.kvf", FILE_ATTRIBUTE_READONLY},
        {"hidden system file compressed", TASK_COMPRESS, L"n.txt", L"n.txt.kvf",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"read-only archive decompressed", TASK_DECOMPRESS, L"o.txt.kvf", L"o.txt", FILE_ATTRIBUTE_READONLY},
    };
    for (const Marked& c : marked) {
        CString src = dir.File(c.src);
        WriteAll(src, "s");
        WriteAll(dir.File(c.written), "w");
        ASSERT_TRUE(::SetFileAttributesW(src, c.attrs));
        CFileTask task(src, c.type == TASK_COMPRESS ? src : dir.File(c.written), c.type, nullptr, nullptr);
        CFileView::OnTaskDone(TASK_OK, &task);
        EXPECT_FALSE(Exists(src)) << c.what;
        EXPECT_TRUE(Exists(dir.File(c.written))) << c.what;
    }
}

// A finished folder gives away what its walk took along and nothing else:
// a file that came into it meanwhile stays, so does one saved anew since
// the walk read it, and so do the folders that hold them; a folder left
// empty goes, read-only files too.
TEST(TaskDoneTest, AFolderGivesAwayOnlyWhatItsWalkTookAlong) {
    TempDir dir;
    const CString src = dir.File(L"F.kvf");
    for (LPCWSTR d : {L"", L"\\done", L"\\held", L"\\held\\deep"}) ::CreateDirectoryW(src + d, nullptr);
    CFileTask task(src, dir.File(L"F"), TASK_DECOMPRESS, nullptr, nullptr);
    auto took = [&](LPCWSTR rel, DWORD attrs) {
        CString path = src + rel;
        WriteAll(path, "taken");
        WIN32_FILE_ATTRIBUTE_DATA d;
        ASSERT_TRUE(::GetFileAttributesExW(path, GetFileExInfoStandard, &d));
        task.m_finished.push_back({path, FALSE, d.ftLastWriteTime, 5});
        if (attrs) ::SetFileAttributesW(path, attrs);
    };
    took(L"\\a.kvf", 0);
    took(L"\\done\\b.kvf", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    task.m_finished.push_back({src + L"\\done", TRUE, FILETIME{}, 0});
    took(L"\\held\\deep\\c.kvf", 0);
    task.m_finished.push_back({src + L"\\held\\deep", TRUE, FILETIME{}, 0});
    took(L"\\resaved.txt", 0);
    task.m_finished.push_back({src + L"\\held", TRUE, FILETIME{}, 0});
    task.m_finished.push_back({src, TRUE, FILETIME{}, 0});
    // Saved meanwhile: a new file deep down, and the old one anew.
    WriteAll(src + L"\\held\\deep\\new.txt", "new");
    WriteAll(src + L"\\resaved.txt", "saved anew");

    CFileView::OnTaskDone(TASK_OK, &task);
    std::vector<CString> left;
    ht::ListTree(src, L"", left);
    std::sort(left.begin(), left.end());
    std::vector<std::string> got;
    for (const CString& p : left) got.push_back(p.ToUtf8());
    EXPECT_EQ(got, (std::vector<std::string>{"\\held", "\\held\\deep", "\\held\\deep\\new.txt", "\\resaved.txt"}));
    EXPECT_EQ(ReadAll(src + L"\\resaved.txt"), "saved anew");
    EXPECT_EQ(ReadAll(src + L"\\held\\deep\\new.txt"), "new");
}

// The drive's password file checks every archive's password: compressed
// from the list, it stays beside its archive, by any spelling of its path
// and inside a finished folder too. A file of its name elsewhere goes.
TEST(TaskDoneTest, TheDrivesPasswordFileIsNeverGivenAway) {
    const CString savedDrive = theApp.m_strDrivePath;
    theApp.m_strDrivePath = L"E:";
    ::CreateDirectoryW(L"E:\\KIV", nullptr);
    const CString pwd = L"E:\\KIV\\KIV.pwd";
    const bool hadPwd = Exists(pwd);
    const std::string before = hadPwd ? ReadAll(pwd) : std::string();
    struct Restore {
        CString pwd;
        bool had;
        std::string bytes;
        CString drive;
        ~Restore() {
            ::DeleteFileW(pwd + L".kvf");
            if (had) WriteAll(pwd, bytes);
            else ::DeleteFileW(pwd);
            ::RemoveDirectoryW(L"E:\\KIV");  // only when empty
            theApp.m_strDrivePath = drive;
        }
    } restore{pwd, hadPwd, before, savedDrive};
    if (!hadPwd) WriteAll(pwd, "b2xkcHcx\n");
    const std::string history = ReadAll(pwd);

    for (LPCWSTR spelling : {L"E:\\KIV\\KIV.pwd", L"e:\\kiv\\kiv.PWD", L"E:\\KIV\\.\\KIV.pwd"}) {
        SCOPED_TRACE(CString(spelling).ToUtf8());
        WriteAll(pwd + L".kvf", "w");
        CFileTask task(spelling, spelling, TASK_COMPRESS, nullptr, nullptr);
        CFileView::OnTaskDone(TASK_OK, &task);
        EXPECT_TRUE(Exists(pwd) && ReadAll(pwd) == history);
    }

    // A finished walk of the password folder (a folder decompressed
    // elsewhere gives its source away): the rest of it goes.
    WriteAll(L"E:\\KIV\\other.txt", "taken");
    CFileTask walk(L"E:\\KIV", L"E:\\KIV2", TASK_DECOMPRESS, nullptr, nullptr);
    for (const CString& path : {pwd, CString(L"E:\\KIV\\other.txt")}) {
        WIN32_FILE_ATTRIBUTE_DATA d;
        ASSERT_TRUE(::GetFileAttributesExW(path, GetFileExInfoStandard, &d));
        walk.m_finished.push_back({path, FALSE, d.ftLastWriteTime, ((ULONGLONG)d.nFileSizeHigh << 32) | d.nFileSizeLow});
    }
    walk.m_finished.push_back({L"E:\\KIV", TRUE, FILETIME{}, 0});
    CFileView::OnTaskDone(TASK_OK, &walk);
    EXPECT_TRUE(Exists(pwd) && ReadAll(pwd) == history);
    EXPECT_FALSE(Exists(L"E:\\KIV\\other.txt"));

    // Elsewhere a file of that name is just a file.
    TempDir dir;
    const CString elsewhere = dir.File(L"KIV.pwd");
    WriteAll(elsewhere, "s");
    WriteAll(elsewhere + L".kvf", "w");
    CFileTask task(elsewhere, elsewhere, TASK_COMPRESS, nullptr, nullptr);
    CFileView::OnTaskDone(TASK_OK, &task);
    EXPECT_FALSE(Exists(elsewhere));
}

TEST_F(FileCommandsTest, ContextMenuOffersWhatTheSelectionAllows) {
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"menu"));
    //                                  compress decompress delete rename refresh newfolder
    const MenuStates kOnItem = {false, false, true, true, false, false};
    struct Case {
        const char* what;
        std::vector<LPCWSTR> selected;
        LPCWSTR clicked;  // null: empty space
        MenuStates want;
        std::vector<CString> after;  // the selection once the menu is open
    } cases[] = {
        {"one file", {}, L"a.txt", {true, false, true, true, false, false}, {L"a.txt"}},
        {"two files", {L"a.txt", L"b.doc"}, L"b.doc", {true, false, true, true, false, false}, {L"a.txt", L"b.doc"}},
        {"two archives", {L"x.KVF", L"y.kvf"}, L"x.KVF", {false, true, true, true, false, false}, {L"x.KVF", L"y.kvf"}},
        {"file and archive", {L"a.txt", L"y.kvf"}, L"a.txt", kOnItem, {L"a.txt", L"y.kvf"}},
        {"bkvf is no archive", {L"a.bkvf", L"b.doc"}, L"a.bkvf", {true, false, true, true, false, false},
         {L"a.bkvf", L"b.doc"}},
        {"folder without extension", {}, L"Photos", kOnItem, {L"Photos"}},
        {"unselected item among a selection", {L"a.txt", L"b.doc"}, L"y.kvf", {false, true, true, true, false, false},
         {L"y.kvf"}},
        {"empty space", {L"a.txt", L"b.doc"}, nullptr, {false, false, false, false, true, true}, {}},
    };
    for (const Case& c : cases) {
        ListCtrl().SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (LPCWSTR s : c.selected) ListCtrl().SetItemState(IndexOf(s), LVIS_SELECTED, LVIS_SELECTED);
        MenuProbe probe;
        probe.Click(c.clicked ? ItemPoint(IndexOf(c.clicked)) : EmptyPoint());
        ASSERT_TRUE(probe.opened) << c.what;
        EXPECT_EQ(probe.states, c.want) << c.what;
        EXPECT_EQ(SelectedLabels(), c.after) << c.what;
        if (c.clicked) {
            EXPECT_TRUE(ListCtrl().GetItemState(IndexOf(c.clicked), LVIS_FOCUSED) & LVIS_FOCUSED) << c.what;
        }
    }
    // A label of 255 characters is read whole: cut short, an archive's name
    // would end in "kv" and offer Compress. Only the label is long here
    // (the drive's path would pass 260 characters with such a file).
    {
        int i = IndexOf(L"y.kvf");
        CString longName = CString(L'n', 251) + L".kvf";
        ListCtrl().SetItemText(i, 0, longName);
        ASSERT_EQ(ListCtrl().GetItemText(i, 0), longName);
        ListCtrl().SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        MenuProbe probe;
        probe.Click(ItemPoint(i));
        ASSERT_TRUE(probe.opened);
        EXPECT_EQ(probe.states, MenuStates({false, true, true, true, false, false}));
        ListCtrl().SetItemText(i, 0, L"y.kvf");
    }
    // The menu as the user sees it.
    SelectOnly({L"a.txt"});
    MenuProbe probe;
    probe.Click(ItemPoint(IndexOf(L"a.txt")), L"file-list-context-menu");
    EXPECT_TRUE(probe.opened);
    EXPECT_TRUE(Exists(L"screenshots\\file-list-context-menu.bmp"));
}

TEST_F(FileCommandsTest, CompressReplacesTheSourceOnlyAfterItsArchiveIsComplete) {
    const CString src = kRoot + L"\\work\\data.txt", arc = src + L".kvf";
    const std::string data = MakeText(3 * 1024 * 1024 + 4321, 7);
    WriteAll(src, data);
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"work"));
    ASSERT_TRUE(Listed(L"data.txt"));

    // What the list is told, and what the disk holds at that moment.
    struct Seen {
        LPARAM hint;
        CString payload;
        bool sourceThere, archiveThere;
    };
    std::vector<Seen> seen;
    ScopedProbe probe([&](LPARAM h, void* p) {
        if (h == HINT_ITEM_CREATED || h == HINT_ITEM_DELETED)
            seen.push_back({h, *(const CString*)p, Exists(src), Exists(arc)});
    });
    // The archive is flushed to the drive, and moved in written through,
    // while the source is still there.
    static std::vector<std::pair<std::string, bool>> s_steps;
    static CString s_src;
    s_steps.clear();
    s_src = src;
    SetDriveWriteProbe([](LPCWSTR pszStep, const CString&, DWORD dwFlags) -> BOOL {
        s_steps.push_back({std::string(CString(pszStep).ToUtf8()) + std::string(dwFlags & MOVEFILE_WRITE_THROUGH ? " through" : ""),
                           Exists(s_src)});
        return TRUE;
    });
    ht::Answers a;
    a.Finish();
    SelectOnly({L"data.txt"});
    RunWithTimeout(kBatchMs, "compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    WaitForBatches();
    SetDriveWriteProbe(nullptr);
    ASSERT_TRUE(PumpUntil([] { return Listed(L"data.txt.kvf") && !Listed(L"data.txt"); }, 5000));
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(s_steps, (std::vector<std::pair<std::string, bool>>{{"flushed", true}, {"move through", true}}));

    EXPECT_FALSE(Exists(src));
    EXPECT_EQ(ArchiveContent(arc), data);
    // The archive was announced while the source still existed; the source
    // went afterwards.
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].hint, HINT_ITEM_CREATED);
    EXPECT_TRUE(seen[0].payload.CompareNoCase(arc) == 0) << seen[0].payload.ToUtf8();
    EXPECT_TRUE(seen[0].sourceThere);
    EXPECT_EQ(seen[1].hint, HINT_ITEM_DELETED);
    EXPECT_TRUE(seen[1].payload == L"data.txt");
    EXPECT_TRUE(seen[1].archiveThere);
}

TEST_F(FileCommandsTest, CancelledCompressKeepsTheSource) {
    const CString src = kRoot + L"\\work\\big.bin";
    const std::string data = MakeRandom(6 * 1024 * 1024, 3);
    WriteAll(src, data);
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"work"));
    ht::Answers a;
    a.answerer.Answer(L"Compressing...", nullptr, IDCANCEL, 1);
    a.Finish();
    SelectOnly({L"big.bin"});
    RunWithTimeout(kBatchMs, "cancelled compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    WaitForBatches();
    PumpFor(300);
    EXPECT_EQ(ReadAll(src), data);
    EXPECT_FALSE(Exists(src + L".kvf"));
    EXPECT_EQ(ht::CountTemps(kRoot + L"\\work"), 0);
    EXPECT_TRUE(Listed(L"big.bin"));
    EXPECT_FALSE(Listed(L"big.bin.kvf"));
}

TEST_F(FileCommandsTest, CompressedFolderKeepsItsOriginalsAndArchives) {
    WriteAll(kRoot + L"\\v1.2\\a.txt", "alpha");
    WriteAll(kRoot + L"\\v1.2\\b.txt", "beta");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L""));
    ht::Answers a;
    // The folder is its own target: merging into it is asked first.
    a.answerer.Answer(ht::kFolderReplace, nullptr, IDOK, 1);
    a.Finish();
    SelectOnly({L"v1.2"});
    RunWithTimeout(kBatchMs, "folder compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    WaitForBatches();
    PumpFor(300);
    auto boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].caption == ht::kFolderReplace);
    EXPECT_EQ(ReadAll(kRoot + L"\\v1.2\\a.txt"), "alpha");
    EXPECT_EQ(ReadAll(kRoot + L"\\v1.2\\b.txt"), "beta");
    EXPECT_EQ(ArchiveContent(kRoot + L"\\v1.2\\a.txt.kvf"), "alpha");
    EXPECT_EQ(ArchiveContent(kRoot + L"\\v1.2\\b.txt.kvf"), "beta");
    EXPECT_TRUE(Listed(L"v1.2"));
}

TEST_F(FileCommandsTest, CompressOfAnArchiveKeepsTheArchive) {
    // Whatever the menu offered: the archive is "compressed" by a copy onto
    // itself, which succeeds and writes nothing new.
    const CString arc = kRoot + L"\\work\\kept.kvf";
    WriteAll(arc, "archive bytes");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"work"));
    ht::Answers a;
    a.Finish();
    SelectOnly({L"kept.kvf"});
    RunWithTimeout(kBatchMs, "archive compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    WaitForBatches();
    PumpFor(300);
    EXPECT_EQ(ReadAll(arc), "archive bytes");
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_TRUE(Listed(L"kept.kvf"));
    DeleteFileW(arc);
}

TEST_F(FileCommandsTest, DecompressRestoresTheFileAndRefusesAForeignArchive) {
    const CString file = kRoot + L"\\work\\notes.txt", arc = file + L".kvf";
    ht::PutFile(file, MakeText(700000, 5), 0, 9);
    ht::Facts before = ht::FactsOf(file);
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"work"));
    ht::Answers a;
    a.Finish();
    SelectOnly({L"notes.txt"});
    RunWithTimeout(kBatchMs, "compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    WaitForBatches();
    ASSERT_TRUE(PumpUntil([] { return Listed(L"notes.txt.kvf"); }, 5000));
    ASSERT_TRUE(Exists(arc));

    SelectOnly({L"notes.txt.kvf"});
    RunWithTimeout(kBatchMs, "decompress", [] { List()->SendMessage(WM_COMMAND, ID_DECOMPRESS); });
    WaitForBatches();
    ASSERT_TRUE(PumpUntil([] { return Listed(L"notes.txt") && !Listed(L"notes.txt.kvf"); }, 5000));
    ht::Facts after = ht::FactsOf(file);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.mtime, before.mtime);
    EXPECT_FALSE(Exists(arc));
    EXPECT_TRUE(a.Boxes().empty());

    // Written under a password this drive never had: refused, and kept.
    const CString foreign = kRoot + L"\\work\\foreign.txt.kvf";
    ht::WriteArchive(foreign, "not ours", "stranger9");
    List()->SendMessage(WM_COMMAND, ID_REFRESH);
    SelectOnly({L"foreign.txt.kvf"});
    RunWithTimeout(kBatchMs, "foreign", [] { List()->SendMessage(WM_COMMAND, ID_DECOMPRESS); });
    WaitForBatches();
    PumpFor(300);
    auto boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].HasText(L"Invalid password.")) << boxes[0].AllText().ToUtf8();
    EXPECT_TRUE(Exists(foreign));
    EXPECT_FALSE(Exists(kRoot + L"\\work\\foreign.txt"));
    EXPECT_TRUE(Listed(L"foreign.txt.kvf"));
}

TEST_F(FileCommandsTest, DecompressOfAnArchivedArchiveTakesOffOneKvf) {
    // a.kvf.kvf holds a file that was named a.kvf; an unrelated a is beside it.
    const CString dir = kRoot + L"\\work";
    ht::WriteArchive(dir + L"\\a.kvf.kvf", "the archived a.kvf", "abc123");
    WriteAll(dir + L"\\a", "unrelated");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"work"));
    ht::Answers a;
    a.Finish();
    SelectOnly({L"a.kvf.kvf"});
    RunWithTimeout(kBatchMs, "decompress", [] { List()->SendMessage(WM_COMMAND, ID_DECOMPRESS); });
    WaitForBatches();
    ASSERT_TRUE(PumpUntil([] { return Listed(L"a.kvf") && !Listed(L"a.kvf.kvf"); }, 5000));
    EXPECT_EQ(ReadAll(dir + L"\\a.kvf"), "the archived a.kvf");
    EXPECT_EQ(ReadAll(dir + L"\\a"), "unrelated");
    EXPECT_FALSE(Exists(dir + L"\\a.kvf.kvf"));
    EXPECT_TRUE(a.Boxes().empty());
    DeleteFileW(dir + L"\\a.kvf");
    DeleteFileW(dir + L"\\a");
}

// A folder D.kvf holding a plain a and an archive a.kvf of another text:
// its decompress used to copy a to D\a, ask about "replacing" that copy
// (or replace it silently after an earlier Yes to All), restore the
// archive over it, and then delete D.kvf: the plain a was gone. Now
// nothing is asked and nothing written: one box names both entries, and
// D.kvf stays as it was.
TEST_F(FileCommandsTest, DecompressOfAFolderNeverReplacesWhatItWrote) {
    const CString dir = kRoot + L"\\clash", src = dir + L"\\D.kvf", plain = src + L"\\a";
    const char* kPlain = "PLAIN-A only copy";
    // Yes, Yes to All, and an earlier Yes to All (in the task of C.kvf,
    // decompressed first, onto a C\x that is there).
    for (int answer : {IDOK, IDYESTOALL, 0}) {
        SCOPED_TRACE(answer);
        for (LPCWSTR left : {L"\\D.kvf", L"\\D", L"\\C.kvf", L"\\C"}) DeleteFolderTree(dir + left);
        ::CreateDirectoryW(src, nullptr);
        WriteAll(plain, kPlain);
        ht::WriteArchive(src + L"\\a.kvf", "ARCHIVED other text", "abc123");
        if (answer == 0) {
            ::CreateDirectoryW(dir + L"\\C.kvf", nullptr);
            ::CreateDirectoryW(dir + L"\\C", nullptr);
            ht::WriteArchive(dir + L"\\C.kvf\\x.kvf", "x", "abc123");
            WriteAll(dir + L"\\C\\x", "old x");
        }
        ASSERT_NO_FATAL_FAILURE(ShowInList(L"clash"));
        ht::Answers a;
        a.answerer.Answer(ht::kFileReplace, nullptr, answer ? answer : IDYESTOALL);
        a.answerer.Answer(ht::kFolderReplace, nullptr, IDOK);
        a.Finish();
        if (answer == 0) SelectOnly({L"C.kvf", L"D.kvf"});
        else SelectOnly({L"D.kvf"});
        RunWithTimeout(kBatchMs, "decompress", [] { List()->SendMessage(WM_COMMAND, ID_DECOMPRESS); });
        WaitForBatches();
        PumpFor(300);

        auto boxes = a.Boxes();
        // The earlier task's two questions come first.
        if (answer == 0) {
            EXPECT_EQ(boxes.size(), 3u);
            if (boxes.size() != 3) continue;
            EXPECT_TRUE(boxes[1].caption == ht::kFileReplace);
            EXPECT_TRUE(boxes[1].HasText(L"'x'")) << boxes[1].AllText().ToUtf8();
            boxes.erase(boxes.begin(), boxes.begin() + 2);
            EXPECT_EQ(ReadAll(dir + L"\\C\\x"), "x");
            EXPECT_FALSE(Exists(dir + L"\\C.kvf"));
        }
        EXPECT_EQ(boxes.size(), 1u);
        if (boxes.size() != 1) continue;
        EXPECT_EQ(boxes[0].caption.ToUtf8(), "Error Decompressing File or Folder");
        CString text = boxes[0].AllText();
        EXPECT_TRUE(text.Find(L"Cannot decompress " + plain + L" :It and " + plain + L".kvf") == 0 ||
                    text.Find(L"Cannot decompress " + plain + L".kvf :It and " + plain + L" ") == 0)
            << text.ToUtf8();
        EXPECT_TRUE(text.Find(L"would both be written to " + dir + L"\\D\\a.") > 0) << text.ToUtf8();
        // The plain a byte for byte, the archive, the folder: all kept.
        EXPECT_EQ(ReadAll(plain), kPlain);
        EXPECT_EQ(ArchiveContent(src + L"\\a.kvf"), "ARCHIVED other text");
        EXPECT_TRUE(Listed(L"D.kvf"));
        EXPECT_FALSE(Exists(dir + L"\\D\\a"));
    }
    for (LPCWSTR left : {L"\\D.kvf", L"\\D", L"\\C.kvf", L"\\C"}) DeleteFolderTree(dir + left);
}

namespace {
// Runs the task, then saves files into its source folder as another
// program would while the task's source is still there: a new one, one in
// a new sub-folder, and the plain file the task copied, anew.
int RunThenSaveIntoTheSource(CFileTask& task) {
    int nResult = task.Execute();
    WriteAll(task.m_strSrc + L"\\late.txt", "saved meanwhile");
    ::CreateDirectoryW(task.m_strSrc + L"\\sub\\later", nullptr);
    WriteAll(task.m_strSrc + L"\\sub\\later\\deep.txt", "saved meanwhile, deeper");
    WriteAll(task.m_strSrc + L"\\b.txt", "b saved anew");
    return nResult;
}
}  // namespace

// A file that another program saves into a folder while its decompress
// runs was deleted with the folder without ever being restored. The
// folder now gives away only what the task restored or copied, and the
// folders that this leaves empty.
TEST_F(FileCommandsTest, AFolderDecompressKeepsWhatWasSavedIntoItMeanwhile) {
    const CString dir = kRoot + L"\\late", src = dir + L"\\E.kvf", dst = dir + L"\\E";
    ::CreateDirectoryW(src, nullptr);
    ::CreateDirectoryW(src + L"\\sub", nullptr);
    ::CreateDirectoryW(src + L"\\gone", nullptr);
    ht::WriteArchive(src + L"\\a.kvf", "restored a", "abc123");
    WriteAll(src + L"\\b.txt", "plain b");
    ht::WriteArchive(src + L"\\sub\\c.kvf", "restored c", "abc123");
    ht::WriteArchive(src + L"\\gone\\d.kvf", "restored d", "abc123");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"late"));
    ht::Answers a;
    a.Finish();
    SelectOnly({L"E.kvf"});
    CFileTaskThread::s_pfnRunTask = &RunThenSaveIntoTheSource;
    RunWithTimeout(kBatchMs, "decompress", [] { List()->SendMessage(WM_COMMAND, ID_DECOMPRESS); });
    WaitForBatches();
    CFileTaskThread::s_pfnRunTask = nullptr;
    PumpFor(300);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(ReadAll(dst + L"\\a"), "restored a");
    EXPECT_EQ(ReadAll(dst + L"\\b.txt"), "plain b");
    EXPECT_EQ(ReadAll(dst + L"\\sub\\c"), "restored c");
    EXPECT_EQ(ReadAll(dst + L"\\gone\\d"), "restored d");
    std::vector<CString> left;
    ht::ListTree(src, L"", left);
    std::sort(left.begin(), left.end());
    std::vector<std::string> got;
    for (const CString& p : left) got.push_back(p.ToUtf8());
    EXPECT_EQ(got, (std::vector<std::string>{"\\b.txt", "\\late.txt", "\\sub", "\\sub\\later",
                                             "\\sub\\later\\deep.txt"}));
    EXPECT_EQ(ReadAll(src + L"\\late.txt"), "saved meanwhile");
    EXPECT_EQ(ReadAll(src + L"\\b.txt"), "b saved anew");
    EXPECT_TRUE(Listed(L"E.kvf"));
    EXPECT_TRUE(Listed(L"E"));
    DeleteFolderTree(src);
    DeleteFolderTree(dst);
}

// Beside a folder of the target's name, the list's decompress and compress
// used to ask about replacing a file and then call it in use; a folder
// decompressed beside a file of its target's name asked about merging.
// Now nothing is asked: one box names what is in the way, nothing changes.
TEST_F(FileCommandsTest, AFolderOrFileInTheWayIsSaidNotAskedAbout) {
    const CString dir = kRoot + L"\\inway";
    ht::WriteArchive(dir + L"\\q.txt.kvf", "q", "abc123");
    ::CreateDirectoryW(dir + L"\\q.txt", nullptr);
    WriteAll(dir + L"\\q.txt\\inner.txt", "in q");
    WriteAll(dir + L"\\w.txt", "w");
    ::CreateDirectoryW(dir + L"\\w.txt.kvf", nullptr);
    WriteAll(dir + L"\\w.txt.kvf\\inner.txt", "in w");
    ::CreateDirectoryW(dir + L"\\M.kvf", nullptr);
    ht::WriteArchive(dir + L"\\M.kvf\\m.kvf", "m", "abc123");
    WriteAll(dir + L"\\M", "a file named M");
    struct Row {
        const char* what;
        LPCWSTR item;
        UINT command;
        const char* caption;
        CString text;
    } rows[] = {
        {"decompress beside a folder", L"q.txt.kvf", ID_DECOMPRESS, "Error Decompressing File or Folder",
         L"Cannot decompress " + dir + L"\\q.txt :A folder of that name is in the way"},
        {"compress beside a folder", L"w.txt", ID_COMPRESS, "Error Compressing File or Folder",
         L"Cannot compress " + dir + L"\\w.txt.kvf :A folder of that name is in the way"},
        {"folder decompressed beside a file", L"M.kvf", ID_DECOMPRESS, "Error Decompressing File or Folder",
         L"Cannot decompress " + dir + L"\\M :A file of that name is in the way"},
    };
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"inway"));
    std::vector<CString> before;
    ht::ListTree(dir, L"", before);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ht::Answers a;
        a.answerer.Answer(ht::kFileReplace, nullptr, IDOK);
        a.answerer.Answer(ht::kFolderReplace, nullptr, IDOK);
        a.Finish();
        SelectOnly({row.item});
        UINT command = row.command;
        RunWithTimeout(kBatchMs, row.what, [command] { List()->SendMessage(WM_COMMAND, command); });
        WaitForBatches();
        PumpFor(300);
        auto boxes = a.Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        if (boxes.size() != 1) continue;
        EXPECT_EQ(boxes[0].caption.ToUtf8(), row.caption);
        EXPECT_TRUE(boxes[0].HasText(row.text)) << boxes[0].AllText().ToUtf8();
        std::vector<CString> after;
        ht::ListTree(dir, L"", after);
        EXPECT_TRUE(after == before);
        EXPECT_TRUE(Listed(row.item));
    }
    EXPECT_EQ(ReadAll(dir + L"\\q.txt\\inner.txt"), "in q");
    EXPECT_EQ(ReadAll(dir + L"\\w.txt.kvf\\inner.txt"), "in w");
    EXPECT_EQ(ReadAll(dir + L"\\M"), "a file named M");
    EXPECT_EQ(ReadAll(dir + L"\\w.txt"), "w");
}

TEST_F(FileCommandsTest, RenameWithF2EnterAndEsc) {
    WriteAll(kRoot + L"\\ren\\old.txt", "old");
    WriteAll(kRoot + L"\\ren\\one.txt", "one");
    WriteAll(kRoot + L"\\ren\\two.txt", "two");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"ren"));
    ht::Answers a;
    a.Finish();

    // F2, a new name, Enter: renamed on disk, label and record follow.
    HWND hEdit = RenameWithF2(L"old.txt");
    ASSERT_TRUE(hEdit);
    Type(hEdit, L"new.txt");
    ASSERT_TRUE(EndEdit(hEdit, VK_RETURN));
    EXPECT_EQ(ReadAll(kRoot + L"\\ren\\new.txt"), "old");
    EXPECT_FALSE(Exists(kRoot + L"\\ren\\old.txt"));
    int i = IndexOf(L"new.txt");
    ASSERT_GE(i, 0);
    EXPECT_TRUE(List()->GetItemRecord(i)->GetPath().CompareNoCase(kRoot + L"\\ren\\new.txt") == 0);

    // Typing, a Delete key inside the edit, then Esc: nothing renamed or deleted.
    hEdit = RenameWithF2(L"new.txt");
    ASSERT_TRUE(hEdit);
    Type(hEdit, L"other.txt");
    Key(hEdit, VK_DELETE);
    ASSERT_TRUE(EndEdit(hEdit, VK_ESCAPE));
    PumpFor(300);
    EXPECT_TRUE(Exists(kRoot + L"\\ren\\new.txt"));
    EXPECT_FALSE(Exists(kRoot + L"\\ren\\other.txt"));
    EXPECT_TRUE(Listed(L"new.txt"));
    EXPECT_TRUE(Frame()->m_arrBatches.empty());

    // A refused name: the message, and the edit open again on the same item.
    const CString kBadChars = L"A file name cannot contain any of the following characters:\n \\ / : * ? \" < > | \".";
    a.answerer.ClearSeen();
    hEdit = RenameWithF2(L"new.txt");
    ASSERT_TRUE(hEdit);
    Type(hEdit, L"a?b.txt");
    Key(hEdit, VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return a.answerer.SeenCount() >= 1; }, 5000));
    PumpFor(500);
    ASSERT_TRUE(PumpUntil([] { return EditBox() != nullptr; }, 5000));
    auto boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].caption == L"Rename");
    EXPECT_TRUE(boxes[0].AllText() == kBadChars) << boxes[0].AllText().ToUtf8();
    EXPECT_TRUE(ListCtrl().GetItemText(IndexOf(L"new.txt"), 0) == L"new.txt");
    ASSERT_TRUE(EndEdit(EditBox(), VK_ESCAPE));

    // An emptied edit: Wine's control hands over no text at all then, as
    // for Esc, so the notification comes as the system's control sends it.
    a.answerer.ClearSeen();
    NMLVDISPINFOW di = {};
    di.hdr.hwndFrom = ListCtrl().m_hWnd;
    di.hdr.idFrom = (UINT_PTR)::GetDlgCtrlID(ListCtrl().m_hWnd);
    di.hdr.code = LVN_ENDLABELEDITW;
    di.item.iItem = IndexOf(L"new.txt");
    di.item.pszText = (LPWSTR)L"";
    RunWithTimeout(20000, "empty name", [&] {
        ::SendMessageW(::GetParent(ListCtrl().m_hWnd), WM_NOTIFY, di.hdr.idFrom, (LPARAM)&di);
    });
    ASSERT_TRUE(PumpUntil([] { return EditBox() != nullptr; }, 5000));
    boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].caption == L"Rename");
    EXPECT_TRUE(boxes[0].AllText() == L"You have to input file name.") << boxes[0].AllText().ToUtf8();
    ASSERT_TRUE(EndEdit(EditBox(), VK_ESCAPE));
    EXPECT_TRUE(Exists(kRoot + L"\\ren\\new.txt"));

    // A name that is taken: the reason is shown, file and label stay.
    a.answerer.ClearSeen();
    hEdit = RenameWithF2(L"one.txt");
    ASSERT_TRUE(hEdit);
    Type(hEdit, L"two.txt");
    Key(hEdit, VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return a.answerer.SeenCount() >= 1; }, 5000));
    PumpFor(500);
    EXPECT_TRUE(EditBox() == nullptr);
    EXPECT_EQ(ReadAll(kRoot + L"\\ren\\one.txt"), "one");
    EXPECT_EQ(ReadAll(kRoot + L"\\ren\\two.txt"), "two");
    EXPECT_TRUE(Listed(L"one.txt"));
    boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].caption == L"Rename");
    EXPECT_TRUE(boxes[0].HasText(L"two.txt: ")) << boxes[0].AllText().ToUtf8();
}

TEST_F(FileCommandsTest, RenamedFolderIsRenamedInTheTree) {
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"ren"));
    HTREEITEM hRen = TreeItem(L"ren");
    HTREEITEM hA = TreeChildNamed(hRen, L"dirA");
    ASSERT_TRUE(hA);
    // Expanded, so that its sub-folder has an item that must follow.
    TreeCtrl().Expand(hA, TVE_EXPAND);
    ASSERT_TRUE(TreeChildNamed(hA, L"sub"));
    HWND hEdit = RenameWithF2(L"dirA");
    ASSERT_TRUE(hEdit);
    Type(hEdit, L"dirB");
    ASSERT_TRUE(EndEdit(hEdit, VK_RETURN));
    EXPECT_TRUE(Exists(kRoot + L"\\ren\\dirB"));
    EXPECT_TRUE(TreeChildNamed(hRen, L"dirA") == nullptr);
    HTREEITEM hB = TreeChildNamed(hRen, L"dirB");
    ASSERT_TRUE(hB);
    EXPECT_TRUE(Tree()->GetItemRecord(hB)->GetPath().CompareNoCase(kRoot + L"\\ren\\dirB") == 0);

    // Its sub-folder, chosen in the tree, shows its file.
    HTREEITEM hSub = TreeChildNamed(hB, L"sub");
    ASSERT_TRUE(hSub);
    TreeCtrl().SelectItem(hSub);
    CString want = kRoot + L"\\ren\\dirB\\sub";
    EXPECT_TRUE(PumpUntil([&] { return Title().CompareNoCase(want) == 0; }, kShowDelayMs)) << Title().ToUtf8();
    EXPECT_TRUE(Listed(L"inside.txt"));
}

TEST_F(FileCommandsTest, NewFolderNumbersItsNamesAndOpensTheEdit) {
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"nf"));
    HTREEITEM hNf = TreeItem(L"nf");
    WriteAll(kRoot + L"\\nf\\New Folder (1)", "a plain file also takes the name");
    List()->SendMessage(WM_COMMAND, ID_REFRESH);
    const LPCWSTR names[] = {L"New Folder", L"New Folder (2)", L"New Folder (3)"};
    for (LPCWSTR name : names) {
        List()->SendMessage(WM_COMMAND, ID_NEW_FOLDER);
        ASSERT_TRUE(PumpUntil([] { return EditBox() != nullptr; }, 3000)) << CString(name).ToUtf8();
        WCHAR text[MAX_PATH] = {0};
        ::GetWindowTextW(EditBox(), text, MAX_PATH);
        EXPECT_TRUE(CString(text) == name) << CString(text).ToUtf8();
        EXPECT_TRUE(::GetFileAttributesW(kRoot + L"\\nf\\" + name) & FILE_ATTRIBUTE_DIRECTORY);
        ASSERT_TRUE(EndEdit(EditBox(), VK_ESCAPE));
    }
    // The shell reports the new folders a moment later: each shows once.
    for (LPCWSTR name : names) {
        CString path = kRoot + L"\\nf\\" + name;
        ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, (LPCWSTR)path, nullptr);
    }
    PumpFor(300);
    std::vector<CString> want = {L"existing", L"New Folder", L"New Folder (2)", L"New Folder (3)"};
    EXPECT_EQ(TreeChildTexts(hNf), want);
    want.push_back(L"New Folder (1)");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(ListLabels(), want);

    // With no folder shown there is nowhere to make one.
    CString shown = List()->m_strFolder;
    List()->m_strFolder.Empty();
    List()->SendMessage(WM_COMMAND, ID_NEW_FOLDER);
    PumpFor(200);
    List()->m_strFolder = shown;
    EXPECT_TRUE(EditBox() == nullptr);
    EXPECT_EQ(ListLabels(), want);
}

// A folder that cannot be made says why: the folder shown is gone (renamed
// elsewhere), or its drive is write-protected.
TEST_F(FileCommandsTest, NewFolderNamesTheCauseOfAFailure) {
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"nf"));
    const std::vector<CString> labels = ListLabels();
    struct Row {
        CString folder;
        LPCWSTR cause;
    };
    std::vector<Row> rows = {{kRoot + L"\\nf\\vanished", L"Cannot create New Folder :It cannot be found"}};
    const CString locked = WriteProtectedRoot();
    if (!locked.IsEmpty()) rows.push_back({locked, L"Cannot create New Folder :The disk is write-protected."});
    CString shown = List()->m_strFolder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder.ToUtf8());
        ht::Answers a;
        a.Finish();
        List()->m_strFolder = row.folder;
        List()->SendMessage(WM_COMMAND, ID_NEW_FOLDER);
        PumpFor(200);
        List()->m_strFolder = shown;
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption.ToUtf8(), "Error Creating File or Folder");
        EXPECT_TRUE(boxes[0].HasText(row.cause)) << boxes[0].AllText().ToUtf8();
        EXPECT_TRUE(EditBox() == nullptr);
        EXPECT_EQ(ListLabels(), labels);
    }
    EXPECT_FALSE(Exists(kRoot + L"\\nf\\vanished"));
}

TEST_F(FileCommandsTest, DeleteKeyRemovesTheSelection) {
    for (LPCWSTR f : {L"d1.txt", L"d2.txt", L"keep.txt"}) WriteAll(kRoot + L"\\del\\" + f, "d");
    ::CreateDirectoryW(kRoot + L"\\del\\dsub", nullptr);
    WriteAll(kRoot + L"\\del\\dsub\\inner.txt", "i");
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"del"));
    ht::Answers a;
    a.Finish();
    SelectOnly({L"d1.txt", L"dsub"});
    List()->SetFocus();
    Key(List()->m_hWnd, VK_DELETE);
    ASSERT_TRUE(PumpUntil([] { return !Listed(L"d1.txt") && !Listed(L"dsub"); }, kBatchMs));
    WaitForBatches();
    EXPECT_FALSE(Exists(kRoot + L"\\del\\d1.txt"));
    EXPECT_FALSE(Exists(kRoot + L"\\del\\dsub"));
    EXPECT_TRUE(Exists(kRoot + L"\\del\\d2.txt"));
    EXPECT_EQ(ListLabels(), (std::vector<CString>{L"d2.txt", L"keep.txt"}));
    EXPECT_TRUE(a.Boxes().empty());
}

TEST_F(FileCommandsTest, EnterOpensTheFocusedFolder) {
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"enter"));
    SelectOnly({L"bb"});
    List()->SetFocus();
    Key(List()->m_hWnd, VK_RETURN);
    EXPECT_TRUE(PumpUntil([] { return Title() == kRoot + L"\\enter\\bb"; }, kShowDelayMs)) << Title().ToUtf8();
}

// Last: it ends the frame.
TEST_F(FileCommandsTest, ExitDuringAModalCompressEndsAfterTheBatch) {
    const CString src = kRoot + L"\\exit\\huge.bin";
    const std::string data = MakeRandom(8 * 1024 * 1024, 11);
    WriteAll(src, data);
    ASSERT_NO_FATAL_FAILURE(ShowInList(L"exit"));
    HWND hFrame = Frame()->m_hWnd;
    ht::Answers a;
    // Exit as the tray menu sends it, while the progress dialog runs.
    a.answerer.OnDialog(L"Compressing...", nullptr, [hFrame](HWND, const DialogInfo&) {
        ::PostMessageW(hFrame, WM_COMMAND, ID_APP_EXIT_KIV, 0);
        return 0;
    }, 1);
    a.Finish();
    SelectOnly({L"huge.bin"});
    RunWithTimeout(kBatchMs, "compress", [] { List()->SendMessage(WM_COMMAND, ID_COMPRESS); });
    // The command has returned with the window still there.
    EXPECT_TRUE(::IsWindow(hFrame));
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hFrame); }, kBatchMs));
    EXPECT_TRUE(theApp.m_pMainWnd == nullptr);
    MSG m;
    EXPECT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // Nothing lost: the source as it was, no archive, no partial file.
    EXPECT_EQ(ReadAll(src), data);
    EXPECT_FALSE(Exists(src + L".kvf"));
    EXPECT_EQ(ht::CountTemps(kRoot + L"\\exit"), 0);
}

