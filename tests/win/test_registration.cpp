// Registration and the shell's runs inside this process: the file type's
// keys, the drive folder's registry value, the path list from the shell
// extension (real and forged), writing out the carried module, and the
// exit's clean-up.
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "app/ShellExecPath.h"
#include "fileops/PathFunctions.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/ShellList.h"
#include "views/DriveView.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <string>
#include <vector>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::IsRegistrationLine;
    using CKIVApp::ReadShellExecPath;
};
TestApp theApp;

CString RegString(LPCWSTR key, LPCWSTR value = nullptr) {
    WCHAR buf[600] = {0};
    DWORD cb = sizeof buf - 2;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, value, RRF_RT_REG_SZ, nullptr, buf, &cb) != ERROR_SUCCESS)
        return L"<missing>";
    return buf;
}

bool KeyExists(LPCWSTR key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

CString LongPath(int n) {
    CString p = L"E:\\";
    while (p.GetLength() < n) p += L"a";
    return p;
}
}  // namespace

TEST(ShellListTest, ReadsWhatTheExtensionWritesAndRefusesForgedBlocks) {
    // 256 paths, one of 256 characters: counts and lengths cross the low unit.
    std::vector<CString> paths;
    for (int i = 0; i < 255; ++i) {
        CString p;
        p.Format(L"E:\\files\\f%03d.txt", i);
        paths.push_back(p);
    }
    paths.push_back(LongPath(256));
    ASSERT_TRUE(PutShellListBlock(MakeShellList(paths)));
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    ASSERT_EQ(theApp.m_nShellCount, 256u);
    for (UINT i = 0; i < 256; ++i) {
        EXPECT_TRUE(CString(theApp.m_ppShellSources[i]) == paths[i]) << i;
        EXPECT_TRUE(CString(theApp.m_ppShellTargets[i]) == paths[i]) << i;
    }
    theApp.FreeShellList();

    // Uncompress: the target is the path itself, as for compress (the
    // decompress handler takes the ".kvf" off once); the list is read as it
    // is (the command skips what is not an archive).
    std::vector<WORD> u = MakeShellList({L"E:\\a.KVF", L"E:\\b.txt"});
    EXPECT_TRUE(theApp.ParseShellList(u.data(), u.size(), SHELL_LIST_UNCOMPRESS));
    ASSERT_EQ(theApp.m_nShellCount, 2u);
    EXPECT_TRUE(CString(theApp.m_ppShellTargets[0]) == L"E:\\a.KVF");
    EXPECT_TRUE(CString(theApp.m_ppShellTargets[1]) == L"E:\\b.txt");

    struct Case {
        const char* what;
        std::vector<WORD> block;
    };
    std::vector<WORD> good = MakeShellList({L"E:\\one.txt", L"E:\\two.txt"});
    std::vector<Case> forged;
    {
        std::vector<WORD> b = good;
        b[4] = 3;  // one more entry than the block holds
        forged.push_back({"count beyond the block", b});
        b = good;
        b[4] = 0;
        forged.push_back({"count 0", b});
        b = good;
        b[4] = 0x7F;
        b[5] = 0x7F;
        forged.push_back({"huge count", b});
        b = MakeShellList({L"E:\\one.txt"});
        b[6] = 0;
        forged.push_back({"length 0", b});
        b = MakeShellList({L"E:\\one.txt"});
        b[6] = 0xFF;
        b[7] = 0x0F;
        forged.push_back({"length past the block", b});
        b = MakeShellList({LongPath(521)});
        forged.push_back({"length above 520", b});
        b = MakeShellList({L"one.txt"});
        forged.push_back({"relative path", b});
        b = MakeShellList({L"E:"});
        forged.push_back({"too short for a path", b});
        b = MakeShellList({L"E:\\ab"});
        b[8 + 3] = 0;
        forged.push_back({"a zero inside a path", b});
        forged.push_back({"fewer than six units", std::vector<WORD>{1, 0, 0, 0, 1}});
    }
    for (const Case& c : forged) {
        EXPECT_FALSE(theApp.ParseShellList(c.block.data(), c.block.size(), SHELL_LIST_COMPRESS)) << c.what;
        EXPECT_EQ(theApp.m_nShellCount, 0u) << c.what;
        EXPECT_TRUE(theApp.m_ppShellSources == nullptr) << c.what;
    }

    // An empty clipboard gives an empty list.
    ASSERT_TRUE(PutShellListBlock({}));
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    EXPECT_EQ(theApp.m_nShellCount, 0u);
}

