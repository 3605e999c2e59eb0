// The file task record: size measurement, Execute's dispatch and its
// failures, and ResetFileAttributes with its message.
#include "fileops/FileTask.h"
#include "framework/Win.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

void MakeDir(const CString& path) { ASSERT_TRUE(CreateDirectoryW(path, nullptr)) << U8(path); }

FILETIME FileTimeOf(int year, int month, int day) {
    SYSTEMTIME st = {};
    st.wYear = (WORD)year;
    st.wMonth = (WORD)month;
    st.wDay = (WORD)day;
    st.wHour = 12;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

ULONGLONG Ticks(const FILETIME& ft) { return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

// A tree of known size: files in three levels, an empty file, an empty
// folder and a hidden system file, which counts like any other.
struct Tree {
    TempDir dir;
    CString root;
    ULONGLONG total = 0;
    Tree() {
        root = dir.File(_T("root"));
        MakeDir(root);
        MakeDir(root + _T("\\sub"));
        MakeDir(root + _T("\\sub\\deeper"));
        MakeDir(root + _T("\\empty"));
        Put(_T("\\a.bin"), 1000);
        Put(_T("\\zero.txt"), 0);
        Put(_T("\\sub\\b.bin"), 2345);
        Put(_T("\\sub\\deeper\\c.bin"), 17);
        Put(_T("\\sub\\hidden.sys"), 300);
        SetFileAttributesW(root + _T("\\sub\\hidden.sys"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    void Put(LPCTSTR rel, size_t n) {
        WriteAll(root + rel, MakeRandom(n, (unsigned)n));
        total += n;
    }
};

}  // namespace

TEST(FileTaskTest, MeasuresFilesAndTrees) {
    Tree t;
    EXPECT_EQ(CFileTask::GetDirSize(t.root + _T("\\*.*")), t.total);
    EXPECT_EQ(CFileTask::GetDirSize(t.root + _T("\\empty\\*.*")), 0u);
    EXPECT_EQ(CFileTask::GetDirSize(t.root + _T("\\missing\\*.*")), 0u);

    // The constructor measures at once; a known size is not measured again.
    CFileTask folder(t.root, _T("x"), TASK_COPY, nullptr, nullptr);
    EXPECT_EQ(folder.m_nSize, t.total);
    CFileTask file(t.root + _T("\\sub\\b.bin"), _T("x"), TASK_COPY, nullptr, nullptr);
    EXPECT_EQ(file.m_nSize, 2345u);
    WriteAll(t.root + _T("\\sub\\b.bin"), "now shorter");
    EXPECT_EQ(file.GetSize(), 2345u);
    EXPECT_EQ(folder.GetSize(), t.total);

    EXPECT_EQ(folder.m_dwFlags, 0xBu);
    EXPECT_EQ(folder.m_nType, TASK_COPY);
    EXPECT_TRUE(folder.m_strPassword.IsEmpty());
    EXPECT_EQ(U8(folder.GetSrc()), U8(t.root));
}

TEST(FileTaskTest, ZeroSizesAreMeasuredAgain) {
    Tree t;
    const CString emptyFile = t.root + _T("\\zero.txt");
    const CString emptyDir = t.root + _T("\\empty");
    const CString missing = t.root + _T("\\later.bin");
    CFileTask a(emptyFile, CString(), TASK_DELETE, nullptr, nullptr);
    CFileTask b(emptyDir, CString(), TASK_DELETE, nullptr, nullptr);
    CFileTask c(missing, CString(), TASK_DELETE, nullptr, nullptr);
    EXPECT_EQ(a.m_nSize, 0u);
    EXPECT_EQ(b.m_nSize, 0u);
    EXPECT_EQ(c.m_nSize, 0u);

    WriteAll(emptyFile, std::string(10, 'x'));
    WriteAll(emptyDir + _T("\\f"), std::string(20, 'y'));
    WriteAll(missing, std::string(30, 'z'));
    EXPECT_EQ(a.GetSize(), 10u);
    EXPECT_EQ(b.GetSize(), 20u);
    EXPECT_EQ(c.GetSize(), 30u);
    EXPECT_EQ(c.m_nSize, 30u);
}

TEST(FileTaskTest, ExecuteRefusesUnknownTypesQuietlyAndNamesAMissingSource) {
    DialogAnswerer answerer(500);
    answerer.Answer(nullptr, nullptr, IDOK);
    Tree t;
    // An unknown type never looks at the source: a folder would have set
    // TF_MULTIPLE.
    for (int type : {0, 5, -1}) {
        CFileTask task(t.root, t.dir.File(_T("out")), type, nullptr, nullptr);
        EXPECT_EQ(task.Execute(), TASK_ERROR) << type;
        EXPECT_EQ(task.m_dwFlags, 0xBu) << type;
    }
    EXPECT_FALSE(PathFileExistsW(t.dir.File(_T("out"))));
    Sleep(700);
    EXPECT_EQ(answerer.SeenCount(), 0u);

    // A source gone since it was queued: one box of its operation that
    // names it and says it is not there.
    const CString gone = t.root + _T("\\gone");
    struct Row {
        int type;
        const char* caption;
        LPCTSTR verb;
    } rows[] = {
        {TASK_COPY, "Error Moving File or Folder", _T("Cannot copy ")},
        {TASK_DELETE, "Error Deleting File or Folder", _T("Cannot delete ")},
        {TASK_COMPRESS, "Error Compressing File or Folder", _T("Cannot compress ")},
        {TASK_DECOMPRESS, "Error Decompressing File or Folder", _T("Cannot decompress ")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        answerer.ClearSeen();
        CFileTask task(gone, t.dir.File(_T("out2")), row.type, nullptr, nullptr);
        EXPECT_EQ(task.Execute(), TASK_ERROR);
        EXPECT_EQ(task.m_dwFlags, 0xBu);
        ASSERT_TRUE(answerer.WaitSeen(1, 5000));
        std::vector<DialogInfo> boxes = answerer.Seen();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].caption), row.caption);
        EXPECT_TRUE(boxes[0].HasText(row.verb + gone + _T(" :It cannot be found"))) << U8(boxes[0].AllText());
    }
    EXPECT_FALSE(PathFileExistsW(t.dir.File(_T("out2"))));
}

TEST(FileTaskTest, FolderSourcesRunWithTheMultipleFlag) {
    DialogAnswerer answerer(500);
    answerer.Answer(nullptr, nullptr, IDCANCEL);
    Tree t;
    CFileTask folder(t.root + _T("\\empty"), CString(), TASK_DELETE, nullptr, nullptr);
    folder.Execute();
    EXPECT_EQ(folder.m_dwFlags & TF_MULTIPLE, (DWORD)TF_MULTIPLE);
    CFileTask file(t.root + _T("\\a.bin"), CString(), TASK_DELETE, nullptr, nullptr);
    file.Execute();
    EXPECT_EQ(file.m_dwFlags & TF_MULTIPLE, 0u);
}

namespace {

// Collects the shell's delete notifications for one folder.
class DeleteWatcher {
public:
    explicit DeleteWatcher(const CString& folder) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &DeleteWatcher::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KivTestDeleteWatcher";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, (LONG_PTR)this);
        m_pidl = ILCreateFromPathW(folder);
        SHChangeNotifyEntry entry = {m_pidl, TRUE};
        m_nReg = SHChangeNotifyRegister(m_hWnd, SHCNRF_ShellLevel | SHCNRF_NewDelivery, SHCNE_DELETE,
                                        WM_APP + 1, 1, &entry);
    }
    ~DeleteWatcher() {
        if (m_nReg) SHChangeNotifyDeregister(m_nReg);
        DestroyWindow(m_hWnd);
        ILFree(m_pidl);
    }
    bool Registered() const { return m_nReg != 0; }
    std::vector<CString> paths;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_APP + 1) {
            DeleteWatcher* self = (DeleteWatcher*)GetWindowLongPtrW(h, GWLP_USERDATA);
            PIDLIST_ABSOLUTE* pidls = nullptr;
            LONG event = 0;
            HANDLE lock = SHChangeNotification_Lock((HANDLE)w, (DWORD)l, &pidls, &event);
            if (lock) {
                WCHAR path[MAX_PATH] = {};
                if (self && pidls && pidls[0] && SHGetPathFromIDListW(pidls[0], path)) self->paths.push_back(path);
                SHChangeNotification_Unlock(lock);
            }
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }
    HWND m_hWnd = nullptr;
    PIDLIST_ABSOLUTE m_pidl = nullptr;
    ULONG m_nReg = 0;
};

}  // namespace

