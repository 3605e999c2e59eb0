// KIV.exe's ties to the desktop shell, as the system meets them: the drive
// run installs and registers, Exit and the end of the Windows session undo
// it, the registration runs by hand, the shell extension's "compress" and
// "uncompress" runs over a clipboard list, and archives opened from the shell. Every case runs on the default
// version (6.1) and on winxp64, whose runs take the other branches.
#include "app/KIVApp.h"
#include "app/ShellExecPath.h"
#include "fileops/PathFunctions.h"
#include "password/PwdDlg.h"
#include "tests/support/win/ProgramRun.h"
#include "tests/support/win/RemoteWindow.h"
#include "tests/support/win/CardReader.h"
#include "tests/support/win/ShellList.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include "tests/win/HandlerTestSupport.h"
#include <shlwapi.h>

using namespace ht;

namespace {
struct DriveApp : CKIVApp {
    DriveApp() { m_strDrivePath = L"E:"; }
} theApp;

const DWORD kRunMs = 90000;
const LPCWSTR kClsidKey = L"CLSID\\{3244BEAB-491D-4009-AF5F-92607FF1E094}";
const LPCWSTR kMenuKey = L"*\\shellex\\ContextMenuHandlers\\KivShlExt";
const LPCWSTR kApproved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const LPCWSTR kClsid = L"{3244BEAB-491D-4009-AF5F-92607FF1E094}";

bool Registered() {
    return RegText(HKEY_CLASSES_ROOT, L".kvf") == L"KVFile" && RegKeyExists(HKEY_CLASSES_ROOT, kClsidKey) &&
           RegKeyExists(HKEY_CLASSES_ROOT, kMenuKey) && RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath");
}

bool NothingRegistered() {
    return !RegKeyExists(HKEY_CLASSES_ROOT, L".kvf") && !RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile") &&
           !RegKeyExists(HKEY_CLASSES_ROOT, kClsidKey) && !RegKeyExists(HKEY_CLASSES_ROOT, kMenuKey) &&
           RegText(HKEY_LOCAL_MACHINE, kApproved, kClsid) == L"<missing>";
}

void ClearRegistrations() {
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L".kvf");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"KVFile");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, kClsidKey);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, kMenuKey);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kApproved, kClsid);
}

// Removes a folder tree whose paths may pass 260 characters.
void RemoveTree(const CString& root) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(root + L"\\*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            CString name(fd.cFileName);
            if (name == L"." || name == L"..") continue;
            CString p = root + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(p);
            else {
                SetFileAttributesW(p, FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(p);
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(root);
}

std::vector<CString> Tree(const CString& root) {
    std::vector<CString> all;
    ListTree(root, L"", all);
    std::sort(all.begin(), all.end());
    return all;
}

// The dialogs of every running KIV.exe, read and cancelled (the progress
// dialogs left alone) until none runs; the ones that are not progress.
std::vector<DialogInfo> AnswerKivRunsToTheirEnd(DWORD timeoutMs) {
    struct Walk {
        std::vector<DialogInfo> seen;
        std::vector<HWND> answered;
    } walk;
    PumpUntil([&] {
        EnumWindows([](HWND h, LPARAM p) -> BOOL {
            Walk& w = *(Walk*)p;
            WCHAR cls[16] = {0};
            GetClassNameW(h, cls, 16);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (!IsWindowVisible(h) || lstrcmpW(cls, L"#32770") != 0 || ProcessImage(pid).Right(8).CompareNoCase(L"\\KIV.exe"))
                return TRUE;
            DialogInfo d = ReadDialog(h);
            // A progress dialog closing while it was read leaves empty texts:
            // a window gone by then was no box.
            if (!IsWindow(h) || d.caption.Find(L"...") >= 0 ||
                std::find(w.answered.begin(), w.answered.end(), h) != w.answered.end())
                return TRUE;
            w.answered.push_back(h);
            w.seen.push_back(d);
            ClickButton(h, IDCANCEL);
            return TRUE;
        }, (LPARAM)&walk);
        return !ProcessRunning(L"KIV.exe");
    }, timeoutMs);
    return walk.seen;
}

CString Texts(const std::vector<DialogInfo>& boxes) {
    CString all;
    for (const DialogInfo& d : boxes) all += d.caption + L": " + d.AllText() + L"\n";
    return all;
}

class ShellRunsTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    bool Xp() const { return GetParam()[0] != 0; }
    CString InstallDir() const { return (Xp() ? GetSystemDir() : GetAppDataDir(TRUE)) + L"\\KIV"; }
    CString Installed() const { return InstallDir() + L"\\KIV.exe"; }

    void SetUp() override {
        SetWineVersion(L"KIV.exe", GetParam());
        ASSERT_TRUE(CopyFileW(BuiltFile(L"KIV.exe"), L"E:\\KIV.exe", FALSE));
        ClearRegistrations();
    }
    void TearDown() override {
        WatchProcess(0);
        SetWineVersion(L"KIV.exe", nullptr);
    }
    // The installed copy and its module, as the drive run leaves them.
    void Install() {
        CreateDirectoryW(InstallDir(), nullptr);
        ASSERT_TRUE(CopyFileW(BuiltFile(L"KIV.exe"), Installed(), FALSE));
        ASSERT_TRUE(CopyFileW(BuiltFile(L"KIVShellExt.dll"), InstallDir() + L"\\KIVShellExt.dll", FALSE));
    }
    // Runs the installed copy with the arguments to its end.
    int RunInstalled(const CString& args) {
        DWORD pid = 0;
        HANDLE h = StartProgram(Installed(), args, &pid);
        WatchProcess(pid);
        return WaitExit(h, kRunMs);
    }
};
}  // namespace