// A list is taken once: what is read is replaced by the taken list, and
// only that; a list chosen for the other command stays for its program.
TEST(ShellListTest, ReadingTakesTheListAndLeavesTheRestOfTheClipboard) {
    const std::vector<WORD> list = MakeShellList({L"E:\\a.txt"});
    const UINT text = CF_UNICODETEXT;
    auto putText = [&] {
        ASSERT_TRUE(OpenClipboard(nullptr));
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 12);
        memcpy(GlobalLock(h), L"mine!", 12);
        GlobalUnlock(h);
        SetClipboardData(text, h);
        CloseClipboard();
    };

    ASSERT_TRUE(PutShellListBlock(list));
    putText();  // copied by the user after the list was written
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    EXPECT_EQ(theApp.m_nShellCount, 1u);
    EXPECT_EQ(ClipboardShellList(), TakenShellList());
    EXPECT_TRUE(IsClipboardFormatAvailable(text));
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    EXPECT_EQ(theApp.m_nShellCount, 0u) << "a taken list is read again";

    // No list, or a forged one: nothing on the clipboard is touched.
    ASSERT_TRUE(PutShellListBlock({}));
    putText();
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    EXPECT_EQ(theApp.m_nShellCount, 0u);
    EXPECT_TRUE(IsClipboardFormatAvailable(text));
    EXPECT_TRUE(ClipboardShellList().empty());
    std::vector<WORD> forged = list;
    forged[4] = 9;
    ASSERT_TRUE(PutShellListBlock(forged));
    theApp.ReadShellList(SHELL_LIST_COMPRESS);
    EXPECT_EQ(theApp.m_nShellCount, 0u);
    EXPECT_EQ(ClipboardShellList(), forged);

    // Chosen for the other command: left as it is, for that command's run.
    for (DWORD command : {handover::kCommandUncompress, handover::kCommandCompress}) {
        HandOverSpec spec;
        spec.command = command;
        ASSERT_TRUE(PutShellHandOver(list, spec));
        theApp.ReadShellList(SHELL_LIST_COMPRESS);
        const bool mine = command == handover::kCommandCompress;
        EXPECT_EQ(theApp.m_nShellCount, mine ? 1u : 0u) << command;
        EXPECT_EQ(ClipboardShellList(), mine ? TakenShellList() : list) << command;
    }
    theApp.FreeShellList();
}

TEST(ShellExecPathTest, OnlyATerminatedFolderOfUsableLengthIsTaken) {
    struct Case {
        const char* what;
        DWORD type;
        std::wstring data;  // bytes written as they stand (terminator included when wanted)
        bool ok;
    } cases[] = {
        {"a drive folder", REG_SZ, std::wstring(L"E:\0", 3), true},
        {"a subfolder", REG_SZ, std::wstring(L"E:\\tools\0", 9), true},
        {"empty", REG_SZ, std::wstring(L"\0", 1), false},
        {"too long", REG_SZ, std::wstring(259, L'a') + L"b" + std::wstring(1, L'\0'), false},
        {"longest", REG_SZ, std::wstring(259, L'a') + std::wstring(1, L'\0'), true},
        {"not a string", REG_DWORD, std::wstring(L"\x0001\0", 2), false},
        {"a zero inside", REG_SZ, std::wstring(L"E:\0x\0", 5), false},
    };
    for (const Case& c : cases) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &h, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(h, nullptr, 0, c.type, (const BYTE*)c.data.data(), (DWORD)(c.data.size() * sizeof(WCHAR)));
        RegCloseKey(h);
        CString folder = L"unchanged";
        EXPECT_EQ(TestApp::ReadShellExecPath(folder) != FALSE, c.ok) << c.what;
        if (c.ok) {
            EXPECT_TRUE(folder == CString(c.data.c_str())) << c.what;
        }
    }
    DeleteShellExecPath();
    CString folder;
    EXPECT_FALSE(TestApp::ReadShellExecPath(folder));
}

TEST(FileTypeTest, RegistersTheTypeWithoutDdeOrPrintAndRemovesItAgain) {
    if (!theApp.GetFirstDocTemplate())
        theApp.AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CKIVDoc), RUNTIME_CLASS(CMainFrame),
                                                     RUNTIME_CLASS(CDriveView)));
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L".kvf");
    theApp.EnableShellOpen();
    theApp.RegisterShellFileTypes(TRUE);
    WCHAR self[MAX_PATH], shortSelf[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetShortPathNameW(self, shortSelf, MAX_PATH);
    EXPECT_TRUE(RegString(L".kvf") == L"KVFile");
    EXPECT_TRUE(RegString(L"KVFile") == L"KVF Document");
    EXPECT_TRUE(RegString(L"KVFile\\shell\\open\\command") == CString(shortSelf) + L" \"%1\"");
    EXPECT_TRUE(RegString(L"KVFile\\DefaultIcon").Find(shortSelf) == 0);
    EXPECT_FALSE(KeyExists(L"KVFile\\shell\\open\\ddeexec"));
    EXPECT_FALSE(KeyExists(L"KVFile\\shell\\print"));
    EXPECT_FALSE(KeyExists(L"KVFile\\shell\\printto"));

    theApp.UnregisterShellFileTypes();
    EXPECT_FALSE(KeyExists(L"KVFile"));
    EXPECT_FALSE(KeyExists(L".kvf"));

    // An extension another program owns is neither taken nor removed.
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L".kvf", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
    RegSetValueExW(h, nullptr, 0, REG_SZ, (const BYTE*)L"Other", 12);
    RegCloseKey(h);
    theApp.RegisterShellFileTypes(TRUE);
    EXPECT_TRUE(RegString(L".kvf") == L"Other");
    theApp.UnregisterShellFileTypes();
    EXPECT_TRUE(RegString(L".kvf") == L"Other");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L".kvf");
}

