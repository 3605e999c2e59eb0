// Path and folder functions.
#include "fileops/PathFunctions.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/FolderLink.h"
#include "tests/support/win/MovedAppData.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <cstdlib>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

// A drive letter no drive uses, e.g. "Q:".
CString MissingDrive() {
    DWORD used = GetLogicalDrives();
    for (int i = 25; i >= 3; --i)
        if (!(used & (1u << i))) return CString((WCHAR)('A' + i)) + _T(":");
    return CString();
}

BOOL Exists(const CString& path) { return PathFileExistsW(path); }

}  // namespace

TEST(PathTest, TakesPathsApart) {
    struct Row {
        const wchar_t* path;
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* ext;
        const wchar_t* withKvf;   // AppendExtension(path, "kvf")
        const wchar_t* stripKvf;  // StripExtensionIf(path, "kvf")
        BOOL isKvf;
    } rows[] = {
        {L"E:\\dir\\file", L"E:\\dir", L"file", L"", L"E:\\dir\\file.kvf", L"E:\\dir\\file", FALSE},
        {L"E:\\file", L"E:", L"file", L"", L"E:\\file.kvf", L"E:\\file", FALSE},
        {L"E:\\", L"E:", L"", L"", L"E:\\", L"E:\\", FALSE},
        {L"E:", L"E:", L"E:", L"", L"E:.kvf", L"E:", FALSE},
        {L"\\share", L"\\share", L"\\share", L"", L"\\share.kvf", L"\\share", FALSE},
        {L"E:\\dir\\", L"E:\\dir", L"", L"", L"E:\\dir\\", L"E:\\dir\\", FALSE},
        {L"", L"", L"", L"", L".kvf", L"", FALSE},
        {L"a.b.c", L"a.b.c", L"a.b.c", L"c", L"a.b.c.kvf", L"a.b.c", FALSE},
        {L".kvf", L".kvf", L".kvf", L"", L".kvf.kvf", L".kvf", FALSE},
        {L"x.KvF", L"x.KvF", L"x.KvF", L"KvF", L"x.KvF.kvf", L"x", TRUE},
        {L"x.kvf2", L"x.kvf2", L"x.kvf2", L"kvf2", L"x.kvf2.kvf", L"x.kvf2", FALSE},
        {L"E:\\a", L"E:", L"a", L"", L"E:\\a.kvf", L"E:\\a", FALSE},
        {L"E:\\a.KVF", L"E:", L"a.KVF", L"KVF", L"E:\\a.KVF.kvf", L"E:\\a", TRUE},
        {L"E:\\a.kvf.kvf", L"E:", L"a.kvf.kvf", L"kvf", L"E:\\a.kvf.kvf.kvf", L"E:\\a.kvf", TRUE},
        {L"E:\\a.txt", L"E:", L"a.txt", L"txt", L"E:\\a.txt.kvf", L"E:\\a.txt", FALSE},
        {L"E:\\a.", L"E:", L"a.", L"", L"E:\\a..kvf", L"E:\\a.", FALSE},
        // Only the last component can carry an extension.
        {L"E:\\x.y\\file", L"E:\\x.y", L"file", L"", L"E:\\x.y\\file.kvf", L"E:\\x.y\\file", FALSE},
        {L"E:\\x.kvf\\sub", L"E:\\x.kvf", L"sub", L"", L"E:\\x.kvf\\sub.kvf", L"E:\\x.kvf\\sub", FALSE},
        {L"E:\\d\\.kvf", L"E:\\d", L".kvf", L"", L"E:\\d\\.kvf.kvf", L"E:\\d\\.kvf", FALSE},
        {L"E:\\d\\b.kvf", L"E:\\d", L"b.kvf", L"kvf", L"E:\\d\\b.kvf.kvf", L"E:\\d\\b", TRUE},
    };
    for (const Row& r : rows) {
        CString p(r.path);
        SCOPED_TRACE(U8(p));
        EXPECT_EQ(U8(GetFolderPart(p)), U8(r.folder));
        EXPECT_EQ(U8(GetFileNamePart(p)), U8(r.name));
        EXPECT_EQ(U8(GetExtension(p)), U8(r.ext));
        EXPECT_EQ(U8(AppendExtension(p, _T("kvf"))), U8(r.withKvf));
        EXPECT_EQ(U8(StripExtensionIf(p, _T("kvf"))), U8(r.stripKvf));
        EXPECT_EQ(U8(StripExtensionIf(p, _T("KVF"))), U8(r.stripKvf));
        EXPECT_EQ(IsKvfFile(p), r.isKvf);
        // A decompress takes one ".kvf" off, in one place.
        EXPECT_EQ(U8(DecompressedPath(p)), U8(r.stripKvf));
        EXPECT_EQ(U8(DecompressTargetBeside(p, TRUE)), U8(r.stripKvf));
        EXPECT_EQ(U8(DecompressTargetBeside(p, FALSE)), U8(p));
    }
}