TEST_P(ShellRunsTest, DriveRunRegistersAndExitUndoesIt) {
    Watchdog dog(300000, "registration road");
    DrivePassword pwd({L"abc123"});
    DeleteFileW(Installed());
    DeleteFileW(InstallDir() + L"\\KIVShellExt.dll");
    DialogAnswerer answerer;
    answerer.OnDialog(L"Login", nullptr, [](HWND h, const DialogInfo&) {
        ::SendMessageW(::GetDlgItem(h, IDC_PWD_EDIT_OLD), WM_SETTEXT, 0, (LPARAM)L"abc123");
        return IDC_PWD_OK;
    }, 1);
    DWORD pid = 0;
    HANDLE hRun = StartProgram(L"E:\\KIV.exe", CString(), &pid);
    WatchProcess(pid);
    EXPECT_EQ(WaitExit(hRun, kRunMs), 0);

    // Installed: the program and the module it carries, byte for byte.
    EXPECT_EQ(ReadAll(Installed()), ReadAll(L"E:\\KIV.exe"));
    EXPECT_EQ(ReadAll(InstallDir() + L"\\KIVShellExt.dll"), ReadAll(BuiltFile(L"KIVShellExt.dll")));
    HWND hFrame = WaitForForeignWindow([&](HWND h) {
        DWORD p = 0;
        GetWindowThreadProcessId(h, &p);
        return FindDescendant(h, L"SysTreeView32") && ProcessImage(p).CompareNoCase(Installed()) == 0;
    }, kRunMs);
    ASSERT_TRUE(hFrame);

    // Registered: the type, its open command, the drive folder, the module.
    ASSERT_TRUE(PumpUntil(Registered, 30000));
    WCHAR shortExe[MAX_PATH] = {0};
    GetShortPathNameW(Installed(), shortExe, MAX_PATH);
    EXPECT_TRUE(RegText(HKEY_CLASSES_ROOT, L"KVFile\\shell\\open\\command").CompareNoCase(CString(shortExe) + L" \"%1\"") == 0)
        << RegText(HKEY_CLASSES_ROOT, L"KVFile\\shell\\open\\command").ToUtf8();
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile\\shell\\open\\ddeexec"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"KVFile\\shell\\print"));
    EXPECT_TRUE(RegText(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath") == L"E:");
    CString inproc = RegText(HKEY_CLASSES_ROOT, CString(kClsidKey) + L"\\InprocServer32");
    EXPECT_EQ(inproc.CompareNoCase(InstallDir() + L"\\KIVShellExt.dll"), 0) << inproc.ToUtf8();
    EXPECT_TRUE(RegText(HKEY_CLASSES_ROOT, kMenuKey) == kClsid);
    EXPECT_TRUE(RegText(HKEY_LOCAL_MACHINE, kApproved, kClsid) == L"KIVShlExt extension");

    // Exit: every registration goes; the installed files, the drive's
    // password and a folder this run did not make stay; nothing is left
    // running.
    CString drag = GetTempDir() + L"\\KIV\\KIV$010203";
    CreateFolderTree(drag);
    WriteAll(drag + L"\\a.txt", "x");
    DWORD framePid = 0;
    GetWindowThreadProcessId(hFrame, &framePid);
    HANDLE hMain = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, framePid);
    PostMessageW(hFrame, WM_COMMAND, 32786, 0);
    EXPECT_EQ(WaitExit(hMain, kRunMs), 0);
    EXPECT_TRUE(PumpUntil(NothingRegistered, 30000));
    EXPECT_TRUE(PathFileExistsW(drag + L"\\a.txt"));
    DeleteFolderTree(GetTempDir() + L"\\KIV");
    EXPECT_TRUE(PathFileExistsW(Installed()));
    EXPECT_TRUE(PathFileExistsW(InstallDir() + L"\\KIVShellExt.dll"));
    EXPECT_TRUE(PathFileExistsW(L"E:\\KIV\\KIV.pwd"));
    EXPECT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe") && !ProcessRunning(L"regsvr32.exe"); }, 30000));
}

TEST_P(ShellRunsTest, SessionEndUndoesTheRegistrationsBeforeTheProcessIsEnded) {
    Watchdog dog(300000, "session end");
    DrivePassword pwd({L"abc123"});
    Install();
    DWORD pid = 0;
    HANDLE hRun = StartProgram(Installed(), L"-g E:", &pid);
    ASSERT_TRUE(hRun);
    WatchProcess(pid);
    HWND hFrame = WaitForProcessWindow(pid, [](HWND h) { return FindDescendant(h, L"SysTreeView32") != nullptr; },
                                       kRunMs);
    ASSERT_TRUE(hFrame);
    ASSERT_TRUE(PumpUntil(Registered, 30000));
    CString drag = GetTempDir() + L"\\KIV\\KIV$010203";
    CreateFolderTree(drag);
    WriteAll(drag + L"\\a.txt", "x");

    // As the system ends a session: both questions answered, then the
    // process is ended without its message loop coming back.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(hFrame, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 30000, &answer));
    EXPECT_EQ(answer, 1u);
    ASSERT_TRUE(SendMessageTimeoutW(hFrame, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &answer));
    TerminateProcess(hRun, 0);
    WaitExit(hRun, kRunMs);

    EXPECT_TRUE(PumpUntil(NothingRegistered, 30000));
    EXPECT_TRUE(PathFileExistsW(drag + L"\\a.txt"));  // not this run's
    DeleteFolderTree(GetTempDir() + L"\\KIV");
    EXPECT_TRUE(PathFileExistsW(L"E:\\KIV\\KIV.pwd"));
    EXPECT_TRUE(PumpUntil([] { return !ProcessRunning(L"KIV.exe") && !ProcessRunning(L"regsvr32.exe"); }, 30000));
}

TEST_P(ShellRunsTest, RegistrationRunsByHandOnlyRegister) {
    Install();
    EXPECT_EQ(RunInstalled(L"-g set_reg E:\\tools"), 0);
    ASSERT_TRUE(PumpUntil(Registered, 30000));
    EXPECT_TRUE(RegText(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath") == L"E:\\tools");
    EXPECT_EQ(RunInstalled(L"-g del_reg "), 0);
    EXPECT_TRUE(PumpUntil(NothingRegistered, 30000));
    EXPECT_TRUE(PumpUntil([] { return !ProcessRunning(L"regsvr32.exe"); }, 30000));
}

TEST_P(ShellRunsTest, CompressAndUncompressTheClipboardList) {
    Watchdog dog(400000, "shell commands");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    CString dir = L"E:\\shell";
    RemoveTree(dir);
    CreateFolderTree(dir);
    // The full list (256 paths, one of 255 characters, the longest whose
    // archive still fits in 259) once; a short one on the other version,
    // which reads the list the same way.
    int count = Xp() ? 3 : 256;
    std::vector<CString> paths;
    for (int i = 0; i < count - 1; ++i) {
        CString p;
        p.Format(L"%s\\f%03d.txt", (LPCWSTR)dir, i);
        PutFile(p, "data " + std::to_string(i));
        paths.push_back(p);
    }
    CString longName = dir + L"\\";
    while (longName.GetLength() < 251) longName += L"x";
    longName += L".txt";
    ASSERT_EQ(longName.GetLength(), 255);
    PutFile(longName, "the long one");
    paths.push_back(longName);

    // Forged lists and an empty clipboard end the run with nothing written.
    std::vector<CString> before = Tree(dir);
    std::vector<std::vector<WORD>> forged = {
        {}, {12, 0, 0, 0, 9, 0, 3, 0, 'E', ':', '\\', 0}, {12, 0, 0, 0, 1, 0, 0, 0, 'E', 0, 0, 0}};
    for (auto& block : forged) {
        ASSERT_TRUE(PutShellListBlock(block));
        EXPECT_EQ(RunInstalled(L"compress"), 0);
        EXPECT_EQ(Tree(dir), before);
    }

    // No question and no message on the way.
    DialogAnswerer answerer;
    answerer.Ignore(L"Compressing...");
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDCANCEL);
    ASSERT_TRUE(PutShellListBlock(MakeShellList(paths)));
    EXPECT_EQ(RunInstalled(L"compress"), 0);
    std::vector<CString> archives;
    for (const CString& p : paths) {
        EXPECT_TRUE(Exists(p)) << U8(p);  // the sources stay
        EXPECT_TRUE(Exists(p + L".kvf")) << U8(p);
        archives.push_back(p + L".kvf");
    }
    std::vector<Facts> originals;
    for (const CString& p : paths) {
        originals.push_back(FactsOf(p));
        DeleteFileW(p);
    }
    // A plain file in the list is not decompressed.
    PutFile(dir + L"\\plain.txt", "plain");
    archives.push_back(dir + L"\\plain.txt");
    ASSERT_TRUE(PutShellListBlock(MakeShellList(archives)));
    EXPECT_EQ(RunInstalled(L"uncompress"), 0);
    for (size_t i = 0; i < paths.size(); ++i) {
        Facts f = FactsOf(paths[i]);
        EXPECT_EQ(f.bytes, originals[i].bytes) << U8(paths[i]);
        EXPECT_EQ(f.mtime, originals[i].mtime) << U8(paths[i]);
        EXPECT_TRUE(Exists(archives[i])) << U8(archives[i]);  // the archives stay
    }
    EXPECT_FALSE(Exists(dir + L"\\plain"));
    for (const DialogInfo& d : answerer.Seen())
        if (d.caption.Find(L"...") < 0) ADD_FAILURE() << U8(d.caption) << ": " << U8(d.AllText());
    RemoveTree(dir);
}

TEST_P(ShellRunsTest, AnArchiveOpenedFromTheShellIsRestoredBesideIt) {
    Watchdog dog(300000, "archive from the shell");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    CString dir = L"E:\\opened";
    RemoveTree(dir);
    CreateFolderTree(dir + L"\\sub.kvf");
    PutFile(dir + L"\\doc.bin", "the document", 0, 9);
    Facts original = FactsOf(dir + L"\\doc.bin");
    {
        Answers answers;
        answers.Finish();
        BatchRun run = RunBatch({{dir + L"\\doc.bin", dir + L"\\doc.bin", TASK_COMPRESS}});
        ASSERT_EQ(run.nStart, IDOK);
    }
    DeleteFileW(dir + L"\\doc.bin");
    WriteArchive(dir + L"\\foreign.bin.kvf", "foreign", "zzz999");
    WriteArchive(dir + L"\\.kvf", "sound, but with no name to restore", "abc123");
    PutFile(dir + L"\\plain.txt", "plain");

    DialogAnswerer answerer;
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDOK);

    // Restored beside the archive, bytes and time; the archive is gone.
    EXPECT_EQ(RunInstalled(L"\"" + dir + L"\\doc.bin.kvf\""), 0);
    Facts restored = FactsOf(dir + L"\\doc.bin");
    EXPECT_EQ(restored.bytes, original.bytes);
    EXPECT_EQ(restored.mtime, original.mtime);
    EXPECT_FALSE(Exists(dir + L"\\doc.bin.kvf"));

    // Another drive's archive: its message, and it stays.
    answerer.ClearSeen();
    RunInstalled(L"\"" + dir + L"\\foreign.bin.kvf\"");
    EXPECT_TRUE(Exists(dir + L"\\foreign.bin.kvf"));
    EXPECT_FALSE(Exists(dir + L"\\foreign.bin"));
    bool told = false;
    for (const DialogInfo& d : answerer.Seen()) told = told || d.HasText(L"Invalid password.");
    EXPECT_TRUE(told);

    // Not an archive, a folder, a relative name, a sound archive with
    // nothing before ".kvf": untouched.
    std::vector<CString> before = Tree(dir);
    for (CString arg : {dir + L"\\plain.txt", dir + L"\\sub.kvf", CString(L"plain.txt"), dir + L"\\.kvf"}) {
        RunInstalled(L"\"" + arg + L"\"");
        EXPECT_EQ(Tree(dir), before) << U8(arg);
    }

    // Without the drive folder in the registry the run says so and ends.
    DeleteShellExecPath();
    answerer.ClearSeen();
    answerer.Answer(L"KIV", L"Open Register Failed", IDOK);
    RunInstalled(L"\"" + dir + L"\\foreign.bin.kvf\"");
    ASSERT_GE(answerer.SeenCount(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].HasText(L"Open Register Failed"));
    EXPECT_TRUE(Exists(dir + L"\\foreign.bin.kvf"));
    RemoveTree(dir);
}

// Every way the shell hands over an archive restores exactly its one entry
// under the archive's name less one ".kvf", and only that restored file is
// opened.
TEST_P(ShellRunsTest, ShellRunsRestoreOneEntryUnderTheNameLessOneKvf) {
    Watchdog dog(300000, "shell runs and names");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    const CString dir = L"E:\\names";
    RemoveTree(dir);
    CreateFolderTree(dir);
    // A missing file reads as nothing, so a failed run fails its checks
    // instead of the whole test.
    auto Content = [](const CString& p) { return Exists(p) ? ReadAll(p) : std::string(); };
    DialogAnswerer answerer;
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDOK);

    // A file once named a.kvf, archived; an unrelated a beside it.
    WriteArchive(dir + L"\\a.kvf.kvf", "the archived a.kvf", "abc123");
    PutFile(dir + L"\\a", "unrelated");
    ASSERT_TRUE(PutShellListBlock(MakeShellList({dir + L"\\a.kvf.kvf"})));
    EXPECT_EQ(RunInstalled(L"uncompress"), 0);
    EXPECT_EQ(Content(dir + L"\\a.kvf"), "the archived a.kvf");
    EXPECT_EQ(Content(dir + L"\\a"), "unrelated");
    EXPECT_TRUE(Exists(dir + L"\\a.kvf.kvf"));  // uncompress keeps its archives
    DeleteFileW(dir + L"\\a.kvf");
    EXPECT_EQ(RunInstalled(L"\"" + dir + L"\\a.kvf.kvf\""), 0);
    EXPECT_EQ(Content(dir + L"\\a.kvf"), "the archived a.kvf");
    EXPECT_EQ(Content(dir + L"\\a"), "unrelated");
    EXPECT_FALSE(Exists(dir + L"\\a.kvf.kvf"));

    // Two entries, as another writer of the format may make them: refused
    // like any archive the program cannot read, and nothing is lost.
    {
        CZipFile zip;
        memset(zip.m_passwordField, 0, sizeof zip.m_passwordField);
        strncpy((char*)zip.m_passwordField, "abc123", 16);
        zip.Open(dir + L"\\two.txt.kvf");
        EntryFileInfo info;
        zip.BeginEntry(L"", info, 9, 8);
        zip.WriteEntryData(5, "first");
        zip.BeginEntry(L"", info, 9, 8);
        zip.WriteEntryData(6, "second");
        zip.Close();
    }
    const std::string two = Content(dir + L"\\two.txt.kvf");
    answerer.ClearSeen();
    RunInstalled(L"\"" + dir + L"\\two.txt.kvf\"");
    EXPECT_EQ(Content(dir + L"\\two.txt.kvf"), two);
    EXPECT_FALSE(Exists(dir + L"\\two.txt"));
    bool told = false;
    for (const DialogInfo& d : answerer.Seen()) told = told || d.HasText(L"Unkonwn file format.");
    EXPECT_TRUE(told);

    // The open step: a type whose "open" appends the opened file to a log.
    const CString log = dir + L"\\opened.log";
    RegSetValueW(HKEY_CLASSES_ROOT, L".kivopen", REG_SZ, L"KivOpenTest", 0);
    const CString command = L"C:\\windows\\system32\\cmd.exe /c type \"%1\" >> \"" + log + L"\"";
    RegSetValueW(HKEY_CLASSES_ROOT, L"KivOpenTest\\shell\\open\\command", REG_SZ, command, 0);
    // An old notes beside an archive of another drive: refused, the old
    // copy kept and not opened as if it were the archive's content.
    PutFile(dir + L"\\notes.kivopen", "old copy\r\n");
    WriteArchive(dir + L"\\notes.kivopen.kvf", "foreign\r\n", "zzz999");
    RunInstalled(L"\"" + dir + L"\\notes.kivopen.kvf\"");
    EXPECT_EQ(Content(dir + L"\\notes.kivopen"), "old copy\r\n");
    EXPECT_TRUE(Exists(dir + L"\\notes.kivopen.kvf"));
    // A sound one is restored and opened: the log then holds it alone.
    WriteArchive(dir + L"\\good.kivopen.kvf", "restored\r\n", "abc123");
    EXPECT_EQ(RunInstalled(L"\"" + dir + L"\\good.kivopen.kvf\""), 0);
    EXPECT_TRUE(PumpUntil([&] { return Content(log).find("restored") != std::string::npos; }, 20000));
    PumpUntil([] { return !ProcessRunning(L"cmd.exe"); }, 10000);
    EXPECT_EQ(Content(log).find("old copy"), std::string::npos) << Content(log);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L".kivopen");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"KivOpenTest");
    RemoveTree(dir);
}

