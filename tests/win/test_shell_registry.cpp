// Shell item-ID lists, the registry value KVFile\ShellExecPath and the tray icon.
#include "app/ShellExecPath.h"
#include "app/ShellItemList.h"
#include "app/SystemTray.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

BOOL KeyExists(LPCWSTR key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return FALSE;
    RegCloseKey(h);
    return TRUE;
}

void MakeKey(LPCWSTR key) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegCloseKey(h);
}

// Every test starts and ends without the file type's key.
class ShellExecPathTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KVFile"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KVFile"); }
};

// A list from raw items, each given as its payload bytes.
std::vector<BYTE> MakeList(std::initializer_list<std::string> items) {
    std::vector<BYTE> v;
    for (const std::string& p : items) {
        USHORT cb = (USHORT)(p.size() + 2);
        v.push_back((BYTE)(cb & 0xFF));
        v.push_back((BYTE)(cb >> 8));
        v.insert(v.end(), p.begin(), p.end());
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

std::vector<BYTE> Bytes(LPCITEMIDLIST pidl) {
    const BYTE* p = (const BYTE*)pidl;
    return std::vector<BYTE>(p, p + ILGetSize(pidl));
}

}  // namespace

TEST_F(ShellExecPathTest, WritesTheDriveFolderAsATerminatedString) {
    const CString folders[] = {_T("E:\\tools"), _T("E:"), CString()};
    for (const CString& folder : folders) {
        ASSERT_TRUE(SetShellExecPath(folder)) << U8(folder);
        HKEY h = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath", 0, KEY_READ, &h), ERROR_SUCCESS);
        WCHAR buf[64];
        memset(buf, 0x55, sizeof buf);
        DWORD type = 0, cb = sizeof buf;
        ASSERT_EQ(RegQueryValueExW(h, nullptr, nullptr, &type, (BYTE*)buf, &cb), ERROR_SUCCESS);
        RegCloseKey(h);
        EXPECT_EQ(type, (DWORD)REG_SZ);
        EXPECT_EQ(cb, (DWORD)((folder.GetLength() + 1) * sizeof(WCHAR)));
        EXPECT_EQ(buf[folder.GetLength()], 0);
        EXPECT_EQ(U8(CString(buf)), U8(folder));
    }
}

TEST_F(ShellExecPathTest, DeleteWalksUpWhileNothingElseIsBelow) {
    // Missing: nothing is deleted, not even an empty KVFile.
    EXPECT_TRUE(DeleteShellExecPath());
    MakeKey(L"KVFile");
    EXPECT_TRUE(DeleteShellExecPath());
    EXPECT_TRUE(KeyExists(L"KVFile"));

    // The file type's own registration stays.
    ASSERT_TRUE(SetShellExecPath(_T("E:")));
    MakeKey(L"KVFile\\shell\\open\\command");
    EXPECT_TRUE(DeleteShellExecPath());
    EXPECT_FALSE(KeyExists(L"KVFile\\ShellExecPath"));
    EXPECT_TRUE(KeyExists(L"KVFile\\shell\\open\\command"));

    // Alone: the value's key and KVFile go.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KVFile\\shell");
    ASSERT_TRUE(SetShellExecPath(_T("E:")));
    EXPECT_TRUE(DeleteShellExecPath());
    EXPECT_FALSE(KeyExists(L"KVFile\\ShellExecPath"));
    EXPECT_FALSE(KeyExists(L"KVFile"));

    // A key below ShellExecPath itself stops the walk at once.
    ASSERT_TRUE(SetShellExecPath(_T("E:")));
    MakeKey(L"KVFile\\ShellExecPath\\child");
    EXPECT_TRUE(DeleteShellExecPath());
    EXPECT_TRUE(KeyExists(L"KVFile\\ShellExecPath\\child"));
}

TEST(ItemIdListTest, FreesAndConcatenates) {
    EXPECT_TRUE(FreeItemIdList(nullptr));

    std::vector<BYTE> a = MakeList({"\x11\x22"}), ab = MakeList({"\x11\x22", "\x33"});
    std::vector<BYTE> c = MakeList({"\x44\x55\x66"});
    struct {
        const std::vector<BYTE>* first;
        const std::vector<BYTE>* second;
        std::vector<BYTE> expected;
    } cases[] = {
        {nullptr, &a, MakeList({"\x11\x22"})},
        {&a, nullptr, MakeList({"\x11\x22"})},
        {nullptr, nullptr, MakeList({})},
        {&ab, &c, MakeList({"\x11\x22", "\x33", "\x44\x55\x66"})},
    };
    for (auto& k : cases) {
        LPITEMIDLIST r = ConcatItemIdLists(k.first ? (LPCITEMIDLIST)k.first->data() : nullptr,
                                           k.second ? (LPCITEMIDLIST)k.second->data() : nullptr);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(Bytes(r), k.expected);
        EXPECT_TRUE(FreeItemIdList(r));
    }
    EXPECT_EQ(a, MakeList({"\x11\x22"}));  // inputs untouched
}

TEST(ItemIdListTest, TurnsListsIntoPaths) {
    WCHAR win[MAX_PATH];
    GetWindowsDirectoryW(win, MAX_PATH);
    LPITEMIDLIST pidlWin = nullptr, pidlRoot = nullptr, pidlDrives = nullptr;
    ASSERT_EQ(SHParseDisplayName(win, nullptr, &pidlWin, 0, nullptr), S_OK);
    EXPECT_EQ(ItemIdListToPath(pidlWin).CompareNoCase(win), 0) << U8(ItemIdListToPath(pidlWin));

    // A folder's list joined with a child's own item names the child.
    CString root = CString(win).Left(3);
    ASSERT_EQ(SHParseDisplayName(root, nullptr, &pidlRoot, 0, nullptr), S_OK);
    LPITEMIDLIST joined = ConcatItemIdLists(pidlRoot, ILFindLastID(pidlWin));
    EXPECT_EQ(ItemIdListToPath(joined).CompareNoCase(win), 0) << U8(ItemIdListToPath(joined));

    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlDrives), S_OK);
    EXPECT_TRUE(ItemIdListToPath(pidlDrives).IsEmpty());
    EXPECT_TRUE(ItemIdListToPath(nullptr).IsEmpty());

    for (LPITEMIDLIST p : {pidlWin, pidlRoot, joined, pidlDrives}) EXPECT_TRUE(FreeItemIdList(p));
}