TEST(PathTest, CreatesFolderTrees) {
    TempDir dir;
    CString deep = dir.Path() + _T("\\a\\b\\c");
    EXPECT_TRUE(CreateFolderTree(deep));
    EXPECT_TRUE(GetFileAttributesW(deep) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateFolderTree(deep));  // exists already
    EXPECT_TRUE(CreateFolderTree(dir.Path() + _T("\\a\\d")));

    CString missing = MissingDrive();
    ASSERT_FALSE(missing.IsEmpty());
    EXPECT_FALSE(CreateFolderTree(missing + _T("\\x\\y\\z")));
    EXPECT_FALSE(CreateFolderTree(_T("nothing-here-kiv\\x")));  // relative, parent missing
}

TEST(PathTest, DeletesTreesAndRefusesRelativePaths) {
    TempDir dir;
    CString tree = dir.Path() + _T("\\tree");
    ASSERT_TRUE(CreateFolderTree(tree + _T("\\sub")));
    WriteAll(tree + _T("\\sub\\f.txt"), "x");
    SetFileAttributesW(tree + _T("\\sub\\f.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(DeleteFolderTree(tree), 0);
    EXPECT_FALSE(Exists(tree));

    WriteAll(dir.File(_T("single.kvf")), "x");
    EXPECT_EQ(DeleteFolderTree(dir.File(_T("single.kvf"))), 0);
    EXPECT_FALSE(Exists(dir.File(_T("single.kvf"))));

    EXPECT_NE(DeleteFolderTree(dir.File(_T("missing"))), 0);

    // An empty temporary folder must never become \KIV of the current drive.
    CString keep = dir.Path() + _T("\\keep");
    ASSERT_TRUE(CreateFolderTree(keep));
    WCHAR oldCwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, oldCwd);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path()));
    const CString refused[] = {CString(), _T("keep"), keep.Mid(2) /* \...\keep */, _T("E:keep")};
    for (const CString& p : refused) EXPECT_NE(DeleteFolderTree(p), 0) << U8(p);
    SetCurrentDirectoryW(oldCwd);
    EXPECT_TRUE(Exists(keep));
}

TEST(PathTest, DeletesPathsLongerThanTheOldBuffer) {
    TempDir dir;
    // A file whose full path is 259 characters, the most a plain path holds.
    CString folder = dir.Path() + _T("\\long");
    ASSERT_TRUE(CreateFolderTree(folder));
    CString file = folder + _T("\\");
    while (file.GetLength() < 259) file += _T("x");
    WriteAll(file, "x");
    ASSERT_TRUE(Exists(file));
    EXPECT_EQ(DeleteFolderTree(file), 0);
    EXPECT_FALSE(Exists(file));
}