TEST(ResetFileAttributesTest, ClearsTheThreeAttributesAndKeepsTheTimes) {
    TempDir dir;
    CString path = dir.File(_T("guarded.txt"));
    WriteAll(path, "guarded");
    FILETIME created = FileTimeOf(2001, 2, 3), written = FileTimeOf(2005, 6, 7);
    HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, &created, nullptr, &written);
    CloseHandle(h);
    SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE);

    WIN32_FILE_ATTRIBUTE_DATA before;
    ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &before));

    EXPECT_TRUE(ResetFileAttributes(path, TASK_DECOMPRESS, FALSE));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes & 0x07, 0u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE, (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(written));
    // The file system may not keep a creation time of its own: unchanged is
    // enough. The status holds whole seconds.
    EXPECT_EQ(Ticks(data.ftCreationTime) / 10000000, Ticks(before.ftCreationTime) / 10000000);
    EXPECT_EQ(Ticks(data.ftLastAccessTime) / 10000000, Ticks(before.ftLastAccessTime) / 10000000);
    EXPECT_EQ(ReadAll(path), "guarded");
}

TEST(ResetFileAttributesTest, DeletesWhenAskedAndTellsTheShell) {
    TempDir dir;
    CString path = dir.File(_T("old.txt"));
    WriteAll(path, "old");
    SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    DeleteWatcher watcher(dir.Path());
    ASSERT_TRUE(watcher.Registered());

    EXPECT_TRUE(ResetFileAttributes(path, TASK_COPY, TRUE));
    EXPECT_FALSE(PathFileExistsW(path));
    EXPECT_TRUE(PumpUntil([&] { return !watcher.paths.empty(); }, 3000));
    ASSERT_EQ(watcher.paths.size(), 1u);
    EXPECT_EQ(watcher.paths[0].CompareNoCase(path), 0) << U8(watcher.paths[0]);
}

