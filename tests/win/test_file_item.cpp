// The file item record: what it takes from the shell and the file system
// for files, folders, a drive root and missing paths, and a reload after
// the file has gone.
#include "views/FileItem.h"
#include "tests/support/TempDir.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

const LONGLONG kModified = 1614834367;  // 2021-03-04 05:06:07 UTC

void MakeFile(const CString& path, LONGLONG nSize) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = nSize;
    // Past 4 GB on purpose: the length must not pass through 32 bits.
    ASSERT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    ULONGLONG t = (ULONGLONG)(kModified + 11644473600LL) * 10000000ULL;
    FILETIME ft = {(DWORD)t, (DWORD)(t >> 32)};
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
}

// The shell's own type name of a path.
CString ShellType(const CString& path) {
    SHFILEINFOW sfi = {};
    SHGetFileInfoW(path, 0, &sfi, sizeof(sfi), SHGFI_TYPENAME);
    return CString(sfi.szTypeName);
}

CString KBSize(ULONGLONG n) {
    WCHAR buf[64] = {0};
    StrFormatKBSizeW((LONGLONG)n, buf, 64);
    return CString(buf);
}

// The file's last-write time as local date text, by the system's own
// conversions rather than the C runtime's.
CString LocalDateText(const CString& path) {
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &fad)) return CString();
    SYSTEMTIME utc, st;
    DATE d = 0;
    BSTR b = nullptr;
    if (!FileTimeToSystemTime(&fad.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st) ||
        !SystemTimeToVariantTime(&st, &d) || FAILED(VarBstrFromDate(d, LOCALE_USER_DEFAULT, 0, &b)))
        return CString();
    CString s(b);
    SysFreeString(b);
    return s;
}

int SystemImageCount() {
    SHFILEINFOW sfi = {};
    HIMAGELIST h = (HIMAGELIST)SHGetFileInfoW(L"c:\\", 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    return h ? ImageList_GetImageCount(h) : 0;
}

// The shell names every extension it does not know ("c file") unless the
// extension is registered with a class that has no description: that is
// how a type the shell cannot name is made here.
class UnnamedExtension {
public:
    // An extension the prefix registers already is left alone.
    explicit UnnamedExtension(LPCWSTR ext) : m_key(ext) {
        HKEY h = nullptr;
        m_bMade = RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key, 0, KEY_READ, &h) != ERROR_SUCCESS;
        if (h) RegCloseKey(h);
        if (!m_bMade) return;
        RegSetValueW(HKEY_CLASSES_ROOT, m_key, REG_SZ, L"KIVTestUnnamed", 0);
        RegSetValueW(HKEY_CLASSES_ROOT, L"KIVTestUnnamed", REG_SZ, L"", 0);
    }
    ~UnnamedExtension() {
        if (!m_bMade) return;
        RegDeleteKeyW(HKEY_CLASSES_ROOT, m_key);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, L"KIVTestUnnamed");
    }

private:
    CString m_key;
    BOOL m_bMade;
};

}  // namespace