TEST(InstallTest, WritesTheCarriedModuleWhole) {
    TempDir dir;
    theApp.m_strInstallDir = dir.File(L"KIV");
    theApp.m_strShellExtDll = theApp.m_strInstallDir + L"\\KIVShellExt.dll";
    ASSERT_TRUE(theApp.WriteShellExtDll());
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string built = ReadAll(GetFolderPart(self) + L"\\KIVShellExt.dll");
    ASSERT_FALSE(built.empty());
    EXPECT_EQ(ReadAll(theApp.m_strShellExtDll), built);

    // A module that is in use is left as it was, with nothing beside it.
    HANDLE busy = CreateFileW(theApp.m_strShellExtDll, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(theApp.WriteShellExtDll());
    CloseHandle(busy);
    EXPECT_EQ(ReadAll(theApp.m_strShellExtDll), built);
    EXPECT_FALSE(PathFileExistsW(theApp.m_strInstallDir + L"\\~KIVShellExt.tmp"));
}

TEST(StartupLineTest, RegistrationWordsEndInABlankOrTheLine) {
    struct Case {
        LPCWSTR folder;
        bool setReg, delReg;
    } cases[] = {{L"set_reg E:", true, false}, {L"set_reg", true, false}, {L"del_reg ", false, true},
                 {L"del_reg", false, true},    {L"set_regE:", false, false}, {L"E:", false, false},
                 {L"Set_reg E:", false, false}, {L"", false, false}};
    for (const Case& c : cases) {
        theApp.m_strDrivePath = c.folder;
        EXPECT_EQ(theApp.IsRegistrationLine(L"set_reg") != FALSE, c.setReg) << CString(c.folder).ToUtf8();
        EXPECT_EQ(theApp.IsRegistrationLine(L"del_reg") != FALSE, c.delReg) << CString(c.folder).ToUtf8();
    }
}

TEST(ExitTest, RemovesTheDragFoldersButNeverADriveRootsKivFolder) {
    theApp.m_bVista = FALSE;  // unregister directly, no second run
    theApp.m_strShellExtDll = L"C:\\nowhere\\KIVShellExt.dll";
    CreateDirectoryW(L"E:\\KIV", nullptr);
    WriteAll(L"E:\\KIV\\marker", "keep");
    wchar_t oldDir[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, oldDir);
    SetCurrentDirectoryW(L"E:\\");
    WCHAR oldTemp[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"temp", oldTemp, MAX_PATH);

    // No temporary folder: nothing is deleted.
    _wputenv_s(L"temp", L"");
    theApp.m_bRegistered = TRUE;
    theApp.ExitInstance();
    EXPECT_TRUE(PathFileExistsW(L"E:\\KIV\\marker"));

    // With one, the drag folder the run made goes, and its KIV folder with it.
    TempDir temp;
    CreateDirectoryW(temp.File(L"KIV"), nullptr);
    CreateDirectoryW(temp.File(L"KIV\\KIV$120000"), nullptr);
    WriteAll(temp.File(L"KIV\\KIV$120000\\a.txt"), "x");
    theApp.m_dragFolders.Add(temp.File(L"KIV\\KIV$120000"));
    _wputenv_s(L"temp", temp.Path());
    theApp.m_bRegistered = TRUE;
    SetShellExecPath(L"E:");
    theApp.ExitInstance();
    EXPECT_FALSE(PathFileExistsW(temp.File(L"KIV")));
    EXPECT_TRUE(PathFileExistsW(L"E:\\KIV\\marker"));
    EXPECT_FALSE(KeyExists(L"KVFile\\ShellExecPath"));

    _wputenv_s(L"temp", oldTemp);
    SetCurrentDirectoryW(oldDir);
    DeleteFileW(L"E:\\KIV\\marker");
}