// Another program's open handle stops the deletion; attributes alone can
// still be changed, so a file that is not to be deleted fails only when it
// is missing.
TEST(ResetFileAttributesTest, ABusyOrMissingFileGivesTheMessageOfItsOperation) {
    DialogAnswerer answerer(500);
    answerer.Answer(nullptr, nullptr, IDOK);
    TempDir dir;
    CString busy = dir.File(_T("busy.txt"));
    WriteAll(busy, "busy");
    // Held open without sharing, as another program would.
    HANDLE h = CreateFileW(busy, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const CString tail = _T(" :It is being used by another person or program. Close any programs that might be ")
                         _T("using the file and try again.");
    struct Row {
        CString path;
        DWORD op;
        BOOL bDelete;
        LPCTSTR prefix;
    } rows[] = {
        {busy, TASK_COPY, TRUE, _T("Cannot copy ")},
        {dir.File(_T("missing.txt")), TASK_COMPRESS, FALSE, _T("Cannot compress ")},
        {dir.File(_T("missing.txt")), TASK_DECOMPRESS, FALSE, _T("Cannot decompress ")},
        {dir.File(_T("missing.txt")), TASK_COPY, TRUE, _T("Cannot copy ")},
    };
    RunWithTimeout(30000, "ResetFileAttributes boxes", [&] {
        for (const Row& r : rows) {
            SCOPED_TRACE(U8(r.prefix));
            answerer.ClearSeen();
            EXPECT_FALSE(ResetFileAttributes(r.path, r.op, r.bDelete));
            ASSERT_EQ(answerer.SeenCount(), 1u);
            DialogInfo box = answerer.Seen()[0];
            EXPECT_EQ(U8(box.caption), "Error Moving File or Folder");
            EXPECT_EQ(U8(box.AllText()), U8(CString(r.prefix) + r.path + tail));
        }
    });
    CloseHandle(h);
    EXPECT_TRUE(PathFileExistsW(busy));
}

// Past MAX_PATH the status is read like any other; a status that cannot be
// read (a folder named with a trailing backslash is not found by a listing,
// though its attributes are) stops the reset before anything is written.
TEST(ResetFileAttributesTest, ReadsPastMaxPathAndWritesNothingUnread) {
    DialogAnswerer answerer(500);
    answerer.Answer(nullptr, nullptr, IDOK);
    TempDir dir(_T("E:\\"));
    CString folder = dir.File(CString(L'r', 200));
    CString path = folder + _T("\\") + CString(L'q', 300 - folder.GetLength() - 1);
    ASSERT_EQ(path.GetLength(), 300);
    MakeDir(AfxLongPathForm(folder));
    HANDLE h = CreateFileW(AfxLongPathForm(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    const DWORD three = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(AfxLongPathForm(path), three | FILE_ATTRIBUTE_ARCHIVE));
    CString held = dir.File(_T("held"));
    MakeDir(held);
    ASSERT_TRUE(SetFileAttributesW(held, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

    RunWithTimeout(30000, "ResetFileAttributes past MAX_PATH", [&] {
        EXPECT_TRUE(ResetFileAttributes(path, TASK_DECOMPRESS, FALSE));
        EXPECT_EQ(GetFileAttributesW(AfxLongPathForm(path)), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(answerer.SeenCount(), 0u);

        EXPECT_FALSE(ResetFileAttributes(held + _T("\\"), TASK_COMPRESS, FALSE));
        EXPECT_EQ(GetFileAttributesW(held), (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                                    FILE_ATTRIBUTE_SYSTEM));
        ASSERT_EQ(answerer.SeenCount(), 1u);
        EXPECT_TRUE(answerer.Seen()[0].HasText(_T("Cannot compress ") + held + _T("\\ :It is being used")))
            << U8(answerer.Seen()[0].AllText());
    });
    SetFileAttributesW(held, FILE_ATTRIBUTE_NORMAL);
}