TEST(FileItemTest, LoadsFilesFoldersDrivesAndMissingPaths) {
    TempDir dir(L"E:\\");
    UnnamedExtension unnamed(L".c");
    MakeFile(dir.File(L"a.b.c"), 3000);
    ASSERT_TRUE(ShellType(dir.File(L"a.b.c")).IsEmpty()) << "the shell still names .c files: " << U8(ShellType(dir.File(L"a.b.c")));
    MakeFile(dir.File(L"noext"), 0);
    MakeFile(dir.File(L"big.zzz"), 5LL << 30);
    ASSERT_TRUE(CreateDirectoryW(dir.File(L"Folder"), nullptr));
    ASSERT_TRUE(CreateDirectoryW(dir.File(L"Folder\\inner"), nullptr));

    struct Row {
        CString path;
        BOOL bDrive;
        BOOL bLoaded;
        const wchar_t* name;
        const wchar_t* type;  // null: the shell's own name
        ULONGLONG size;
        BOOL bFolder;
    } rows[] = {
        {dir.File(L"a.b.c"), FALSE, TRUE, L"a.b.c", L"CFile", 3000, FALSE},
        {dir.File(L"noext"), FALSE, TRUE, L"noext", L"File", 0, FALSE},
        {dir.File(L"big.zzz"), FALSE, TRUE, L"big.zzz", nullptr, 5ULL << 30, FALSE},
        {dir.File(L"Folder"), FALSE, TRUE, L"Folder", nullptr, 0, TRUE},
        {L"E:\\", TRUE, TRUE, L"E:\\", nullptr, 0, TRUE},
        {dir.File(L"missing.txt"), FALSE, FALSE, L"", L"", 0, FALSE},
        {L"Q:\\nowhere\\x", TRUE, FALSE, L"", L"", 0, FALSE},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(U8(r.path));
        CFileItem item(r.path, r.bDrive);
        EXPECT_EQ(item.m_bLoaded, r.bLoaded);
        EXPECT_EQ(item.m_bDrive, r.bDrive);
        EXPECT_EQ(U8(item.GetDisplayName()), U8(r.name));
        EXPECT_EQ(item.m_nSize, r.size);
        EXPECT_EQ((item.m_nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, r.bFolder && !r.bDrive);
        // The shell adds a path's icon to its list when it is first asked.
        EXPECT_GE(item.m_nIcon, 0);
        EXPECT_LT(item.m_nIcon, SystemImageCount());
        if (!r.bLoaded) {
            EXPECT_EQ(U8(item.GetPath()), "");
            EXPECT_EQ(U8(item.GetSizeText()), "");
            EXPECT_EQ(U8(item.GetTypeName()), "");
            EXPECT_EQ(U8(item.GetModifiedText()), "");
            EXPECT_EQ(item.m_nIcon, 0);
            EXPECT_EQ(item.m_nAttributes, 0);
            EXPECT_EQ(item.m_timeModified.GetTime(), 0);
            continue;
        }
        EXPECT_EQ(U8(item.GetPath()), U8(r.path));
        EXPECT_EQ(U8(item.GetTypeName()), U8(r.type ? CString(r.type) : ShellType(r.path)));
        EXPECT_EQ(U8(item.GetSizeText()), U8(KBSize(r.size)));
        EXPECT_FALSE(item.GetModifiedText().IsEmpty());
        if (r.bDrive) {
            EXPECT_EQ(item.m_timeCreated.GetTime(), 0);
            EXPECT_EQ(item.m_timeModified.GetTime(), 0);
            EXPECT_EQ(item.m_timeAccessed.GetTime(), 0);
        } else if (!r.bFolder) {
            EXPECT_EQ(item.m_timeModified.GetTime(), kModified);
            EXPECT_EQ(U8(item.GetModifiedText()), U8(LocalDateText(r.path)));
        }
    }

    // The shell's has-sub-folders answer for a folder; a file has none.
    EXPECT_TRUE(CFileItem(dir.File(L"Folder"), FALSE).m_bHasSubFolders);
    EXPECT_FALSE(CFileItem(dir.File(L"noext"), FALSE).m_bHasSubFolders);
}

TEST(FileItemTest, AReloadOfAVanishedFileKeepsItsTexts) {
    TempDir dir(L"E:\\");
    CString path = dir.File(L"gone.txt");
    MakeFile(path, 2048);
    CFileItem item(path, FALSE);
    ASSERT_TRUE(item.m_bLoaded);
    CString name = item.GetDisplayName(), size = item.GetSizeText(), type = item.GetTypeName(),
            date = item.GetModifiedText();

    ASSERT_TRUE(DeleteFileW(path));
    EXPECT_FALSE(item.Load(path));
    EXPECT_TRUE(item.m_bLoaded);
    EXPECT_EQ(U8(item.GetPath()), U8(path));
    EXPECT_EQ(U8(item.GetDisplayName()), U8(name));
    EXPECT_EQ(U8(item.GetSizeText()), U8(size));
    EXPECT_EQ(U8(item.GetTypeName()), U8(type));
    EXPECT_EQ(U8(item.GetModifiedText()), U8(date));
    EXPECT_EQ(item.m_nSize, 2048u);

    // Once it is back, a reload takes its new state.
    MakeFile(path, 10);
    EXPECT_TRUE(item.Load(path));
    EXPECT_EQ(item.m_nSize, 10u);
    EXPECT_EQ(U8(item.GetSizeText()), U8(KBSize(10)));
}