// An archive whose restored name ends in a dot: restored under that very
// name beside its twin, and never handed to another program, which would
// open the twin by the plain path.
TEST_P(ShellRunsTest, AnOpenedArchiveWhoseNameNoProgramCanOpenIsRestoredAndSaidSo) {
    Watchdog dog(120000, "opened archive with an odd name");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    const CString dir = L"E:\\oddopen";
    RemoveTree(dir);
    CreateFolderTree(dir);
    DialogAnswerer answerer;
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDOK);
    WriteArchive(dir + L"\\tdo..kvf", "restored tdo-dot", "abc123");
    PutFile(dir + L"\\tdo", "the twin");
    EXPECT_EQ(RunInstalled(L"\"" + dir + L"\\tdo..kvf\""), 0);
    const CString exact = L"\\\\?\\" + dir + L"\\tdo.";
    EXPECT_TRUE(Exists(exact));
    if (Exists(exact)) EXPECT_EQ(ReadAll(exact), "restored tdo-dot");
    EXPECT_EQ(ReadAll(dir + L"\\tdo"), "the twin");
    bool told = false;
    for (const DialogInfo& d : answerer.Seen()) told = told || d.HasText(L"tdo. :The name ends in a dot");
    EXPECT_TRUE(told) << Texts(answerer.Seen());
    DeleteFileW(exact);
    RemoveTree(dir);
}

