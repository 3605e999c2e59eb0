// KIV.exe as a user meets it: started from the removable drive E: as its own
// process, logged in, installed, and its explorer window found and driven
// from outside; its files read back.
#include "fileops/PathFunctions.h"
#include "password/KivPwd.h"
#include "password/PwdDlg.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/MovedAppData.h"
#include "tests/support/win/ProgramRun.h"
#include "tests/support/win/RemoteWindow.h"
#include "tests/support/win/Watchdog.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <vector>

namespace {
const DWORD kStartMs = 60000;

CString InstalledProgram() { return GetAppDataDir(TRUE) + L"\\KIV\\KIV.exe"; }

// The main window of the installed copy: a top-level window with the tree
// and the list, in a process whose image is the installed program.
HWND WaitForMainWindow(DWORD timeoutMs) {
    return WaitForForeignWindow([](HWND h) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        return FindDescendant(h, L"SysTreeView32") && FindDescendant(h, L"SysListView32") &&
               ProcessImage(pid).CompareNoCase(InstalledProgram()) == 0;
    }, timeoutMs);
}

size_t EntryCount(LPCWSTR folder) {
    size_t n = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(CString(folder) + L"\\*.*", &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (lstrcmpW(fd.cFileName, L".") && lstrcmpW(fd.cFileName, L"..")) ++n;
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return n;
}

void SetPassword(LPCWSTR pwd) {
    ::CreateDirectoryW(L"E:\\KIV", nullptr);
    ::SetFileAttributesW(L"E:\\KIV\\KIV.pwd", FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(L"E:\\KIV\\KIV.pwd");
    if (pwd) {
        CKivPwd store;
        ASSERT_TRUE(store.CreatePwdFile(L"E:\\KIV\\KIV.pwd", pwd));
    }
}

void LoginWith(DialogAnswerer& answerer, LPCWSTR pwd) {
    CString p(pwd);
    answerer.OnDialog(L"Login", nullptr, [p](HWND h, const DialogInfo&) {
        ::SendMessageW(::GetDlgItem(h, IDC_PWD_EDIT_OLD), WM_SETTEXT, 0, (LPARAM)(LPCWSTR)p);
        return IDC_PWD_OK;
    }, 1);
}

// Ends the installed copy through its Exit command; its exit code.
int ExitMainWindow(HWND hFrame) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hFrame, &pid);
    HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    ::PostMessageW(hFrame, WM_COMMAND, 32786, 0);
    return WaitExit(h, 30000);
}

class ExplorerProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileW(BuiltFile(L"KIV.exe"), L"E:\\KIV.exe", FALSE));
        ::DeleteFileW(InstalledProgram());
        ::CreateDirectoryW(L"E:\\docs", nullptr);
        WriteAll(L"E:\\readme.txt", "hello");
    }
    void TearDown() override { WatchProcess(0); }

    // Starts E:\KIV.exe as the user does, logs in with the password through
    // the answerer, and gives the installed copy's main window (null when
    // none came).
    HWND StartLoggedIn(DialogAnswerer& answerer, LPCWSTR pszPassword) {
        LoginWith(answerer, pszPassword);
        DWORD pid = 0;
        HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
        WatchProcess(pid);
        EXPECT_EQ(WaitExit(hRun, kStartMs), 0);
        return WaitForMainWindow(kStartMs);
    }
};
}  // namespace

