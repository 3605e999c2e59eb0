// The drive run of the start-up: the program must start from a removable
// drive, then logs the user in or has the first password created.
#include "app/KIVApp.h"
#include "password/KivPwd.h"
#include "password/PwdDlg.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/Watchdog.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include <gtest/gtest.h>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::DriveRun;
    using CKIVApp::InstalledCheck;
    using CKIVApp::IsOnRemovableDrive;
};
TestApp theApp;

// The system's words for an error, as the user reads them.
CString SystemText(DWORD dwError) {
    LPWSTR psz = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, dwError, 0, (LPWSTR)&psz, 0, nullptr);
    CString text(psz);
    LocalFree(psz);
    text.TrimRight();
    return text;
}

void RemovePwdFile() {
    SetFileAttributesW(L"E:\\KIV\\KIV.pwd", FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(L"E:\\KIV\\KIV.pwd");
    RemoveDirectoryW(L"E:\\KIV");
}
}  // namespace

TEST(StartupTest, OnlyARemovableDriveCounts) {
    struct { LPCWSTR module; bool removable; } cases[] = {
        {L"E:\\KIV.exe", true}, {L"e:\\tools\\KIV.exe", true}, {L"C:\\windows\\KIV.exe", false}, {L"", false}};
    for (auto& c : cases) {
        theApp.m_strModulePath = c.module;
        EXPECT_EQ(theApp.IsOnRemovableDrive() != FALSE, c.removable) << CString(c.module).ToUtf8();
    }
}

TEST(StartupTest, AFixedDriveIsRefusedWithItsMessage) {
    DialogAnswerer answerer;
    answerer.Answer(L"KIV", L"Please launch this program from Brivon Velto!", IDOK);
    theApp.m_strModulePath = L"C:\\windows\\KIV.exe";
    BOOL result = TRUE;
    RunWithTimeout(30000, "drive run from C:", [&] { result = theApp.DriveRun(); });
    EXPECT_FALSE(result);
    ASSERT_EQ(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].HasText(L"Please launch this program from Brivon Velto!"));
}

TEST(StartupTest, FirstStartCreatesThePasswordThenLogsIn) {
    RemovePwdFile();
    theApp.m_strModulePath = L"E:\\KIV.exe";
    // An install folder that cannot be made: after the login the run ends
    // with the message of a failed installation.
    theApp.m_strInstallDir = L"E:\\no such folder\\KIV";
    DialogAnswerer answerer;
    answerer.Answer(L"KIV", nullptr, IDOK);
    // Create mode: type the password twice and confirm.
    answerer.OnDialog(L"Create Password", nullptr, [](HWND h, const DialogInfo&) {
        SetDlgItemTextW(h, IDC_PWD_EDIT_NEW, L"abc123");
        SetDlgItemTextW(h, IDC_PWD_EDIT_RETYPE, L"abc123");
        return IDC_PWD_OK;
    }, 1);
    RunWithTimeout(30000, "first drive run", [&] { EXPECT_FALSE(theApp.DriveRun()); });
    ASSERT_EQ(answerer.SeenCount(), 2u);
    EXPECT_TRUE(answerer.Seen()[1].HasText(L"E:\\no such folder\\KIV")) << answerer.Seen()[1].AllText().ToUtf8();
    EXPECT_FALSE(answerer.Seen()[1].HasText(L"Program has beed executed!"));
    EXPECT_TRUE(theApp.m_strDrivePath == L"E:");
    EXPECT_TRUE(theApp.m_strPwdFile == L"e:\\KIV\\KIV.pwd");
    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(L"E:\\KIV\\KIV.pwd"));
    EXPECT_TRUE(store.GetCurrentPwd() == L"abc123");

    // The file exists now: the next run asks for the login.
    answerer.ClearSeen();
    answerer.Answer(L"Login", nullptr, IDC_PWD_CANCEL, 1);
    RunWithTimeout(30000, "second drive run", [&] { EXPECT_FALSE(theApp.DriveRun()); });
    ASSERT_GE(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].caption == L"Login");
    RemovePwdFile();
}