// Auto Compress on r1.txt, Auto Compress on r2.txt and Auto Decompress on
// r0.txt.kvf, chosen one right after the other through the real module:
// every program works on its own selection, once.
TEST_P(ShellRunsTest, ShellCommandsInARowEachDoTheirOwnSelectionOnce) {
    Watchdog dog(300000, "commands in a row");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    RegSetValueW(HKEY_CLASSES_ROOT, L"KVFile\\shell\\open\\command", REG_SZ, L"\"" + Installed() + L"\" \"%1\"", 0);
    const CString dir = L"E:\\inarow";
    RemoveTree(dir);
    CreateFolderTree(dir);
    PutFile(dir + L"\\r1.txt", "first");
    PutFile(dir + L"\\r2.txt", "second");
    WriteArchive(dir + L"\\r0.txt.kvf", "restored", "abc123");

    // The built module, the same as the installed one: loaded here, the
    // installed file could not be replaced by the next test's install.
    const CString dll = BuiltFile(L"KIVShellExt.dll");
    EXPECT_EQ(ChooseShellCommand(dll, {dir + L"\\r1.txt"}, 0), S_OK);
    EXPECT_EQ(ChooseShellCommand(dll, {dir + L"\\r2.txt"}, 0), S_OK);
    EXPECT_EQ(ChooseShellCommand(dll, {dir + L"\\r0.txt.kvf"}, 1), S_OK);
    // No question (a second compress of one file would ask to replace its
    // archive) and no message.
    std::vector<DialogInfo> boxes = AnswerKivRunsToTheirEnd(kRunMs);
    EXPECT_TRUE(boxes.empty()) << U8(Texts(boxes));

    EXPECT_TRUE(Exists(dir + L"\\r1.txt.kvf"));
    EXPECT_TRUE(Exists(dir + L"\\r2.txt.kvf"));
    EXPECT_TRUE(Exists(dir + L"\\r0.txt") && ReadAll(dir + L"\\r0.txt") == "restored");
    EXPECT_FALSE(Exists(dir + L"\\r0.txt.kvf.kvf"));
    EXPECT_EQ(ClipboardShellList(), TakenShellList());
    const std::vector<CString> expected = {L"\\r0.txt", L"\\r0.txt.kvf", L"\\r1.txt", L"\\r1.txt.kvf",
                                           L"\\r2.txt", L"\\r2.txt.kvf"};
    EXPECT_EQ(Tree(dir), expected);
    RemoveTree(dir);
}