TEST_F(ExplorerProcessTest, DriveRunLogsInInstallsAndOpensTheWindow) {
    Watchdog dog(240000, "drive run");
    SetPassword(L"abc123");
    DialogAnswerer answerer;
    LoginWith(answerer, L"abc123");
    DWORD pid = 0;
    HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
    ASSERT_TRUE(hRun);
    WatchProcess(pid);
    EXPECT_EQ(WaitExit(hRun, kStartMs), 0);
    ASSERT_GE(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].caption == L"Login");

    // The installed copy is the program, byte for byte, and shows the window.
    EXPECT_EQ(ReadAll(InstalledProgram()), ReadAll(L"E:\\KIV.exe"));
    HWND hFrame = WaitForMainWindow(kStartMs);
    ASSERT_TRUE(hFrame);
    HWND hTree = FindDescendant(hFrame, L"SysTreeView32");
    HWND hList = FindDescendant(hFrame, L"SysListView32");
    HWND hBar = FindDescendant(hFrame, TOOLBARCLASSNAMEW);
    HWND hStatus = FindDescendant(hFrame, STATUSCLASSNAMEW);
    ASSERT_TRUE(hBar && hStatus);
    EXPECT_EQ(::SendMessageW(hBar, TB_BUTTONCOUNT, 0, 0), 8);
    HTREEITEM hRoot = (HTREEITEM)::SendMessageW(hTree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    EXPECT_TRUE(RemoteTreeItemText(hTree, hRoot) == L"E:\\");

    // The focus selects the drive, and the list shows its entries.
    EXPECT_TRUE(PumpUntil([&] { return WindowTextOf(hFrame) == L"E:\\"; }, 10000)) << WindowTextOf(hFrame).ToUtf8();
    EXPECT_TRUE(PumpUntil([&] { return (size_t)::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0) == EntryCount(L"E:"); },
                          5000));
    ULARGE_INTEGER avail = {}, total = {}, free = {};
    ::GetDiskFreeSpaceExW(L"E:\\", &avail, &total, &free);
    WCHAR size[64];
    ::StrFormatByteSizeW((LONGLONG)free.QuadPart, size, 64);
    CString want = CString(L"Disk Free Space: ") + size;
    EXPECT_TRUE(PumpUntil([&] { return RemoteStatusText(hStatus, 1) == want; }, 5000))
        << RemoteStatusText(hStatus, 1).ToUtf8();
    EXPECT_TRUE(RemoteStatusText(hStatus, 0) == L"Ready");

    // A second start from the drive: the installed program runs, so it ends.
    answerer.ClearSeen();
    LoginWith(answerer, L"abc123");
    answerer.Answer(L"KIV", L"Program has beed executed!", IDOK, 1);
    HANDLE hSecond = StartProgram(L"E:\\KIV.exe", CString(), &pid);
    WatchProcess(pid);
    EXPECT_EQ(WaitExit(hSecond, kStartMs), 0);
    ASSERT_EQ(answerer.SeenCount(), 2u);
    EXPECT_TRUE(answerer.Seen()[1].HasText(L"Program has beed executed!"));

    // The installed copy started by hand is not on the drive.
    answerer.ClearSeen();
    answerer.Answer(L"KIV", L"Please launch this program from Brivon Velto!", IDOK, 1);
    HANDLE hBare = StartProgram(InstalledProgram(), CString(), &pid);
    WatchProcess(pid);
    WaitExit(hBare, kStartMs);
    ASSERT_EQ(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].HasText(L"Please launch this program from Brivon Velto!"));

    // Close and minimise hide; the process lives on; Show/Hide shows; Exit ends it.
    ::SendMessageW(hFrame, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(hFrame));
    EXPECT_FALSE(::IsWindowVisible(hFrame));
    ::SendMessageW(hFrame, WM_COMMAND, 32775, 0);
    EXPECT_TRUE(::IsWindowVisible(hFrame));
    ::SendMessageW(hFrame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(::IsWindowVisible(hFrame));
    EXPECT_EQ(ExitMainWindow(hFrame), 0);
}

TEST_F(ExplorerProcessTest, WithoutPasswordFileTheFirstPasswordIsCreated) {
    Watchdog dog(240000, "first password");
    SetPassword(nullptr);
    DialogAnswerer answerer;
    answerer.OnDialog(L"Create Password", nullptr, [](HWND h, const DialogInfo&) {
        ::SendMessageW(::GetDlgItem(h, IDC_PWD_EDIT_NEW), WM_SETTEXT, 0, (LPARAM)L"first1");
        ::SendMessageW(::GetDlgItem(h, IDC_PWD_EDIT_RETYPE), WM_SETTEXT, 0, (LPARAM)L"first1");
        return IDC_PWD_OK;
    }, 1);
    DWORD pid = 0;
    HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
    WatchProcess(pid);
    EXPECT_EQ(WaitExit(hRun, kStartMs), 0);
    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(L"E:\\KIV\\KIV.pwd"));
    EXPECT_TRUE(store.GetCurrentPwd() == L"first1");
    HWND hFrame = WaitForMainWindow(kStartMs);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(ExitMainWindow(hFrame), 0);
}