TEST(StartupTest, AFirstStartFromAWriteProtectedDriveSaysSoAndLeavesTheInstallation) {
    const CString root = WriteProtectedRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no write-protected drive";
    RemoveDirectoryW(WriteProtectedFillPath(root + L"KIV"));  // no KIV folder yet
    // An installation from an earlier start.
    TempDir install(L"E:\\");
    theApp.m_strInstallDir = install.Path();
    theApp.m_strShellExtDll = install.File(L"KIVShellExt.dll");
    theApp.m_strInstalledExe = install.File(L"KIV.exe");
    WriteAll(theApp.m_strShellExtDll, "the module");
    WriteAll(theApp.m_strInstalledExe, "the program");
    theApp.m_strModulePath = root + L"KIV.exe";

    DialogAnswerer answerer;
    answerer.Answer(L"KIV", nullptr, IDOK);
    BOOL result = TRUE;
    RunWithTimeout(30000, "drive run from a locked drive", [&] { result = theApp.DriveRun(); });
    EXPECT_FALSE(result);
    ASSERT_EQ(answerer.SeenCount(), 1u);
    CString text;
    text.Format(L"The drive %s is write-protected.", (LPCWSTR)root.Left(2));
    EXPECT_TRUE(answerer.Seen()[0].HasText(text)) << answerer.Seen()[0].AllText().ToUtf8();
    EXPECT_EQ(ReadAll(theApp.m_strShellExtDll), "the module");
    EXPECT_EQ(ReadAll(theApp.m_strInstalledExe), "the program");
    EXPECT_EQ(GetFileAttributesW(root + L"KIV"), INVALID_FILE_ATTRIBUTES);
}

// A failed installation says which folder and why; only an installed
// program that is in use means that the installed copy runs.
TEST(StartupTest, AFailedInstallationNamesTheFolderAndTheCause) {
    TempDir dir(L"E:\\");
    const CString program = dir.File(L"KIV.exe");
    WriteAll(program, "the program");
    const CString inUse = dir.File(L"in use");
    ASSERT_TRUE(CreateDirectoryW(inUse, nullptr));
    WriteAll(inUse + L"\\KIV.exe", "the installed copy");
    WriteAll(dir.File(L"a file"), "not a folder");
    struct Row {
        const char* what;
        CString folder;
        CString cause;  // empty: string 178
    } rows[] = {
        {"a file where the folder goes", dir.File(L"a file"), L"A file of that name stands there, so the folder cannot be made."},
        {"the folder's parent missing", dir.File(L"no such folder\\KIV"), SystemText(ERROR_PATH_NOT_FOUND)},
        {"the installed program in use", inUse, CString()},
    };
    ASSERT_FALSE(rows[1].cause.IsEmpty());
    // Held as the running installed copy holds its own file.
    HANDLE hHeld = CreateFileW(inUse + L"\\KIV.exe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        theApp.m_strModulePath = program;
        theApp.m_strInstallDir = r.folder;
        theApp.m_strShellExtDll = r.folder + L"\\KIVShellExt.dll";
        theApp.m_strDrivePath = L"E:";
        DialogAnswerer answerer;
        answerer.Answer(L"KIV", nullptr, IDOK);
        BOOL result = TRUE;
        RunWithTimeout(30000, "installation", [&] { result = theApp.InstalledCheck(); });
        EXPECT_FALSE(result);
        ASSERT_EQ(answerer.SeenCount(), 1u);
        const DialogInfo box = answerer.Seen()[0];
        if (r.cause.IsEmpty()) {
            EXPECT_TRUE(box.HasText(L"Program has beed executed!")) << box.AllText().ToUtf8();
        } else {
            EXPECT_TRUE(box.HasText(r.folder)) << box.AllText().ToUtf8();
            EXPECT_TRUE(box.HasText(r.cause)) << box.AllText().ToUtf8();
            EXPECT_FALSE(box.HasText(L"Program has beed executed!"));
        }
    }
    CloseHandle(hHeld);
    EXPECT_EQ(ReadAll(dir.File(L"a file")), "not a folder");
    EXPECT_EQ(ReadAll(inUse + L"\\KIV.exe"), "the installed copy");
}