// A list is worked by the one run it was chosen for, and never again.
TEST_P(ShellRunsTest, AListIsWorkedOnlyByTheRunItWasChosenFor) {
    Watchdog dog(300000, "taken lists");
    DrivePassword pwd({L"abc123"});
    Install();
    SetShellExecPath(L"E:");
    const CString dir = L"E:\\taken";
    RemoveTree(dir);
    CreateFolderTree(dir);
    PutFile(dir + L"\\a.txt", "a");
    DialogAnswerer answerer;
    answerer.Ignore(L"Compressing...");
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDCANCEL);

    ASSERT_TRUE(PutShellListBlock(MakeShellList({dir + L"\\a.txt"})));
    EXPECT_EQ(RunInstalled(L"compress"), 0);
    EXPECT_TRUE(Exists(dir + L"\\a.txt.kvf"));
    EXPECT_EQ(ClipboardShellList(), TakenShellList());
    // Started again by hand: the taken list is not worked a second time.
    DeleteFileW(dir + L"\\a.txt.kvf");
    EXPECT_EQ(RunInstalled(L"compress"), 0);
    EXPECT_FALSE(Exists(dir + L"\\a.txt.kvf"));

    // Chosen for the decompress: the compress leaves it to that run.
    WriteArchive(dir + L"\\b.txt.kvf", "b", "abc123");
    const std::vector<WORD> archives = MakeShellList({dir + L"\\b.txt.kvf"});
    HandOverSpec spec;
    spec.command = handover::kCommandUncompress;
    ASSERT_TRUE(PutShellHandOver(archives, spec));
    EXPECT_EQ(RunInstalled(L"compress"), 0);
    EXPECT_FALSE(Exists(dir + L"\\b.txt.kvf.kvf"));
    EXPECT_EQ(ClipboardShellList(), archives);
    EXPECT_EQ(RunInstalled(L"uncompress"), 0);
    EXPECT_TRUE(Exists(dir + L"\\b.txt") && ReadAll(dir + L"\\b.txt") == "b");
    EXPECT_EQ(ClipboardShellList(), TakenShellList());
    for (const DialogInfo& d : answerer.Seen())
        if (d.caption.Find(L"...") < 0) ADD_FAILURE() << U8(d.caption) << ": " << U8(d.AllText());
    RemoveTree(dir);
}

