// Failures that a drive refusing writes brings: the cause each system error
// stands for in the tasks' messages, and the tasks run against the locked
// removable drive of the test environment, where each batch says once that
// the drive is write-protected, stops there and leaves every file as it was.
#include "app/KIVApp.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include "tests/win/HandlerTestSupport.h"
#include <functional>

using namespace ht;

namespace {

// Its drive folder tells the handlers where the password file is; the
// tests on the locked drive move it there.
struct DriveApp : CKIVApp {
    DriveApp() { m_strDrivePath = L"E:"; }
} theApp;

const LPCTSTR kLocked = L" :The disk is write-protected.";

// Every file under a folder with its bytes.
std::vector<std::pair<CString, std::string>> Snapshot(const CString& root) {
    std::vector<CString> names;
    ListTree(root, L"", names);
    std::vector<std::pair<CString, std::string>> r;
    for (const CString& n : names) {
        DWORD dwAttr = GetFileAttributesW(root + n);
        bool bFile = dwAttr != INVALID_FILE_ATTRIBUTES && !(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
        r.push_back({n, bFile ? ReadAll(root + n) : std::string()});
    }
    return r;
}

}  // namespace

// Windows reports a locked medium as ERROR_WRITE_PROTECT, Wine as an access
// denied on a drive whose root takes no new file: both say the drive is
// write-protected, naming the file that could not be written; every other
// error keeps the cause it names.
TEST(FailureCauseTest, EachErrorNamesItsCause) {
    const CString locked = WriteProtectedRoot();
    struct Row {
        DWORD error;
        CString written;  // empty: a read
        LPCTSTR cause;
    };
    std::vector<Row> rows = {
        {ERROR_WRITE_PROTECT, L"E:\\x.txt", kLocked},
        {ERROR_ACCESS_DENIED, L"E:\\x.txt", L" :It is being used"},  // E: takes writes
        {ERROR_ACCESS_DENIED, L"", L" :It is being used"},
        {ERROR_SHARING_VIOLATION, L"E:\\x.txt", L" :It is being used"},
        {ERROR_FILE_NOT_FOUND, L"", L" :It cannot be found"},
        {ERROR_PATH_NOT_FOUND, L"E:\\no\\x.txt", L" :It cannot be found"},
        {ERROR_DISK_FULL, L"E:\\x.txt", L"The disk in the destination drive is full or removed."},
        {ERROR_NOT_READY, L"", L"The disk in the destination drive is full or removed."},
    };
    if (!locked.IsEmpty()) {
        rows.push_back({ERROR_ACCESS_DENIED, locked + L"x.txt", kLocked});
        rows.push_back({ERROR_ACCESS_DENIED, L"", L" :It is being used"});  // reading is allowed there
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.error << " " << U8(row.written));
        EXPECT_EQ(CauseText(row.error, row.written).Find(row.cause), 0) << U8(CauseText(row.error, row.written));
        CString text = FailureText(TASK_COPY, L"E:\\src.txt", row.error, row.written);
        CString named = CString(row.cause) == kLocked ? row.written : CString(L"E:\\src.txt");
        EXPECT_EQ(text.Find(L"Cannot copy " + named + row.cause), 0) << U8(text);
    }
    // The probe of the drive leaves nothing on it.
    EXPECT_EQ(CountTemps(L"E:"), 0);
}

// Compress, decompress, a folder of 12 files deleted, a copy onto the drive:
// one message naming the write protection, the batch ends at its first task,
// and nothing on the drive changed.
TEST(WriteProtectedDriveTest, EachBatchSaysSoOnceAndKeepsEverything) {
    const CString locked = WriteProtectedRoot();
    if (locked.IsEmpty()) GTEST_SKIP() << "KIV_WP_DRIVE is not set";
    const CString fill = WriteProtectedFillRoot();
    // What an earlier run may have left, and this one leaves.
    auto clean = [&] {
        theApp.m_strDrivePath = L"E:";
        std::vector<CString> all;
        ListTree(fill.Left(2), L"\\wp", all);
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            CString p = fill.Left(2) + *it;
            SetFileAttributesW(p, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(p)) RemoveDirectoryW(p);
        }
        RemoveDirectoryW(fill + L"wp");
        SetFileAttributesW(fill + L"KIV\\KIV.pwd", FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(fill + L"KIV\\KIV.pwd");
        RemoveDirectoryW(fill + L"KIV");
    };
    clean();
    struct Cleanup {
        std::function<void()> f;
        ~Cleanup() { f(); }
    } cleanup{clean};
    RunWithTimeout(180000, "locked drive", [&] {
        // The program runs from the locked drive; its password file is there.
        theApp.m_strDrivePath = locked.Left(2);
        CreateDirectoryW(fill + L"KIV", nullptr);
        {
            CKivPwd store;
            ASSERT_TRUE(store.CreatePwdFile(fill + L"KIV\\KIV.pwd", L"locked12"));
        }
        TempDir outside(L"E:\\");
        PutFile(outside.File(L"src.txt"), "copy me");
        MakeDir(fill + L"wp");
        MakeDir(fill + L"wp\\dir");
        PutFile(fill + L"wp\\a.txt", "alpha");
        PutFile(fill + L"wp\\b.txt", "beta");
        WriteArchive(fill + L"wp\\x.txt.kvf", "ex", "locked12");
        WriteArchive(fill + L"wp\\y.txt.kvf", "why", "locked12");
        for (int i = 1; i <= 12; ++i) {
            CString name;
            name.Format(L"wp\\dir\\f%d.txt", i);
            PutFile(fill + name, "file");
        }
        const auto before = Snapshot(fill + L"wp");
        ASSERT_EQ(before.size(), 17u);

        const CString wp = locked + L"wp\\";
        struct Row {
            const char* what;
            std::vector<TaskSpec> tasks;
            const char* caption;
            CString text;
        } rows[] = {
            {"compress", {{wp + L"a.txt", wp + L"a.txt", TASK_COMPRESS}, {wp + L"b.txt", wp + L"b.txt", TASK_COMPRESS}},
             "Error Compressing File or Folder", L"Cannot compress " + wp + L"a.txt.kvf" + kLocked},
            {"decompress",
             {{wp + L"x.txt.kvf", wp + L"x.txt.kvf", TASK_DECOMPRESS},
              {wp + L"y.txt.kvf", wp + L"y.txt.kvf", TASK_DECOMPRESS}},
             "Error Decompressing File or Folder", L"Cannot decompress " + wp + L"x.txt" + kLocked},
            {"delete", {{wp + L"dir", CString(), TASK_DELETE}, {wp + L"a.txt", CString(), TASK_DELETE}},
             "Error Deleting File or Folder", L"Cannot delete " + wp + L"dir\\f"},
            {"copy",
             {{outside.File(L"src.txt"), wp + L"src.txt", TASK_COPY}, {outside.File(L"src.txt"), wp + L"c.txt", TASK_COPY}},
             "Error Moving File or Folder", L"Cannot copy " + wp + L"src.txt" + kLocked},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            Answers a;
            a.Finish();
            BatchRun run = RunBatch(row.tasks);
            EXPECT_EQ(run.nStart, IDCANCEL);
            EXPECT_EQ(run.results, std::vector<int>{TASK_ERROR});
            std::vector<DialogInfo> boxes = a.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(U8(boxes[0].caption), row.caption);
            EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            EXPECT_TRUE(boxes[0].HasText(kLocked)) << U8(boxes[0].AllText());
            EXPECT_TRUE(Snapshot(fill + L"wp") == before);
        }
        EXPECT_EQ(ReadAll(outside.File(L"src.txt")), "copy me");
    });
}