TEST_F(ExplorerProcessTest, MessagesPostedByAnotherProgramWithAddressesChangeNothing) {
    Watchdog dog(240000, "foreign messages");
    SetPassword(L"abc123");
    DialogAnswerer answerer;
    HWND hFrame = StartLoggedIn(answerer, L"abc123");
    ASSERT_TRUE(hFrame);
    DWORD framePid = 0;
    ::GetWindowThreadProcessId(hFrame, &framePid);
    HWND hTree = FindDescendant(hFrame, L"SysTreeView32");
    HWND hDropWnd = WaitForProcessWindow(framePid, [](HWND h) {
        return ClassNameOf(h) == L"#32770" && (::GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    }, 10000);
    ASSERT_TRUE(hTree && hDropWnd);

    // A finished batch, shell events, the tree's drive removal and sub-folder
    // message and the drop window's drive messages, each naming memory that
    // is not there.
    const WPARAM kJunk = 0x1000;
    EXPECT_TRUE(::PostMessageW(hFrame, 0x80C8, kJunk, 0));            // WM_TASKTHREAD_DONE
    EXPECT_TRUE(::PostMessageW(hFrame, 0x464, kJunk, SHCNE_DRIVEREMOVED));  // WM_SHELL_CHANGE_NOTIFY
    EXPECT_TRUE(::PostMessageW(hTree, 0x46C, kJunk, SHCNE_DRIVEREMOVED));   // WM_SHELL_DRIVE_REMOVED
    EXPECT_TRUE(::PostMessageW(hTree, 0x464, kJunk, 0x80));               // the tree's own shell event
    EXPECT_TRUE(::PostMessageW(hTree, 0x8190, kJunk, 0x2000));            // WM_SUBFOLDER_CHANGED
    EXPECT_TRUE(::PostMessageW(hDropWnd, 0x81F5, kJunk, 0));          // WM_DROPWIN_DRIVE_ARRIVED
    EXPECT_TRUE(::PostMessageW(hDropWnd, 0x81F6, kJunk, 0));          // WM_DROPWIN_DRIVE_REMOVED
    DWORD_PTR r = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(hFrame, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &r));
    PumpFor(500);

    // Still there, its drive still in the tree, and it ends as usual.
    ASSERT_TRUE(::IsWindow(hFrame));
    HTREEITEM hRoot = (HTREEITEM)::SendMessageW(hTree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    EXPECT_TRUE(RemoteTreeItemText(hTree, hRoot) == L"E:\\");
    EXPECT_EQ(ExitMainWindow(hFrame), 0);
}

TEST_F(ExplorerProcessTest, WithTheTemporaryFolderAtTheDriveRootExitKeepsThePasswordFolder) {
    Watchdog dog(240000, "temporary folder at the drive root");
    SetPassword(L"abc123");
    const std::string history = ReadAll(L"E:\\KIV\\KIV.pwd");
    // The program and the copy it starts see TEMP and TMP at E:\ (the test's
    // own runtime keeps its copy of the old values).
    struct Environment {
        WCHAR temp[MAX_PATH] = {0}, tmp[MAX_PATH] = {0};
        Environment() {
            ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
            ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
            ::SetEnvironmentVariableW(L"TEMP", L"E:\\");
            ::SetEnvironmentVariableW(L"TMP", L"E:\\");
        }
        ~Environment() {
            ::SetEnvironmentVariableW(L"TEMP", temp);
            ::SetEnvironmentVariableW(L"TMP", tmp);
        }
    } environment;
    DialogAnswerer answerer;
    HWND hFrame = StartLoggedIn(answerer, L"abc123");
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(ExitMainWindow(hFrame), 0);
    EXPECT_TRUE(ReadAll(L"E:\\KIV\\KIV.pwd") == history);
    EXPECT_NE(::GetFileAttributesW(L"E:\\KIV\\KIV.pwd") & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(ExplorerProcessTest, AFirstStartFromAWriteProtectedDriveSaysSoAndLeavesTheInstallation) {
    const CString root = WriteProtectedRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no write-protected drive";
    Watchdog dog(240000, "first start from a write-protected drive");
    // The program on the locked card, put there through the writable drive,
    // and no KIV folder yet; an installation from an earlier start.
    const CString program = root + L"KIV.exe";
    ASSERT_TRUE(::CopyFileW(BuiltFile(L"KIV.exe"), WriteProtectedFillPath(program), FALSE));
    ::RemoveDirectoryW(WriteProtectedFillPath(root + L"KIV"));
    ASSERT_EQ(::GetFileAttributesW(root + L"KIV"), INVALID_FILE_ATTRIBUTES);
    const CString module = GetFolderPart(InstalledProgram()) + L"\\KIVShellExt.dll";
    CreateFolderTree(GetFolderPart(InstalledProgram()));
    // The earlier runs' unregistration may still hold the installed program.
    ASSERT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe"); }, 30000));
    ASSERT_TRUE(::CopyFileW(BuiltFile(L"KIV.exe"), InstalledProgram(), FALSE));
    ASSERT_TRUE(::CopyFileW(BuiltFile(L"KIVShellExt.dll"), module, FALSE));
    const std::string installed = ReadAll(InstalledProgram()), dll = ReadAll(module);

    DialogAnswerer answerer;
    answerer.Answer(L"KIV", nullptr, IDOK);
    DWORD pid = 0;
    HANDLE hRun = StartProgram(program, CString(), &pid);
    ASSERT_TRUE(hRun);
    WatchProcess(pid);
    EXPECT_NE(WaitExit(hRun, kStartMs), -1);
    ASSERT_EQ(answerer.SeenCount(), 1u);
    CString text;
    text.Format(L"The drive %s is write-protected.", (LPCWSTR)root.Left(2));
    EXPECT_TRUE(answerer.Seen()[0].HasText(text)) << answerer.Seen()[0].AllText().ToUtf8();
    EXPECT_TRUE(ReadAll(InstalledProgram()) == installed);
    EXPECT_TRUE(ReadAll(module) == dll);
    EXPECT_EQ(::GetFileAttributesW(root + L"KIV"), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(WriteProtectedFillPath(program));
}

TEST_F(ExplorerProcessTest, AnExitRequestWhileTheListsMenuIsOpenEndsTheProgramCleanlyAfterEsc) {
    Watchdog dog(240000, "exit request in the menu");
    SetPassword(L"abc123");
    DialogAnswerer answerer;
    HWND hFrame = StartLoggedIn(answerer, L"abc123");
    ASSERT_TRUE(hFrame);
    DWORD framePid = 0;
    ::GetWindowThreadProcessId(hFrame, &framePid);
    HANDLE hMain = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, framePid);
    ASSERT_TRUE(hMain);
    ASSERT_TRUE(PumpUntil([] { return RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath"); }, 30000));
    HWND hList = FindDescendant(hFrame, L"SysListView32");
    ASSERT_TRUE(PumpUntil([&] { return ::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0) > 0; }, 10000));

    // The user right-clicks a file and leaves the menu open.
    RECT rc = RemoteListItemRect(hList, 0, LVIR_LABEL);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ::PostMessageW(hList, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
    ::PostMessageW(hList, WM_RBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    HWND hMenu = WaitForProcessWindow(framePid, [](HWND h) { return ClassNameOf(h) == L"#32768"; }, 10000);
    ASSERT_TRUE(hMenu);

    // Another program asks for the exit, as the tree does when the drive
    // goes; the program waits for the menu. Then Esc.
    ::PostMessageW(hFrame, WM_CLOSE, 1, 1);
    PumpFor(700);
    EXPECT_TRUE(::IsWindow(hFrame));
    ::PostMessageW(hMenu, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageW(hList, WM_KEYDOWN, VK_ESCAPE, 0);

    // It ends by itself, without a crash, and its clean-up ran.
    EXPECT_EQ(WaitExit(hMain, 30000), 0);
    EXPECT_TRUE(PumpUntil([] { return !RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath"); }, 30000));
    EXPECT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe") && !ProcessRunning(L"regsvr32.exe"); }, 30000));
}

// With a file where the install folder goes, the start names the folder and
// the cause, every time, and never says that the program runs.
TEST_F(ExplorerProcessTest, AnInstallFolderThatCannotBeMadeIsNamedWithItsCause) {
    Watchdog dog(240000, "install folder in the way");
    SetPassword(L"abc123");
    ASSERT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe"); }, 30000));
    // An earlier installation is put aside and back again.
    const CString folder = GetFolderPart(InstalledProgram());
    struct FileInTheWay {
        CString folder, aside;
        bool moved = false, made = false;
        explicit FileInTheWay(const CString& f) : folder(f), aside(f + L" aside") {
            moved = ::PathFileExistsW(folder) && ::MoveFileExW(folder, aside, 0);
            if (!::PathFileExistsW(folder)) WriteAll(folder, "in the way");
            made = ReadAll(folder) == "in the way";
        }
        ~FileInTheWay() {
            if (made) ::DeleteFileW(folder);
            if (moved) ::MoveFileExW(aside, folder, 0);
        }
    } inTheWay(folder);
    ASSERT_TRUE(inTheWay.made);

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        DialogAnswerer answerer;
        LoginWith(answerer, L"abc123");
        answerer.Answer(L"KIV", nullptr, IDOK);
        DWORD pid = 0;
        HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
        ASSERT_TRUE(hRun);
        WatchProcess(pid);
        EXPECT_NE(WaitExit(hRun, kStartMs), -1);
        ASSERT_EQ(answerer.SeenCount(), 2u);
        const DialogInfo box = answerer.Seen()[1];
        EXPECT_TRUE(box.caption == L"KIV");
        EXPECT_TRUE(box.HasText(folder)) << box.AllText().ToUtf8();
        EXPECT_TRUE(box.HasText(L"A file of that name stands there")) << box.AllText().ToUtf8();
        EXPECT_FALSE(box.HasText(L"Program has beed executed!"));
        EXPECT_FALSE(ProcessRunning(L"KIV.exe"));
    }
    EXPECT_EQ(ReadAll(folder), "in the way");
}

// Where the folder built from the logon name is missing (a moved folder, a
// renamed account, a Microsoft or domain account), the program installs
// into the folder the system names for the user, not into the system
// folder.
TEST_F(ExplorerProcessTest, WithTheApplicationDataFolderMovedTheProgramInstallsWhereTheSystemKeepsIt) {
    Watchdog dog(240000, "moved application-data folder");
    SetPassword(L"abc123");
    ASSERT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe") && !ProcessRunning(L"regsvr32.exe"); }, 30000));
    const CString inSystem = GetSystemDir() + L"\\KIV\\KIV.exe";
    WIN32_FILE_ATTRIBUTE_DATA before = {}, after = {};
    const bool bSystemCopy = ::GetFileAttributesExW(inSystem, GetFileExInfoStandard, &before) != FALSE;
    {
        MovedAppData moved(true);
        ASSERT_TRUE(moved.Ready());
        WCHAR appData[MAX_PATH] = {0};
        ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
        ASSERT_EQ(moved.MovedTo().CompareNoCase(appData), 0) << CString(appData).ToUtf8();
        const CString installed = moved.MovedTo() + L"\\KIV\\KIV.exe";
        ::DeleteFileW(installed);
        DialogAnswerer answerer;
        LoginWith(answerer, L"abc123");
        DWORD pid = 0;
        HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
        WatchProcess(pid);
        EXPECT_EQ(WaitExit(hRun, kStartMs), 0);
        // The main window of whichever installed copy started.
        HWND hFrame = WaitForForeignWindow([](HWND h) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(h, &pid);
            return FindDescendant(h, L"SysTreeView32") && FindDescendant(h, L"SysListView32") &&
                   GetFileNamePart(ProcessImage(pid)).CompareNoCase(L"KIV.exe") == 0;
        }, kStartMs);
        ASSERT_TRUE(hFrame);
        DWORD framePid = 0;
        ::GetWindowThreadProcessId(hFrame, &framePid);
        EXPECT_EQ(ProcessImage(framePid).CompareNoCase(installed), 0) << ProcessImage(framePid).ToUtf8();
        EXPECT_TRUE(::PathFileExistsW(installed));
        if (::PathFileExistsW(installed)) {
            EXPECT_EQ(ReadAll(installed), ReadAll(L"E:\\KIV.exe"));
        }
        EXPECT_EQ(ExitMainWindow(hFrame), 0);
        // The exit's unregistration runs from the folder too; it ends before
        // the folder goes back.
        EXPECT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe") && !ProcessRunning(L"regsvr32.exe"); }, 30000));
    }
    const bool bSystemCopyAfter = ::GetFileAttributesExW(inSystem, GetFileExInfoStandard, &after) != FALSE;
    EXPECT_EQ(bSystemCopyAfter, bSystemCopy);
    if (bSystemCopy && bSystemCopyAfter) {
        EXPECT_EQ(::CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0);
    }
}