// KVFile\ShellExecPath left behind by a run whose exit never undid it:
// the letter names a drive that holds no password file (another drive, a
// locked card, none at all) or no drive. Each shell run makes nothing on it
// and says once which drive is missing.
TEST_P(ShellRunsTest, AStaleDriveRecordMakesNothingThereAndNamesTheDrive) {
    Watchdog dog(400000, "stale drive record");
    DrivePassword pwd({L"abc123"});  // the real drive keeps its password
    Install();
    struct Row {
        CString record;  // the stale drive folder
        CString root;    // where the chosen files are
        CString fill;    // where the test writes them (the same files)
        CString said;
        bool kivFile = false;  // a file named KIV at the root, where the password folder would be
    };
    std::vector<Row> rows;
    const CString card = CardReaderRoot(), locked = WriteProtectedRoot();
    if (!card.IsEmpty()) rows.push_back({card.Left(2), card, card, L"The Brivon Velto drive " + card.Left(2) + L" is not there."});
    if (!locked.IsEmpty())
        rows.push_back({locked.Left(2) + L"\\tools", locked, WriteProtectedFillRoot(),
                        L"The Brivon Velto drive " + locked.Left(2) + L" is not there."});
    rows.push_back({L"Q:", L"E:\\", L"E:\\", L"The Brivon Velto drive Q: is not there."});
    rows.push_back({L"tools", L"E:\\", L"E:\\", L"Please insert Brivon Velto Drive first!"});
    // Not a missing drive: what stands in the way is said.
    if (!card.IsEmpty())
        rows.push_back({card.Left(2), card, card,
                        L"A file stands where the password file's folder " + CString(card.Left(2)).MakeLower() +
                            L"\\KIV belongs",
                        true});

    DialogAnswerer answerer;
    answerer.Ignore(L"Compressing...");
    answerer.Ignore(L"Decompressing...");
    answerer.Answer(nullptr, nullptr, IDOK);
    for (const Row& row : rows) {
        SCOPED_TRACE(U8(row.record));
        const CString dir = row.fill + L"stale", shown = row.root + L"stale";
        RemoveTree(dir);
        CreateFolderTree(dir);
        PutFile(dir + L"\\g.txt", "g");
        WriteArchive(dir + L"\\h.txt.kvf", "h", "abc123");
        if (row.kivFile) PutFile(row.fill + L"KIV", "notes");
        const bool hadKiv = Exists(row.fill + L"KIV");
        const std::vector<CString> before = Tree(dir);
        SetShellExecPath(row.record);
        const struct {
            const char* what;
            std::vector<WORD> list;
            CString args;
        } runs[] = {
            {"compress", MakeShellList({shown + L"\\g.txt"}), L"compress"},
            {"uncompress", MakeShellList({shown + L"\\h.txt.kvf"}), L"uncompress"},
            {"an archive opened", {}, L"\"" + shown + L"\\h.txt.kvf\""},
        };
        for (const auto& run : runs) {
            SCOPED_TRACE(run.what);
            answerer.ClearSeen();
            ASSERT_TRUE(PutShellListBlock(run.list));
            RunInstalled(run.args);
            std::vector<DialogInfo> boxes;
            for (const DialogInfo& d : answerer.Seen())
                if (d.caption.Find(L"...") < 0) boxes.push_back(d);
            ASSERT_EQ(boxes.size(), 1u) << U8(Texts(boxes));
            EXPECT_EQ(U8(boxes[0].caption), "KIV");
            EXPECT_TRUE(boxes[0].HasText(row.said)) << U8(boxes[0].AllText());
            EXPECT_EQ(Tree(dir), before);
            EXPECT_EQ(Exists(row.fill + L"KIV"), hadKiv);
        }
        if (row.kivFile) {
            EXPECT_EQ(ReadAll(row.fill + L"KIV"), "notes");
            DeleteFileW(row.fill + L"KIV");
        }
        RemoveTree(dir);
    }

    // A password file that is there but holds no password is damaged.
    SetShellExecPath(L"E:");
    WriteAll(DrivePassword::Path(), "\n");
    const CString dir = L"E:\\stale";
    RemoveTree(dir);
    CreateFolderTree(dir);
    PutFile(dir + L"\\g.txt", "g");
    WriteArchive(dir + L"\\h.txt.kvf", "h", "abc123");
    for (auto run : {std::make_pair(dir + L"\\g.txt", CString(L"compress")),
                     std::make_pair(dir + L"\\h.txt.kvf", CString(L"uncompress"))}) {
        SCOPED_TRACE(U8(run.second));
        answerer.ClearSeen();
        ASSERT_TRUE(PutShellListBlock(MakeShellList({run.first})));
        RunInstalled(run.second);
        bool damaged = false;
        for (const DialogInfo& d : answerer.Seen()) damaged = damaged || d.HasText(L"Password file damaged");
        EXPECT_TRUE(damaged) << U8(Texts(answerer.Seen()));
    }
    EXPECT_FALSE(Exists(dir + L"\\g.txt.kvf"));
    EXPECT_FALSE(Exists(dir + L"\\h.txt"));
    RemoveTree(dir);
}

