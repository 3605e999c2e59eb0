// Names that the system's plain paths would take for another file: a name
// ending in a dot or a space beside its twin without them (tdfile. and
// tdfile, the folders tddir. and tddir, "name " and name), and names that
// Windows keeps for devices (nul.txt, aux.txt). A drive used on other
// systems holds them. Every task, and the list and the tree, must act on
// the very file named and leave its twin byte for byte as it was.
//
// The fixtures are made and read back here through "\\?\" paths of the
// test's own making, never through the program's path functions.
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "archive/UnzipFile.h"
#include "fileops/PathFunctions.h"
#include "tests/support/win/MainWindow.h"
#include "tests/win/HandlerTestSupport.h"
#include "views/DragDrop.h"
#include "views/DriveView.h"
#include "views/FileItem.h"
#include "views/FileView.h"
#include <algorithm>
#include <map>

using namespace ht;

namespace {
class TestApp : public CKIVApp {
public:
    // The drive whose password file the tasks read, before the window's run sets it.
    TestApp() { m_strDrivePath = L"E:"; }
    using CKIVApp::MainRun;
};
TestApp theApp;

// ---- fixtures through the test's own "\\?\" paths ----------------------------

CString Raw(const CString& path) { return L"\\\\?\\" + path; }

void PutRaw(const CString& path, const std::string& bytes) {
    HANDLE h = CreateFileW(Raw(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << U8(path);
    DWORD put = 0;
    WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
    CloseHandle(h);
}

void MakeDirRaw(const CString& path) { ASSERT_TRUE(CreateDirectoryW(Raw(path), nullptr)) << U8(path); }

DWORD AttrsRaw(const CString& path) { return GetFileAttributesW(Raw(path)); }
bool ExistsRaw(const CString& path) { return AttrsRaw(path) != INVALID_FILE_ATTRIBUTES; }

// The file's bytes, or "<none>" when it is not there.
std::string GetRaw(const CString& path) {
    HANDLE h = CreateFileW(Raw(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<none>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

// Every name in a tree with its bytes ("<dir>" for a folder), as it is now.
std::map<CString, std::string> Snapshot(const CString& root, const CString& rel = CString()) {
    std::map<CString, std::string> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Raw(root + rel) + L"\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        CString name(fd.cFileName);
        if (name == L"." || name == L"..") continue;
        CString child = rel + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[child] = "<dir>";
            for (auto& e : Snapshot(root, child)) out.insert(e);
        } else {
            out[child] = GetRaw(root + child);
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

void RemoveTreeRaw(const CString& path) {
    DWORD attrs = AttrsRaw(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(Raw(path), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(Raw(path));
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Raw(path) + L"\\*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            CString name(fd.cFileName);
            if (name != L"." && name != L"..") RemoveTreeRaw(path + L"\\" + name);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(Raw(path));
}

// A folder on the drive E: holding the odd names and their twins, each
// file holding its own name so that a mix-up shows:
//   tdfile. / tdfile, tdc. / tdc, "name " / name, nul.txt, aux.txt (files)
//   tddir. (in-dot, sub-dot\) / tddir (in-twin)   (folders)
//   lone. (a file) and lonedir. (a folder), without twins
class OddDrive {
public:
    explicit OddDrive(LPCWSTR name) : m_root(CString(L"E:\\") + name) {
        RemoveTreeRaw(m_root);
        MakeDirRaw(m_root);
        for (LPCWSTR f : {L"tdfile.", L"tdfile", L"tdc.", L"tdc", L"name ", L"name", L"nul.txt", L"aux.txt"})
            PutRaw(Path(f), "bytes of " + CString(f).ToUtf8());
        for (LPCWSTR d : {L"tddir.", L"tddir", L"out"}) MakeDirRaw(Path(d));
        // Odd names without a twin: their plain paths name nothing at all.
        PutRaw(Path(L"lone."), "bytes of lone.");
        MakeDirRaw(Path(L"lonedir."));
        PutRaw(Path(L"tddir.\\in-dot"), "inside the dotted folder");
        PutRaw(Path(L"tddir\\in-twin"), "inside the twin folder");
        // Only the dotted folder holds a folder: the tree must say so of it alone.
        MakeDirRaw(Path(L"tddir.\\sub-dot"));
    }
    ~OddDrive() { RemoveTreeRaw(m_root); }
    const CString& Root() const { return m_root; }
    CString Path(const CString& rel) const { return m_root + L"\\" + rel; }

private:
    CString m_root;
};

// What a step did to the drive: names that came, went or changed, each
// with the bytes it now has ("<gone>" for one that went).
std::map<CString, std::string> Changes(const std::map<CString, std::string>& before,
                                       const std::map<CString, std::string>& after) {
    std::map<CString, std::string> out;
    for (auto& e : after) {
        auto it = before.find(e.first);
        if (it == before.end() || it->second != e.second) out[e.first] = e.second;
    }
    for (auto& e : before)
        if (!after.count(e.first)) out[e.first] = "<gone>";
    return out;
}

std::string Describe(const std::map<CString, std::string>& m) {
    std::string s;
    for (auto& e : m) s += "[" + U8(e.first) + "] = " + e.second + "\n";
    return s;
}

std::string ArchiveContent(const CString& path) {
    std::string out;
    CUnzipFile unzip(Raw(path));
    unzip.OpenEntry();
    char buf[4096];
    for (UINT n; (n = unzip.ReadEntryData(sizeof buf, buf)) != 0;) out.append(buf, n);
    unzip.CloseEntry();
    unzip.Close();
    return out;
}

const char kPwd[] = "odd12345";

}  // namespace

// Each task on each odd name: exactly the expected names change on the
// drive, nothing else (the twin least of all), and no box is shown.
TEST(OddNamesTest, EveryTaskActsOnTheVeryFileNamed) {
    RunWithTimeout(300000, "odd names", [] {
        DrivePassword pwd({CString(kPwd)});
        Answers a;
        a.Finish();
        // aux.txt only where a slip could not reach the serial port that
        // Wine maps AUX to: a compress, decompress or copy by its plain path
        // would read from it or write to it.
        struct Row {
            const char* what;
            int type;
            LPCWSTR src, dst;  // dst null: the source's own path
            bool listRemovesSource;  // then CFileView::OnTaskDone as the list calls it
            // The names that change, with what they then hold.
            std::vector<std::pair<LPCWSTR, std::string>> changes;
        };
        const Row rows[] = {
            {"delete tdfile.", TASK_DELETE, L"tdfile.", nullptr, false, {{L"tdfile.", "<gone>"}}},
            {"delete 'name '", TASK_DELETE, L"name ", nullptr, false, {{L"name ", "<gone>"}}},
            {"delete nul.txt", TASK_DELETE, L"nul.txt", nullptr, false, {{L"nul.txt", "<gone>"}}},
            {"delete aux.txt", TASK_DELETE, L"aux.txt", nullptr, false, {{L"aux.txt", "<gone>"}}},
            {"delete the folder tddir.", TASK_DELETE, L"tddir.", nullptr, false,
             {{L"tddir.", "<gone>"}, {L"tddir.\\in-dot", "<gone>"}, {L"tddir.\\sub-dot", "<gone>"}}},
            {"compress tdc.", TASK_COMPRESS, L"tdc.", nullptr, false, {{L"tdc..kvf", "archive of bytes of tdc."}}},
            {"compress tdc., the list removes it", TASK_COMPRESS, L"tdc.", nullptr, true,
             {{L"tdc..kvf", "archive of bytes of tdc."}, {L"tdc.", "<gone>"}}},
            {"compress nul.txt, the list removes it", TASK_COMPRESS, L"nul.txt", nullptr, true,
             {{L"nul.txt.kvf", "archive of bytes of nul.txt"}, {L"nul.txt", "<gone>"}}},
            {"compress 'name '", TASK_COMPRESS, L"name ", nullptr, false,
             {{L"name .kvf", "archive of bytes of name "}}},
            {"compress the folder tddir.", TASK_COMPRESS, L"tddir.", L"out\\tddir.", false,
             {{L"out\\tddir.", "<dir>"},
              {L"out\\tddir.\\in-dot.kvf", "archive of inside the dotted folder"},
              {L"out\\tddir.\\sub-dot", "<dir>"}}},
            {"copy tdfile.", TASK_COPY, L"tdfile.", L"out\\tdfile.", false, {{L"out\\tdfile.", "bytes of tdfile."}}},
            {"copy nul.txt", TASK_COPY, L"nul.txt", L"out\\nul.txt", false, {{L"out\\nul.txt", "bytes of nul.txt"}}},
            {"copy the folder tddir.", TASK_COPY, L"tddir.", L"out\\tddir.", false,
             {{L"out\\tddir.", "<dir>"},
              {L"out\\tddir.\\in-dot", "inside the dotted folder"},
              {L"out\\tddir.\\sub-dot", "<dir>"}}},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            OddDrive drive(L"odd-tasks");
            a.answerer.ClearSeen();
            auto before = Snapshot(drive.Root());
            CString src = drive.Path(row.src), dst = row.dst ? drive.Path(row.dst) : src;
            CFileTaskThread batch;
            CFileTask task(src, dst, row.type, &Recorder::Callback, &batch);
            EXPECT_EQ(task.Execute(), TASK_OK);
            if (row.listRemovesSource) CFileView::OnTaskDone(TASK_OK, &task);
            auto changes = Changes(before, Snapshot(drive.Root()));
            std::map<CString, std::string> want;
            for (auto& c : row.changes) {
                CString name = CString(L"\\") + c.first;
                // An archive's bytes are scrambled: what it restores is compared.
                if (c.second.rfind("archive of ", 0) == 0) {
                    if (!changes.count(name)) {
                        ADD_FAILURE() << "no " << U8(name) << "\n" << Describe(changes);
                        continue;
                    }
                    EXPECT_EQ(ArchiveContent(drive.Path(c.first)), c.second.substr(11));
                    want[name] = changes[name];
                } else {
                    want[name] = c.second;
                }
            }
            EXPECT_EQ(Describe(changes), Describe(want));
            for (const DialogInfo& d : a.Boxes()) ADD_FAILURE() << "box: " << U8(d.AllText());
        }
    });
}

// An archive whose restored name ends in a dot, beside a plain file of the
// name without it: the archive's text goes to that name, the twin stays.
TEST(OddNamesTest, DecompressWritesTheVeryNameRestored) {
    RunWithTimeout(120000, "decompress odd names", [] {
        DrivePassword pwd({CString(kPwd)});
        Answers a;
        a.Finish();
        struct Row {
            const char* what;
            LPCWSTR archive, restored, twin;
        } rows[] = {
            {"tdd. beside tdd", L"tdd..kvf", L"tdd.", L"tdd"},
            {"'sp ' beside sp", L"sp .kvf", L"sp ", L"sp"},
            // nul, not aux: a slip would write to the bit bucket only.
            {"nul.log", L"nul.log.kvf", L"nul.log", nullptr},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            OddDrive drive(L"odd-restore");
            a.answerer.ClearSeen();
            if (row.twin) PutRaw(drive.Path(row.twin), "the twin's own bytes");
            // The engine writes the archive under a name it names plainly,
            // then the test gives it its odd name.
            WriteArchive(drive.Path(L"plain.kvf"), "restored bytes", kPwd);
            ASSERT_TRUE(MoveFileW(Raw(drive.Path(L"plain.kvf")), Raw(drive.Path(row.archive))));
            auto before = Snapshot(drive.Root());
            CString src = drive.Path(row.archive);
            CFileTaskThread batch;
            CFileTask task(src, src, TASK_DECOMPRESS, &Recorder::Callback, &batch);
            EXPECT_EQ(task.Execute(), TASK_OK);
            // The list removes the archive once its file is restored.
            CFileView::OnTaskDone(TASK_OK, &task);
            std::map<CString, std::string> want = {{CString(L"\\") + row.restored, "restored bytes"},
                                                   {CString(L"\\") + row.archive, "<gone>"}};
            EXPECT_EQ(Describe(Changes(before, Snapshot(drive.Root()))), Describe(want));
            for (const DialogInfo& d : a.Boxes()) ADD_FAILURE() << "box: " << U8(d.AllText());
        }
    });
}

// The silent deletion that the list and the clean-ups use: the shell takes
// only plain paths, so such names are removed entry by entry instead.
TEST(OddNamesTest, DeleteFolderTreeRemovesTheVeryNameGiven) {
    struct Row {
        const char* what;
        LPCWSTR path;
        std::vector<LPCWSTR> gone;
    } rows[] = {
        {"file tdfile.", L"tdfile.", {L"tdfile."}},
        {"file 'name '", L"name ", {L"name "}},
        {"file nul.txt", L"nul.txt", {L"nul.txt"}},
        {"folder tddir.", L"tddir.", {L"tddir.", L"tddir.\\in-dot", L"tddir.\\sub-dot"}},
        {"folder tddir, holding such names", L"tddir", {L"tddir", L"tddir\\in-twin",
                                                         L"tddir\\x.", L"tddir\\x", L"tddir\\con"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        OddDrive drive(L"odd-delete");
        for (LPCWSTR f : {L"tddir\\x.", L"tddir\\x", L"tddir\\con"}) PutRaw(drive.Path(f), "held");
        auto before = Snapshot(drive.Root());
        EXPECT_EQ(DeleteFolderTree(drive.Path(row.path)), 0);
        std::map<CString, std::string> want;
        for (LPCWSTR g : row.gone) want[CString(L"\\") + g] = "<gone>";
        EXPECT_EQ(Describe(Changes(before, Snapshot(drive.Root()))), Describe(want));
    }
}

// ---- the list and the tree -------------------------------------------------------

namespace {
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

int IndexOf(LPCWSTR label) {
    for (int i = 0; i < ListCtrl().GetItemCount(); ++i)
        if (ListCtrl().GetItemText(i, 0) == label) return i;
    return -1;
}

std::vector<CString> ListLabels() {
    std::vector<CString> r;
    for (int i = 0; i < ListCtrl().GetItemCount(); ++i) r.push_back(ListCtrl().GetItemText(i, 0));
    std::sort(r.begin(), r.end());
    return r;
}

std::string Join(const std::vector<CString>& v) {
    std::string s;
    for (const CString& c : v) s += "[" + U8(c) + "]";
    return s;
}

// The tree item of E:\odd-list\<parts>, each expanded on the way.
HTREEITEM TreeItem(std::initializer_list<LPCWSTR> parts) {
    HTREEITEM h = TreeCtrl().GetRootItem();
    TreeCtrl().Expand(h, TVE_EXPAND);
    h = TreeChildNamed(h, L"odd-list");
    for (LPCWSTR p : parts) {
        if (!h) return nullptr;
        TreeCtrl().Expand(h, TVE_EXPAND);
        h = TreeChildNamed(h, p);
    }
    if (h) TreeCtrl().Expand(h, TVE_EXPAND);
    return h;
}

void ShowInList(std::initializer_list<LPCWSTR> parts, const CString& want) {
    HTREEITEM h = TreeItem(parts);
    ASSERT_TRUE(h != nullptr) << U8(want);
    TreeCtrl().SelectItem(h);
    ASSERT_TRUE(PumpUntil([&] { return Title() == want; }, 3000)) << U8(want) << " / " << U8(Title());
    List()->SendMessage(WM_COMMAND, ID_REFRESH);
}

void SelectOnly(LPCWSTR label) {
    ListCtrl().SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    int i = IndexOf(label);
    ASSERT_GE(i, 0) << U8(label);
    ListCtrl().SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// Ends an open label edit with Esc, as a person would.
void EscapeEdit() {
    HWND hEdit = (HWND)ListCtrl().SendMessage(LVM_GETEDITCONTROL);
    if (!hEdit) return;
    ::PostMessageW(hEdit, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageW(hEdit, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    PumpUntil([&] { return !::IsWindow(hEdit); }, 3000);
}

// The list's end of a label edit, as the control sends it for a typed name.
void EndLabelEdit(LPCWSTR label, LPCWSTR typed) {
    NMLVDISPINFOW di = {};
    di.hdr.hwndFrom = ListCtrl().m_hWnd;
    di.hdr.idFrom = (UINT_PTR)::GetDlgCtrlID(ListCtrl().m_hWnd);
    di.hdr.code = LVN_ENDLABELEDITW;
    di.item.iItem = IndexOf(label);
    di.item.pszText = (LPWSTR)typed;
    RunWithTimeout(20000, "end of a label edit", [&] {
        ::SendMessageW(::GetParent(ListCtrl().m_hWnd), WM_NOTIFY, di.hdr.idFrom, (LPARAM)&di);
    });
    PumpFor(300);
}

class OddListTest : public ::testing::Test {
protected:
    static OddDrive* s_pDrive;
    static void SetUpTestSuite() {
        s_pDrive = new OddDrive(L"odd-list");
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        Frame()->SendMessage(WM_COMMAND, ID_VIEW_DETAILS);
    }
    static void TearDownTestSuite() {
        delete s_pDrive;
        s_pDrive = nullptr;
    }
    const OddDrive& Drive() const { return *s_pDrive; }
};
OddDrive* OddListTest::s_pDrive = nullptr;
}  // namespace

// Each item's record holds the status of its own file, and the tree and the
// list show what the folder tddir. itself holds.
TEST_F(OddListTest, ListAndTreeShowEachNameAsItself) {
    ASSERT_NO_FATAL_FAILURE(ShowInList({}, Drive().Root()));
    for (LPCWSTR name : {L"tdfile.", L"tdfile", L"name ", L"name", L"nul.txt", L"aux.txt", L"tddir.", L"tddir",
                         L"lone.", L"lonedir."}) {
        SCOPED_TRACE(U8(name));
        int i = IndexOf(name);
        ASSERT_GE(i, 0) << Join(ListLabels());
        CFileItem* pRecord = List()->GetItemRecord(i);
        ASSERT_TRUE(pRecord && pRecord->m_bLoaded);
        if (!(pRecord->m_nAttributes & FILE_ATTRIBUTE_DIRECTORY))
            EXPECT_EQ(pRecord->m_nSize, GetRaw(Drive().Path(name)).size());
        // A record made by path, as a created or renamed item gets one.
        CFileItem byPath(Drive().Path(name), FALSE);
        ASSERT_TRUE(byPath.m_bLoaded);
        EXPECT_EQ(byPath.m_nSize, pRecord->m_nSize);
        EXPECT_EQ(byPath.m_nAttributes, pRecord->m_nAttributes);
    }
    EXPECT_TRUE(CFileItem(Drive().Path(L"tddir."), FALSE).m_bHasSubFolders);

    HTREEITEM hDot = TreeItem({L"tddir."});
    ASSERT_TRUE(hDot);
    EXPECT_EQ(Join(TreeChildTexts(hDot)), "[sub-dot]");
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"tddir."}, Drive().Path(L"tddir.")));
    EXPECT_EQ(Join(ListLabels()), "[in-dot][sub-dot]");
}

// Rename and new folder act on the very name; a new name that other
// programs could not open by its plain path is refused.
TEST_F(OddListTest, RenameAndNewFolderActOnTheVeryName) {
    Answers a;
    a.Finish();
    ASSERT_NO_FATAL_FAILURE(ShowInList({}, Drive().Root()));
    auto before = Snapshot(Drive().Root());
    EndLabelEdit(L"tdfile.", L"fixed.txt");
    std::map<CString, std::string> want = {{L"\\fixed.txt", "bytes of tdfile."}, {L"\\tdfile.", "<gone>"}};
    EXPECT_EQ(Describe(Changes(before, Snapshot(Drive().Root()))), Describe(want));
    EXPECT_GE(IndexOf(L"fixed.txt"), 0);
    EXPECT_TRUE(a.Boxes().empty());

    // Names the system would shorten or take for a device.
    for (LPCWSTR typed : {L"renamed.", L"renamed ", L"aux.log"}) {
        SCOPED_TRACE(U8(typed));
        a.answerer.ClearSeen();
        before = Snapshot(Drive().Root());
        EndLabelEdit(L"tdc", typed);
        ASSERT_TRUE(PumpUntil([&] { return a.answerer.SeenCount() >= 1; }, 5000));
        PumpFor(300);
        EscapeEdit();
        EXPECT_EQ(Describe(Changes(before, Snapshot(Drive().Root()))), "");
        auto boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].caption == L"Rename");
        EXPECT_TRUE(boxes[0].HasText(CString(typed) + L" :The name ends in a dot or a space")) << U8(boxes[0].AllText());
    }

    // A new folder inside tddir. goes into tddir., not into tddir.
    ASSERT_NO_FATAL_FAILURE(ShowInList({L"tddir."}, Drive().Path(L"tddir.")));
    before = Snapshot(Drive().Root());
    List()->SendMessage(WM_COMMAND, ID_NEW_FOLDER);
    PumpFor(500);
    EscapeEdit();
    want = {{L"\\tddir.\\New Folder", "<dir>"}};
    EXPECT_EQ(Describe(Changes(before, Snapshot(Drive().Root()))), Describe(want));
}

// A drag hands the drop target plain paths: an item with such a name
// does not leave, and the user is told why.
TEST_F(OddListTest, DragOutRefusesANameThatOtherProgramsCannotOpen) {
    Answers a;
    a.Finish();
    ASSERT_NO_FATAL_FAILURE(ShowInList({}, Drive().Root()));
    for (LPCWSTR name : {L"tdfile", L"tdc.", L"nul.txt"}) {
        SCOPED_TRACE(U8(name));
        a.answerer.ClearSeen();
        ASSERT_NO_FATAL_FAILURE(SelectOnly(name));
        CKivDropSource source;
        std::vector<BYTE> block;
        int n = 0;
        RunWithTimeout(20000, "drop files", [&] { n = List()->BuildDropFiles(source, block); });
        PumpFor(300);
        if (CString(name) == L"tdfile") {
            EXPECT_GT(n, 0);
            EXPECT_TRUE(a.Boxes().empty());
            continue;
        }
        EXPECT_EQ(n, -1);
        auto boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].HasText(L"Cannot move " + CString(name) + L" :The name ends in a dot"))
            << U8(boxes[0].AllText());
    }
}