namespace {
// Whether the shell holds an icon (window, id): only a present icon can be modified.
BOOL IconPresent(HWND hWnd) {
    NOTIFYICONDATAW nid = {};
    nid.cbSize = NOTIFYICONDATAW_V3_SIZE;
    nid.hWnd = hWnd;
    nid.uID = IDR_TRAY_ICON_ID;
    nid.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &nid);
}
}  // namespace

TEST(SystemTrayTest, AddsChangesAndRemovesTheIcon) {
    ASSERT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KIV_ICON)), nullptr);
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), _T("tray owner"), WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr));
    HWND hWnd = owner.GetSafeHwnd();
    {
        CSystemTray tray;
        EXPECT_TRUE(tray.IsKindOf(RUNTIME_CLASS(CObject)));
        EXPECT_FALSE(tray.SetTrayIcon());  // not shown yet
        EXPECT_FALSE(IconPresent(hWnd));
        ASSERT_TRUE(tray.AddTrayIcon(&owner));
        EXPECT_TRUE(IconPresent(hWnd));
        EXPECT_TRUE(tray.SetTrayIcon());
    }
    EXPECT_FALSE(IconPresent(hWnd));  // the destructor removed it
    owner.DestroyWindow();
}

TEST(SystemTrayTest, TheOwnersRealExitRemovesTheIconBeforeTheDestructor) {
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), _T("tray owner"), WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr));
    HWND hWnd = owner.GetSafeHwnd();
    {
        CSystemTray tray;
        ASSERT_TRUE(tray.AddTrayIcon(&owner));
        EXPECT_EQ(tray.m_pWnd, &owner);
        EXPECT_EQ(tray.m_nid.uID, (UINT)IDR_TRAY_ICON_ID);
        EXPECT_EQ(tray.m_nid.uCallbackMessage, (UINT)WM_TRAY_NOTIFY);
        // As the main frame does on a close request that ends the program.
        ASSERT_TRUE(tray.m_bShown);
        tray.m_nid.uFlags = 0;
        EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &tray.m_nid));
        tray.m_bShown = FALSE;
        EXPECT_FALSE(IconPresent(hWnd));
        // An icon of the same id added by someone else must outlive the tray
        // object: its destructor sends nothing for an icon it no longer shows.
        NOTIFYICONDATAW other = tray.m_nid;
        other.uFlags = NIF_TIP;
        ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &other));
    }
    EXPECT_TRUE(IconPresent(hWnd));
    NOTIFYICONDATAW gone = {};
    gone.cbSize = NOTIFYICONDATAW_V3_SIZE;
    gone.hWnd = hWnd;
    gone.uID = IDR_TRAY_ICON_ID;
    Shell_NotifyIconW(NIM_DELETE, &gone);
    owner.DestroyWindow();
}

TEST(SystemTrayTest, RefusesAMissingOwner) {
    CSystemTray tray;
    EXPECT_FALSE(tray.AddTrayIcon(nullptr));
    HWND hGone = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hGone, nullptr);
    DestroyWindow(hGone);
    CWnd stale;
    stale.m_hWnd = hGone;
    EXPECT_FALSE(tray.AddTrayIcon(&stale));
    EXPECT_FALSE(IconPresent(hGone));
    EXPECT_FALSE(tray.SetTrayIcon());
    stale.m_hWnd = nullptr;
}