// The tasks themselves, as the main run's list starts them: a drive folder
// whose drive holds no password file gets no KIV folder, and the message
// names the drive.
TEST(ShellRunsTasks, ADriveWithoutThePasswordFileIsNamedAndGetsNothing) {
    const CString card = CardReaderRoot();
    if (card.IsEmpty()) GTEST_SKIP() << "no card reader in this environment";
    const CString dir = card + L"tasks";
    RemoveTree(dir);
    CreateFolderTree(dir);
    PutFile(dir + L"\\t.txt", "t");
    WriteArchive(dir + L"\\u.txt.kvf", "u", "abc123");
    const std::vector<CString> before = Tree(card.Left(2));
    theApp.m_strDrivePath = card.Left(2);
    for (const TaskSpec& spec : {TaskSpec{dir + L"\\t.txt", dir + L"\\t.txt", TASK_COMPRESS},
                                 TaskSpec{dir + L"\\u.txt.kvf", dir + L"\\u.txt", TASK_DECOMPRESS}}) {
        SCOPED_TRACE(spec.type);
        Answers answers;
        answers.Finish();
        RunBatch({spec});
        std::vector<DialogInfo> boxes = answers.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].HasText(L"The Brivon Velto drive " + card.Left(2) + L" is not there."))
            << U8(boxes[0].AllText());
        EXPECT_EQ(Tree(card.Left(2)), before);
    }
    theApp.m_strDrivePath = L"E:";
    RemoveTree(dir);
}

INSTANTIATE_TEST_SUITE_P(Versions, ShellRunsTest, ::testing::Values(L"", L"winxp64"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.param[0] ? "winxp64" : "default");
                         });