TEST(PathTest, ATreeWithPathsPast260CharactersGoesAndNothingElse) {
    TempDir dir;
    // The current folder holds a file that must survive: given such a tree
    // the system's deletion has been seen to empty the current folder.
    TempDir current;
    WriteAll(current.File(_T("keep.txt")), "keep");
    WCHAR old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    SetCurrentDirectoryW(current.Path());
    CString tree = dir.Path() + _T("\\tree");
    CString deep = tree;
    while (deep.GetLength() < 260) deep += _T("\\") + CString(_T('d'), 60);
    ASSERT_TRUE(CreateFolderTree(deep));
    CString file = deep + _T("\\long.txt");
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    WriteAll(tree + _T("\\short.txt"), "short");
    SetFileAttributesW(tree + _T("\\short.txt"), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(DeleteFolderTree(tree), 0);
    SetCurrentDirectoryW(old);
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(Exists(current.File(_T("keep.txt"))));
    EXPECT_TRUE(Exists(dir.Path()));
}

TEST(PathTest, DeletingATreeNeverDeletesWhatALinkInItPointsTo) {
    struct Row {
        const char* what;
        bool targetHoldsAFile;
        bool longPath;  // the tree also needs the entry-by-entry removal
        bool linkIsThePath;
    };
    const Row rows[] = {
        {"link in a tree", true, false, false},
        {"link to an empty folder", false, false, false},
        {"link in a tree with a long path", true, true, false},
        {"the link itself", true, false, true},
        {"the link itself, empty target", false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir outside;
        if (row.targetHoldsAFile) WriteAll(outside.File(_T("keep.txt")), "kept");
        TempDir dir;
        CString tree = dir.File(_T("tree"));
        ASSERT_TRUE(CreateFolderTree(tree + _T("\\sub")));
        WriteAll(tree + _T("\\sub\\own.txt"), "own");
        if (row.longPath) {
            CString deep = tree;
            while (deep.GetLength() < 260) deep += _T("\\") + CString(_T('d'), 60);
            ASSERT_TRUE(CreateFolderTree(deep));
        }
        CString linkPath = row.linkIsThePath ? dir.File(_T("link")) : tree + _T("\\sub\\link");
        FolderLink link(outside.Path(), linkPath);
        ASSERT_TRUE(link.Made());
        CString path = row.linkIsThePath ? linkPath : tree;

        int r = DeleteFolderTree(path);
        EXPECT_TRUE(Exists(outside.Path()));
        if (row.targetHoldsAFile) EXPECT_TRUE(Exists(outside.File(_T("keep.txt"))));
        if (!row.linkIsThePath) EXPECT_FALSE(Exists(tree + _T("\\sub\\own.txt")));
        // Under Wine a link cannot be removed as itself: it stays, and the
        // deletion says it failed.
        if (Exists(linkPath))
            EXPECT_NE(r, 0);
        else
            EXPECT_TRUE(r == 0 && !Exists(path));
    }
}

// The form the system is given names that very file: nothing but "." and
// ".." (and empty names) is taken away, whatever the name ends in.
TEST(PathTest, ExactFormKeepsEveryName) {
    const CString q = L"\\\\?\\";
    struct Row {
        CString path, exact, full;
        BOOL plain;  // the plain form names the same file
    } rows[] = {
        {L"E:\\x\\tdfile", q + L"E:\\x\\tdfile", L"E:\\x\\tdfile", TRUE},
        {L"E:\\x\\tdfile.", q + L"E:\\x\\tdfile.", L"E:\\x\\tdfile.", FALSE},
        {L"E:\\x\\name ", q + L"E:\\x\\name ", L"E:\\x\\name ", FALSE},
        {L"E:\\tddir.\\in", q + L"E:\\tddir.\\in", L"E:\\tddir.\\in", FALSE},
        {L"E:\\x\\nul.txt", q + L"E:\\x\\nul.txt", L"E:\\x\\nul.txt", FALSE},
        {L"E:\\AUX", q + L"E:\\AUX", L"E:\\AUX", FALSE},
        {L"E:\\com1.log", q + L"E:\\com1.log", L"E:\\com1.log", FALSE},
        {L"E:\\lpt9", q + L"E:\\lpt9", L"E:\\lpt9", FALSE},
        {L"E:\\nul .txt", q + L"E:\\nul .txt", L"E:\\nul .txt", FALSE},
        // Not device names.
        {L"E:\\null.txt", q + L"E:\\null.txt", L"E:\\null.txt", TRUE},
        {L"E:\\com10", q + L"E:\\com10", L"E:\\com10", TRUE},
        {L"E:\\x.nul", q + L"E:\\x.nul", L"E:\\x.nul", TRUE},
        {L"E:\\.kvf", q + L"E:\\.kvf", L"E:\\.kvf", TRUE},
        // Resolved as the plain form resolves them, no more.
        {L"E:\\a\\.\\b\\..\\c.", q + L"E:\\a\\c.", L"E:\\a\\c.", FALSE},
        {L"E:\\..\\..\\a", q + L"E:\\a", L"E:\\a", TRUE},
        {L"E:/a//b/", q + L"E:\\a\\b\\", L"E:\\a\\b\\", TRUE},
        {L"E:\\", q + L"E:\\", L"E:\\", TRUE},
        {L"e:\\Mixed Case", q + L"e:\\Mixed Case", L"e:\\Mixed Case", TRUE},
        {L"\\\\srv\\share\\d.\\f", q + L"UNC\\srv\\share\\d.\\f", L"\\\\srv\\share\\d.\\f", FALSE},
        {L"\\\\srv\\share\\..\\f", q + L"UNC\\srv\\share\\f", L"\\\\srv\\share\\f", TRUE},
        {L"\\\\srv\\share", q + L"UNC\\srv\\share\\", L"\\\\srv\\share", TRUE},
        // Already in a device form: handed over as it is, shown without it.
        {q + L"E:\\x.", q + L"E:\\x.", L"E:\\x.", FALSE},
        {q + L"UNC\\srv\\share\\x", q + L"UNC\\srv\\share\\x", L"\\\\srv\\share\\x", FALSE},
        {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p", FALSE},
        {L"E:\\" + CString(L'a', 300), q + L"E:\\" + CString(L'a', 300), L"E:\\" + CString(L'a', 300), TRUE},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(U8(r.path));
        EXPECT_EQ(U8(AfxExactPathForm(r.path)), U8(r.exact));
        EXPECT_EQ(U8(AfxFullPathForm(r.path)), U8(r.full));
        EXPECT_EQ(AfxIsPlainPathExact(r.path), r.plain);
    }
    // A path that is not full is not resolved against anything: the
    // system's own rules apply to it, as before.
    for (const CString& p : {CString(), CString(L"rel\\x."), CString(L"\\rooted"), CString(L"E:x"), CString(L"\\\\srv")})
        EXPECT_EQ(U8(AfxExactPathForm(p)), U8(p));
}

TEST(PathTest, FreeSpace) {
    ULONGLONG nFree = 0;
    ASSERT_TRUE(GetFreeSpace(_T("E:\\"), nFree));
    ULARGE_INTEGER a, t, f;
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"E:\\", &a, &t, &f));
    // Another process may write meanwhile: allow a little drift.
    EXPECT_NEAR((double)nFree, (double)f.QuadPart, 64.0 * 1024 * 1024);
    EXPECT_GT(nFree, 0u);

    ULONGLONG untouched = 12345;
    EXPECT_FALSE(GetFreeSpace(MissingDrive() + _T("\\"), untouched));
    EXPECT_EQ(untouched, 12345u);
}

TEST(PathTest, SystemFoldersArePlausible) {
    CString sys = GetSystemDir();
    EXPECT_EQ(sys.Right(9).CompareNoCase(_T("\\system32")), 0) << U8(sys);
    CString drive = GetWindowsDrive();
    ASSERT_EQ(drive.GetLength(), 2);
    EXPECT_EQ(drive[1], ':');
    EXPECT_FALSE(GetLoginName().IsEmpty());
    EXPECT_EQ(GetFileNamePart(GetModulePath()).CompareNoCase(_T("test_paths.exe")), 0) << U8(GetModulePath());

    WCHAR appData[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
    EXPECT_EQ(GetAppDataDir(TRUE).CompareNoCase(appData), 0) << U8(GetAppDataDir(TRUE));
    CString old = GetAppDataDir(FALSE);
    EXPECT_TRUE(old.CompareNoCase(appData) == 0 || old.Right(17) == _T("\\Application Data")) << U8(old);
    EXPECT_TRUE(Exists(old));
}

// Windows names the profile folder on its own, so the folder built from the
// logon name is often missing; the shell knows where the user's folder is.
TEST(PathTest, WithoutTheLoginFolderTheShellsAppDataFolderComesBeforeTheSystemFolder) {
    TempDir elsewhere;
    const CString sys = GetSystemDir();
    const CString login = GetWindowsDrive() + _T("\\Users\\") + GetLoginName() + _T("\\AppData\\Roaming");
    const CString older = GetWindowsDrive() + _T("\\Documents and Settings\\") + GetLoginName() + _T("\\Application Data");
    ASSERT_TRUE(PathIsDirectoryW(login)) << U8(login);
    ASSERT_FALSE(Exists(older)) << U8(older);
    enum Want { LOGIN, OLDER, MOVED, ELSEWHERE, SYSTEM };
    struct Row {
        const char* what;
        bool move;        // the login-built folder renamed away
        int registered;   // what the shell names: MOVED, ELSEWHERE or -1 (a missing folder)
        bool olderThere;  // the older versions' folder exists
        Want want6, wantOlder;
    } rows[] = {
        // Existing installs stay where they are, whatever the shell names.
        {"login folder there", false, ELSEWHERE, false, LOGIN, ELSEWHERE},
        {"older folder there", false, ELSEWHERE, true, LOGIN, OLDER},
        {"folder moved", true, MOVED, false, MOVED, MOVED},
        {"moved, the older folder there", true, MOVED, true, MOVED, OLDER},
        {"the shell names a missing folder", true, -1, false, SYSTEM, SYSTEM},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.olderThere) {
            ASSERT_TRUE(CreateFolderTree(older));
        }
        {
            MovedAppData moved(r.move, r.registered == MOVED       ? CString()
                                       : r.registered == ELSEWHERE ? elsewhere.Path()
                                                                   : elsewhere.File(_T("missing")));
            ASSERT_TRUE(moved.Ready());
            auto expected = [&](Want w) {
                return w == LOGIN ? login : w == OLDER ? older : w == MOVED ? moved.MovedTo()
                                          : w == ELSEWHERE ? elsewhere.Path() : sys;
            };
            EXPECT_EQ(GetAppDataDir(TRUE).CompareNoCase(expected(r.want6)), 0) << U8(GetAppDataDir(TRUE));
            EXPECT_EQ(GetAppDataDir(FALSE).CompareNoCase(expected(r.wantOlder)), 0) << U8(GetAppDataDir(FALSE));
        }
        if (r.olderThere) {
            RemoveDirectoryW(older);
            RemoveDirectoryW(GetFolderPart(older));
            RemoveDirectoryW(GetFolderPart(GetFolderPart(older)));
        }
        EXPECT_TRUE(PathIsDirectoryW(login));
        EXPECT_FALSE(Exists(older));
    }
    // Put back: the shell names the login-built folder again.
    WCHAR appData[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
    EXPECT_EQ(login.CompareNoCase(appData), 0) << U8(CString(appData));
}

TEST(PathTest, TempDirComesFromTheEnvironment) {
    WCHAR buf[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"TEMP", buf, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(U8(GetTempDir()), U8(CString(buf)));
    EXPECT_TRUE(Exists(GetTempDir()));

    CString saved(buf);
    ASSERT_EQ(_wputenv_s(L"temp", CString(L'x', 259)), 0);
    EXPECT_EQ(GetTempDir().GetLength(), 259);
    ASSERT_EQ(_wputenv_s(L"temp", CString(L'x', 260)), 0);  // no room for the terminator
    EXPECT_TRUE(GetTempDir().IsEmpty());
    ASSERT_EQ(_wputenv_s(L"temp", L""), 0);  // removes the variable
    EXPECT_TRUE(GetTempDir().IsEmpty());
    _wputenv_s(L"temp", saved);
    EXPECT_EQ(U8(GetTempDir()), U8(saved));
}
