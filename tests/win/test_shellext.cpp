// The shell extension module KIVShellExt.dll through COM, as the desktop
// shell uses it: the menu for a selection, the command strings, the hand-over
// to the program (a stub that records what it was given), registration with
// regsvr32, and when the module may be unloaded.
#include "shellext/KIVShlExt.h"
#include "shellext/ShellExtResource.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/ShellList.h"
#include <gtest/gtest.h>
#include <olectl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "KIVShellExt_h.h"
#include "KIVShellExt_i.c"

namespace {

// ---------------------------------------------------------------- helpers

std::wstring WinPath(const char* unixPath)
{
    std::wstring w = L"Z:";
    for (const char* p = unixPath; *p; ++p) w += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
    return w;
}

const std::wstring& DllPath()
{
    static const std::wstring path = WinPath(KIV_SHELLEXT_DLL_PATH);
    return path;
}

const std::wstring& StubPath()
{
    static const std::wstring path = WinPath(KIV_SHELLEXT_STUB_PATH);
    return path;
}

struct ComInit {
    ComInit() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
} g_comInit;

struct Releaser {
    void operator()(IUnknown* p) const
    {
        if (p) p->Release();
    }
};
template <class T>
using Ptr = std::unique_ptr<T, Releaser>;

// The module, loaded once for the whole program as the shell would.
struct Module {
    HMODULE h = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;
    WORD(WINAPI* version)() = nullptr;
};

const Module& Dll()
{
    static Module m = [] {
        Module r;
        r.h = LoadLibraryW(DllPath().c_str());
        if (r.h) {
            r.canUnloadNow = reinterpret_cast<decltype(r.canUnloadNow)>(GetProcAddress(r.h, "DllCanUnloadNow"));
            r.getClassObject = reinterpret_cast<decltype(r.getClassObject)>(GetProcAddress(r.h, "DllGetClassObject"));
            r.registerServer = reinterpret_cast<decltype(r.registerServer)>(GetProcAddress(r.h, "DllRegisterServer"));
            r.unregisterServer = reinterpret_cast<decltype(r.unregisterServer)>(GetProcAddress(r.h, "DllUnregisterServer"));
            r.version = reinterpret_cast<decltype(r.version)>(GetProcAddress(r.h, "GetSheExtVersion"));
        }
        return r;
    }();
    return m;
}

Ptr<IClassFactory> Factory()
{
    IClassFactory* cf = nullptr;
    EXPECT_EQ(Dll().getClassObject(CLSID_KIVShlExt, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    return Ptr<IClassFactory>(cf);
}

Ptr<IContextMenu> NewHandler()
{
    IContextMenu* cm = nullptr;
    Ptr<IClassFactory> cf = Factory();
    if (cf) {
        EXPECT_EQ(cf->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&cm)), S_OK);
    }
    return Ptr<IContextMenu>(cm);
}

// A CF_HDROP block: the DROPFILES header and the names, each terminated,
// then the empty name.
std::vector<BYTE> DropBlock(const std::vector<std::wstring>& paths)
{
    DROPFILES df = {};
    df.pFiles = sizeof df;
    df.fWide = TRUE;
    std::vector<BYTE> b(reinterpret_cast<BYTE*>(&df), reinterpret_cast<BYTE*>(&df) + sizeof df);
    for (const std::wstring& p : paths) {
        const BYTE* s = reinterpret_cast<const BYTE*>(p.c_str());
        b.insert(b.end(), s, s + (p.size() + 1) * sizeof(WCHAR));
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

// The selection as the shell hands it over: a data object with CF_HDROP.
class DropData final : public IDataObject {
public:
    explicit DropData(std::vector<BYTE> block, bool hasDrop = true) : m_block(std::move(block)), m_hasDrop(hasDrop) {}
    explicit DropData(const std::vector<std::wstring>& paths) : DropData(DropBlock(paths)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override
    {
        if (!m_hasDrop || f->cfFormat != CF_HDROP || !(f->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, m_block.size());
        memcpy(GlobalLock(h), m_block.data(), m_block.size());
        GlobalUnlock(h);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = h;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override
    {
        return m_hasDrop && f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<BYTE> m_block;
    bool m_hasDrop;
};

HRESULT Select(IContextMenu* cm, IDataObject* data)
{
    IShellExtInit* init = nullptr;
    HRESULT hr = cm->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (FAILED(hr)) return hr;
    hr = init->Initialize(nullptr, data, nullptr);
    init->Release();
    return hr;
}

HRESULT Select(IContextMenu* cm, const std::vector<std::wstring>& paths)
{
    DropData data(paths);
    return Select(cm, &data);
}

HRESULT Invoke(IContextMenu* cm, LPCSTR verb)
{
    CMINVOKECOMMANDINFO ici = {};
    ici.cbSize = sizeof ici;
    ici.lpVerb = verb;
    ici.nShow = SW_SHOWNORMAL;
    return cm->InvokeCommand(&ici);
}

HRESULT InvokeOffset(IContextMenu* cm, UINT offset) { return Invoke(cm, MAKEINTRESOURCEA(offset)); }

struct MenuItem {
    bool separator = false;
    std::wstring text;
    UINT id = 0;
    bool grayed = false;
    HBITMAP unchecked = nullptr, checked = nullptr;
};

std::vector<MenuItem> ReadMenu(HMENU menu)
{
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        WCHAR text[128] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
        mii.dwTypeData = text;
        mii.cch = 128;
        GetMenuItemInfoW(menu, i, TRUE, &mii);
        MenuItem it;
        it.separator = (mii.fType & MFT_SEPARATOR) != 0;
        it.text = text;
        it.id = mii.wID;
        it.grayed = (mii.fState & MFS_GRAYED) != 0;
        it.unchecked = mii.hbmpUnchecked;
        it.checked = mii.hbmpChecked;
        items.push_back(it);
    }
    return items;
}

// A shell menu with one entry of its own, at position 0.
HMENU ShellMenu()
{
    HMENU m = CreatePopupMenu();
    AppendMenuW(m, MF_STRING, 1, L"Open");
    return m;
}

std::wstring Repeat(const std::wstring& head, size_t length, const std::wstring& tail)
{
    std::wstring s = head;
    while (s.size() + tail.size() < length) s += L'x';
    return s + tail;
}

// ------------------------------------------------------------- clipboard

UINT ListFormat() { return RegisterClipboardFormatW(L"KIV_MUTLIFILES_FORMAT"); }

// One of the module's own texts, as its boxes show it.
CString ModuleText(UINT id)
{
    WCHAR text[512] = {};
    LoadStringW(Dll().h, id, text, 512);
    return text;
}

// Leaves only a text on the clipboard, so a list there must be new.
void PutSentinel()
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const wchar_t text[] = L"sentinel";
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    memcpy(GlobalLock(h), text, sizeof text);
    GlobalUnlock(h);
    SetClipboardData(CF_UNICODETEXT, h);
    CloseClipboard();
}

bool SentinelKept() { return IsClipboardFormatAvailable(CF_UNICODETEXT) && !IsClipboardFormatAvailable(ListFormat()); }

// The block of the list format on the clipboard, in 16-bit units; empty
// when there is none.
std::vector<WORD> ClipboardList()
{
    std::vector<WORD> units;
    if (!OpenClipboard(nullptr)) return units;
    HANDLE h = GetClipboardData(ListFormat());
    const BYTE* p = h ? static_cast<const BYTE*>(GlobalLock(h)) : nullptr;
    if (p) {
        units.resize(GlobalSize(h) / 2);
        memcpy(units.data(), p, units.size() * 2);
        GlobalUnlock(h);
    }
    CloseClipboard();
    return units;
}

// Checks a list block against the paths it should carry, unit by unit.
::testing::AssertionResult ListCarries(const std::vector<WORD>& u, const std::vector<std::wstring>& paths)
{
    size_t total = 0;
    for (const std::wstring& p : paths) total += p.size() + 2;
    if (u.size() < total + 8) return ::testing::AssertionFailure() << "block of " << u.size() << " units, want " << total + 8;
    const DWORD v = static_cast<DWORD>(total + 7);
    const WORD header[6] = {WORD(v), WORD(v >> 8), WORD(v >> 16), WORD(v >> 24), WORD(paths.size() & 0xFF),
                            WORD(paths.size() >> 8)};
    for (int i = 0; i < 6; ++i)
        if (u[i] != header[i]) return ::testing::AssertionFailure() << "header unit " << i << " is " << u[i] << ", want " << header[i];
    size_t at = 6;
    for (size_t k = 0; k < paths.size(); ++k) {
        const std::wstring& p = paths[k];
        if (u[at] != (p.size() & 0xFF) || u[at + 1] != (p.size() >> 8))
            return ::testing::AssertionFailure() << "entry " << k << " length units " << u[at] << "," << u[at + 1];
        if (std::wstring(u.begin() + at + 2, u.begin() + at + 2 + p.size()) != p)
            return ::testing::AssertionFailure() << "entry " << k << " text differs";
        at += p.size() + 2;
    }
    for (; at < u.size(); ++at)
        if (u[at] != 0) return ::testing::AssertionFailure() << "unit " << at << " after the list is " << u[at];
    return ::testing::AssertionSuccess();
}

// ------------------------------------------------------------- registry

bool KeyExists(HKEY root, const std::wstring& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// A string value; "<missing>" when absent or not a string.
std::wstring ReadString(HKEY root, const std::wstring& key, LPCWSTR name)
{
    WCHAR buf[1024];
    DWORD cb = sizeof buf;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &cb) != ERROR_SUCCESS) return L"<missing>";
    return buf;
}

void SetString(HKEY root, const std::wstring& key, LPCWSTR name, const std::wstring& data)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), DWORD((data.size() + 1) * 2));
    RegCloseKey(h);
}

std::wstring GuidText(REFGUID g)
{
    WCHAR s[40];
    StringFromGUID2(g, s, 40);
    return s;
}

const WCHAR kOpenCommand[] = L"KVFile\\shell\\open\\command";
const WCHAR kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Hand-overs in these tests must start nothing.
void NoOpenCommand() { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KVFile"); }

// ------------------------------------------------------------- stub

struct StubRecord {
    std::wstring self;
    std::vector<std::wstring> args;
    bool hasList = false;
    std::vector<WORD> list;
};

bool ParseRecord(const std::string& bytes, StubRecord& r)
{
    size_t at = 0;
    auto u32 = [&](DWORD& v) {
        if (at + 4 > bytes.size()) return false;
        memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return true;
    };
    auto text = [&](std::wstring& s) {
        DWORD n = 0;
        if (!u32(n) || at + n * 2 > bytes.size()) return false;
        s.assign(reinterpret_cast<const wchar_t*>(bytes.data() + at), n);
        at += n * 2;
        return true;
    };
    DWORD argc = 0, cb = 0;
    if (!text(r.self) || !u32(argc)) return false;
    r.args.resize(argc);
    for (std::wstring& a : r.args)
        if (!text(a)) return false;
    if (!u32(cb)) return false;
    r.hasList = cb != 0xFFFFFFFF;
    if (r.hasList) {
        if (at + cb > bytes.size()) return false;
        r.list.resize(cb / 2);
        memcpy(r.list.data(), bytes.data() + at, r.list.size() * 2);
    }
    return true;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The whole record file; false while it cannot be opened. Right after the
// stub's rename, Wine's move still holds the file open for deleting, so a
// reader that does not share deleting is refused for a moment.
bool ReadRecordFile(const std::wstring& path, std::string& bytes)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buf[4096];
    DWORD got = 0;
    BOOL ok;
    while ((ok = ReadFile(f, buf, sizeof buf, &got, nullptr)) && got > 0) bytes.append(buf, got);
    CloseHandle(f);
    return ok != FALSE;
}

// Waits for the stub's record; false when none came in time.
bool WaitRecord(const std::wstring& path, StubRecord& r, DWORD timeoutMs = 30000)
{
    std::string bytes;
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (FileExists(path) && ReadRecordFile(path, bytes)) return ParseRecord(bytes, r);
        Sleep(50);
    }
    return false;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

// The hand-over tests: a folder for stub copies and records, the open
// command pointing at a stub, and a clipboard without a list.
class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::wstring(m_temp.Path().GetString());
        PutSentinel();
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KVFile");
        SetEnvironmentVariableW(L"KIV_STUB_RECORD", nullptr);
    }

    // A copy of the stub at dir\relative (folders made as needed).
    std::wstring PlaceStub(const std::wstring& relative)
    {
        std::wstring path = m_dir;
        size_t start = 0;
        for (size_t slash; (slash = relative.find(L'\\', start)) != std::wstring::npos; start = slash + 1) {
            path += L"\\" + relative.substr(start, slash - start);
            CreateDirectoryW(path.c_str(), nullptr);
        }
        path += L"\\" + relative.substr(start);
        EXPECT_TRUE(CopyFileW(StubPath().c_str(), path.c_str(), FALSE));
        return path;
    }

    void SetOpenCommand(const std::wstring& command) { SetString(HKEY_CLASSES_ROOT, kOpenCommand, nullptr, command); }

    // Where the next started stub writes; the name tells the cases apart.
    std::wstring ExpectRecord(const std::wstring& name)
    {
        std::wstring path = m_dir + L"\\" + name + L".rec";
        SetEnvironmentVariableW(L"KIV_STUB_RECORD", path.c_str());
        return path;
    }

    TempDir m_temp;
    std::wstring m_dir;
};

DWORD RunRegsvr32(const std::wstring& switches)
{
    std::wstring cmd = L"regsvr32.exe " + switches + L" \"" + DllPath() + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFE;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

}  // namespace

// ================================================================== menu

TEST(ShellExtMenu, EntriesFollowTheSelection)
{
    ASSERT_NE(Dll().h, nullptr) << "cannot load the module";
    const std::wstring longArchive = Repeat(L"C:\\deep\\", 300, L".KVF");
    const std::wstring longPlain = Repeat(L"C:\\deep\\", 300, L".txt");
    const struct {
        const char* what;
        std::vector<std::wstring> paths;
        bool compress, decompress;
    } rows[] = {
        {"plain files", {L"C:\\docs\\a.txt", L"C:\\docs\\b.doc"}, true, false},
        {"a folder", {L"C:\\docs\\folder"}, true, false},
        {"archives in any letter case", {L"C:\\docs\\x.KVF", L"C:\\docs\\y.kvf", L"C:\\docs\\z.Kvf"}, false, true},
        {"mixed, plain first", {L"C:\\docs\\a.txt", L"C:\\docs\\b.kvf"}, false, false},
        {"mixed, archive first", {L"C:\\docs\\b.kvf", L"C:\\docs\\a.txt", L"C:\\docs\\c.kvf"}, false, false},
        {"kvf inside a name", {L"C:\\docs\\a.kvf.txt", L"C:\\docs\\kvf"}, true, false},
        // The whole path is tested, not only its first 260 characters.
        {"long archive", {longArchive}, false, true},
        {"long plain and an archive", {longPlain, L"C:\\docs\\b.kvf"}, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_TRUE(cm);
        ASSERT_EQ(Select(cm.get(), row.paths), S_OK);
        HMENU menu = ShellMenu();
        EXPECT_EQ(cm->QueryContextMenu(menu, 0, 100, 199, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4));
        std::vector<MenuItem> items = ReadMenu(menu);
        ASSERT_EQ(items.size(), 5u);
        EXPECT_EQ(items[0].text, L"Open");
        EXPECT_TRUE(items[1].separator);
        EXPECT_EQ(items[2].text, L"Auto Compress KVF files");
        EXPECT_EQ(items[2].id, 100u);
        EXPECT_EQ(items[2].grayed, !row.compress);
        EXPECT_EQ(items[3].text, L"Auto Decompress KVF files");
        EXPECT_EQ(items[3].id, 101u);
        EXPECT_EQ(items[3].grayed, !row.decompress);
        EXPECT_TRUE(items[4].separator);
        for (int i : {2, 3}) {
            EXPECT_NE(items[i].unchecked, nullptr);
            EXPECT_EQ(items[i].checked, nullptr);
        }
        DestroyMenu(menu);
    }
}

TEST(ShellExtMenu, DefaultOnlyOrTooFewIdsAddNothing)
{
    const struct {
        const char* what;
        UINT first, last, flags;
        int added;
    } rows[] = {
        {"default only", 100, 199, CMF_DEFAULTONLY, 0},
        {"default only among other flags", 100, 199, CMF_DEFAULTONLY | CMF_EXPLORE, 0},
        {"one id", 100, 100, CMF_NORMAL, 0},
        {"no id", 100, 99, CMF_NORMAL, 0},
        {"two ids", 100, 101, CMF_NORMAL, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\a.txt"}), S_OK);
        HMENU menu = ShellMenu();
        EXPECT_EQ(cm->QueryContextMenu(menu, 0, row.first, row.last, row.flags),
                  MAKE_HRESULT(SEVERITY_SUCCESS, 0, row.added));
        EXPECT_EQ(GetMenuItemCount(menu), 1 + row.added);
        DestroyMenu(menu);
    }
}

TEST(ShellExtMenu, ASecondSelectionReplacesTheFirst)
{
    NoOpenCommand();
    Ptr<IContextMenu> cm = NewHandler();
    ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\a.txt"}), S_OK);
    HMENU first = ShellMenu();
    cm->QueryContextMenu(first, 0, 100, 199, CMF_NORMAL);
    ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\x.kvf", L"C:\\docs\\y.KVF"}), S_OK);
    HMENU second = ShellMenu();
    cm->QueryContextMenu(second, 0, 100, 199, CMF_NORMAL);
    std::vector<MenuItem> items = ReadMenu(second);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_TRUE(items[2].grayed);
    EXPECT_FALSE(items[3].grayed);

    // The first menu's bitmap was freed with the second menu; the second
    // one lives as long as the object.
    const HBITMAP firstBitmap = ReadMenu(first)[2].unchecked;
    const HBITMAP secondBitmap = items[2].unchecked;
    EXPECT_EQ(GetObjectType(secondBitmap), DWORD(OBJ_BITMAP));
    if (firstBitmap != secondBitmap) {
        EXPECT_EQ(GetObjectType(firstBitmap), 0u);
    }
    DestroyMenu(first);
    DestroyMenu(second);

    // Only the second selection reaches the clipboard.
    PutSentinel();
    EXPECT_EQ(InvokeOffset(cm.get(), 1), S_OK);  // no open command: nothing starts
    EXPECT_TRUE(ListCarries(ClipboardList(), {L"C:\\docs\\x.kvf", L"C:\\docs\\y.KVF"}));
    cm.reset();
    EXPECT_EQ(GetObjectType(secondBitmap), 0u);
}

// ============================================================ selection

TEST(ShellExtSelection, RefusedSelectionsLeaveNoList)
{
    NoOpenCommand();
    DROPFILES df = {};
    df.pFiles = sizeof df;
    df.fWide = TRUE;
    auto header = [&](DWORD pFiles) {
        DROPFILES d = df;
        d.pFiles = pFiles;
        return std::vector<BYTE>(reinterpret_cast<BYTE*>(&d), reinterpret_cast<BYTE*>(&d) + sizeof d);
    };
    std::vector<BYTE> unterminated = DropBlock({L"C:\\docs\\a.txt"});
    unterminated.resize(unterminated.size() - 4);  // no terminator, no empty name
    std::vector<BYTE> noEmptyName = DropBlock({L"C:\\docs\\a.txt"});
    noEmptyName.resize(noEmptyName.size() - 2);
    std::vector<BYTE> pastTheBlock = DropBlock({L"C:\\docs\\a.txt"});
    memcpy(pastTheBlock.data(), header(DWORD(pastTheBlock.size() + 2)).data(), sizeof df);
    std::vector<BYTE> shortHeader(8, 0);
    const std::wstring tooLong = Repeat(L"C:\\deep\\", 521, L".txt");

    const struct {
        const char* what;
        DropData data;
    } rows[] = {
        {"no dropped-file list", DropData(DropBlock({L"C:\\docs\\a.txt"}), false)},
        {"no files", DropData(std::vector<std::wstring>{})},
        {"a name running past the block", DropData(unterminated)},
        {"no empty name after the last", DropData(noEmptyName)},
        {"names beyond the block", DropData(pastTheBlock)},
        {"a block shorter than its header", DropData(shortHeader)},
        {"a path of 521 characters", DropData(std::vector<std::wstring>{L"C:\\docs\\a.txt", tooLong})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\earlier.txt"}), S_OK);
        DropData data = row.data;
        EXPECT_EQ(Select(cm.get(), &data), E_INVALIDARG);
        // Neither the refused selection nor the earlier one is handed over.
        PutSentinel();
        EXPECT_TRUE(FAILED(InvokeOffset(cm.get(), 0)));
        EXPECT_TRUE(SentinelKept());
    }
    Ptr<IContextMenu> cm = NewHandler();
    EXPECT_EQ(Select(cm.get(), nullptr), E_INVALIDARG);
}

TEST(ShellExtSelection, NarrowListsAndTheLongestPathAreTaken)
{
    NoOpenCommand();
    const std::wstring longest = Repeat(L"C:\\deep\\", 520, L".kvf");
    Ptr<IContextMenu> cm = NewHandler();
    ASSERT_EQ(Select(cm.get(), {longest}), S_OK);
    PutSentinel();
    EXPECT_EQ(InvokeOffset(cm.get(), 1), S_OK);
    EXPECT_TRUE(ListCarries(ClipboardList(), {longest}));

    // A list of ANSI names, as older programs drop them.
    DROPFILES df = {};
    df.pFiles = sizeof df;
    std::vector<BYTE> block(reinterpret_cast<BYTE*>(&df), reinterpret_cast<BYTE*>(&df) + sizeof df);
    const char names[] = "C:\\docs\\a.txt\0C:\\docs\\b.txt\0";
    block.insert(block.end(), names, names + sizeof names);
    DropData narrow(block);
    ASSERT_EQ(Select(cm.get(), &narrow), S_OK);
    PutSentinel();
    EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
    EXPECT_TRUE(ListCarries(ClipboardList(), {L"C:\\docs\\a.txt", L"C:\\docs\\b.txt"}));
}

TEST(ShellExtSelection, ListsAreReadWithinTheirBlock)
{
    NoOpenCommand();
    // A block of the given header and body bytes.
    auto block = [](DWORD pFiles, BOOL wide, const std::vector<BYTE>& body) {
        DROPFILES df = {};
        df.pFiles = pFiles;
        df.fWide = wide;
        std::vector<BYTE> b(reinterpret_cast<BYTE*>(&df), reinterpret_cast<BYTE*>(&df) + sizeof df);
        b.resize(pFiles < b.size() ? b.size() : pFiles, 0xEE);  // room before the list
        b.insert(b.end(), body.begin(), body.end());
        return b;
    };
    auto wideNames = [](const std::vector<std::wstring>& names) {
        std::vector<BYTE> b;
        for (const std::wstring& n : names) {
            const BYTE* s = reinterpret_cast<const BYTE*>(n.c_str());
            b.insert(b.end(), s, s + (n.size() + 1) * sizeof(WCHAR));
        }
        b.push_back(0);
        b.push_back(0);
        return b;
    };
    auto narrowNames = [](const std::vector<std::string>& names) {
        std::vector<BYTE> b;
        for (const std::string& n : names) b.insert(b.end(), n.c_str(), n.c_str() + n.size() + 1);
        b.push_back(0);
        return b;
    };
    const DWORD header = sizeof(DROPFILES);
    const std::wstring a = L"C:\\docs\\a.txt", b = L"C:\\docs\\b.kvf";
    std::vector<BYTE> trailing = wideNames({a, b});
    trailing.insert(trailing.end(), 64, 0xEE);  // a larger block than the list needs
    std::vector<BYTE> halfUnit = wideNames({a});
    halfUnit.pop_back();  // the last unit is cut in half
    const std::string longestNarrow = std::string(516, 'x') + ".txt";

    const struct {
        const char* what;
        std::vector<BYTE> block;
        std::vector<std::wstring> want;  // empty: refused
    } rows[] = {
        {"wide, the list at an odd offset past the header", block(header + 3, TRUE, wideNames({a, b})), {a, b}},
        {"wide, bytes after the list", block(header, TRUE, trailing), {a, b}},
        {"wide, the last unit cut in half", block(header, TRUE, halfUnit), {}},
        {"the list starting at the block's end", block(header, TRUE, {}), {}},
        {"narrow, a character of the code page", block(header, FALSE, narrowNames({"C:\\docs\\caf\xe9.txt"})),
         {L"C:\\docs\\caf\x00e9.txt"}},
        {"narrow, a path at the limit", block(header, FALSE, narrowNames({longestNarrow})),
         {std::wstring(longestNarrow.begin(), longestNarrow.end())}},
        {"narrow, a path past the limit", block(header, FALSE, narrowNames({"C:\\a.txt", "y" + longestNarrow})), {}},
        {"narrow, no empty name after the last", block(header, FALSE, {'C', ':', '\\', 'a', 0}), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ptr<IContextMenu> cm = NewHandler();
        DropData data(row.block);
        PutSentinel();
        if (row.want.empty()) {
            EXPECT_EQ(Select(cm.get(), &data), E_INVALIDARG);
            EXPECT_TRUE(FAILED(InvokeOffset(cm.get(), 0)));
            EXPECT_TRUE(SentinelKept());
        } else {
            ASSERT_EQ(Select(cm.get(), &data), S_OK);
            EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
            EXPECT_TRUE(ListCarries(ClipboardList(), row.want));
        }
    }
}

// ======================================================== command strings

TEST(ShellExtCommandString, Table)
{
    Ptr<IContextMenu> cm = NewHandler();
    ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\a.txt"}), S_OK);
    const struct {
        const char* what;
        UINT_PTR offset;
        UINT flags;
        UINT size;  // 0: no buffer at all
        HRESULT hr;
        const char* text;  // nullptr: the buffer stays untouched
    } rows[] = {
        {"wide help", 0, GCS_HELPTEXTW, 64, S_OK, "This is KIV's help"},
        {"ANSI help", 0, GCS_HELPTEXTA, 64, S_OK, "This is KIV's help"},
        {"wide help cut to the buffer", 0, GCS_HELPTEXTW, 5, S_OK, "This"},
        {"ANSI help cut to the buffer", 0, GCS_HELPTEXTA, 8, S_OK, "This is"},
        {"help of the decompress entry", 1, GCS_HELPTEXTW, 64, E_INVALIDARG, nullptr},
        {"help of an unknown entry", 2, GCS_HELPTEXTA, 64, E_INVALIDARG, nullptr},
        {"wide verb", 0, GCS_VERBW, 64, E_INVALIDARG, nullptr},
        {"ANSI verb", 0, GCS_VERBA, 64, E_INVALIDARG, nullptr},
        {"help into no buffer", 0, GCS_HELPTEXTW, 0, E_INVALIDARG, nullptr},
        {"validate compress, no buffer", 0, GCS_VALIDATEW, 0, S_OK, nullptr},
        {"validate decompress, no buffer", 1, GCS_VALIDATEA, 0, S_OK, nullptr},
        {"validate with a buffer writes nothing", 0, GCS_VALIDATEW, 64, S_OK, nullptr},
        {"validate an unknown entry", 2, GCS_VALIDATEW, 0, E_INVALIDARG, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WCHAR buf[64];
        memset(buf, '#', sizeof buf);
        const char* narrow = reinterpret_cast<const char*>(buf);
        CHAR* out = row.size ? reinterpret_cast<CHAR*>(buf) : nullptr;
        EXPECT_EQ(cm->GetCommandString(row.offset, row.flags, nullptr, out, row.size), row.hr);
        if (row.text == nullptr) {
            EXPECT_EQ(narrow[0], '#');
        } else if (row.flags & GCS_UNICODE) {
            EXPECT_EQ(std::wstring(buf), std::wstring(row.text, row.text + strlen(row.text)));
            if (row.size < 64) {
                EXPECT_EQ(buf[row.size], 0x2323);  // nothing past the buffer
            }
        } else {
            EXPECT_EQ(std::string(narrow), row.text);
            EXPECT_EQ(narrow[row.size], '#');
        }
    }
}

// ============================================================= hand-over

TEST_F(HandOverTest, PlainFilesStartCompressWithTheirPaths)
{
    const std::wstring program = PlaceStub(L"my tools\\KIV.exe");
    SetOpenCommand(L"\"" + program + L"\" \"%1\"");
    const std::wstring record = ExpectRecord(L"compress");
    const std::vector<std::wstring> paths = {L"C:\\docs\\a.txt", L"C:\\docs\\b.doc"};

    Ptr<IContextMenu> cm = NewHandler();
    ASSERT_EQ(Select(cm.get(), paths), S_OK);
    HMENU menu = ShellMenu();
    cm->QueryContextMenu(menu, 0, 100, 199, CMF_NORMAL);
    EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
    DestroyMenu(menu);

    StubRecord r;
    ASSERT_TRUE(WaitRecord(record, r)) << "the program was not started";
    EXPECT_TRUE(SamePath(r.self, program));
    EXPECT_EQ(r.args, std::vector<std::wstring>{L"compress"});
    ASSERT_TRUE(r.hasList);
    EXPECT_TRUE(ListCarries(r.list, paths));
}

TEST_F(HandOverTest, TheProgramIsTheOpenCommandsFile)
{
    // Each row: where the program lives and how the open command names it.
    const struct {
        const char* what;
        const wchar_t* place;
        bool quoted;
        const wchar_t* args;
    } rows[] = {
        {"unquoted, an \"exe\" in a folder name", L"flexer\\tools\\KIV.EXE", false, L" \"%1\""},
        {"unquoted, no arguments", L"plain\\kiv.exe", false, L""},
        {"unquoted, a tab before the arguments", L"tab\\KIV.Exe", false, L"\t\"%1\""},
        {"quoted, with a blank and an \"exe\" in folder names", L"exec dir\\KIV.exe", true, L" \"%1\""},
    };
    const std::vector<std::wstring> paths = {L"C:\\docs\\x.KVF", L"C:\\docs\\y.kvf"};
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring program = PlaceStub(row.place);
        SetOpenCommand((row.quoted ? L"\"" + program + L"\"" : program) + row.args);
        const std::wstring record = ExpectRecord(L"form" + std::to_wstring(n++));
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), paths), S_OK);
        EXPECT_EQ(InvokeOffset(cm.get(), 1), S_OK);
        StubRecord r;
        ASSERT_TRUE(WaitRecord(record, r)) << "the program was not started";
        EXPECT_TRUE(SamePath(r.self, program));
        EXPECT_EQ(r.args, std::vector<std::wstring>{L"uncompress"});
        EXPECT_TRUE(ListCarries(r.list, paths));
    }
}

TEST_F(HandOverTest, ManyPathsAndLongOnesArriveWhole)
{
    const std::wstring program = PlaceStub(L"KIV.exe");
    SetOpenCommand(program + L" \"%1\"");
    std::vector<std::wstring> paths;
    for (int i = 0; i < 255; ++i) paths.push_back(L"C:\\docs\\file" + std::to_wstring(i) + L".txt");
    paths.push_back(Repeat(L"C:\\deep\\", 256, L".txt"));  // length 256: low unit 0, high unit 1
    const std::wstring record = ExpectRecord(L"many");

    Ptr<IContextMenu> cm = NewHandler();
    ASSERT_EQ(Select(cm.get(), paths), S_OK);
    EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
    StubRecord r;
    ASSERT_TRUE(WaitRecord(record, r)) << "the program was not started";
    EXPECT_EQ(r.args, std::vector<std::wstring>{L"compress"});
    ASSERT_TRUE(r.hasList);
    EXPECT_EQ(r.list[4], 0);  // 256 paths
    EXPECT_EQ(r.list[5], 1);
    EXPECT_TRUE(ListCarries(r.list, paths));
}

TEST_F(HandOverTest, NothingStartsWithoutAFreshListOrAProgram)
{
    const std::wstring program = PlaceStub(L"KIV.exe");
    SetOpenCommand(L"\"" + program + L"\" \"%1\"");
    std::vector<std::wstring> records;
    const std::vector<std::wstring> plain = {L"C:\\docs\\a.txt"};

    {
        SCOPED_TRACE("mixed selection: the list is written, nothing started");
        records.push_back(ExpectRecord(L"mixed"));
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), {L"C:\\docs\\a.txt", L"C:\\docs\\b.kvf"}), S_OK);
        EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
        EXPECT_TRUE(ListCarries(ClipboardList(), {L"C:\\docs\\a.txt", L"C:\\docs\\b.kvf"}));
    }
    const struct {
        const char* what;
        LPCSTR verb;
    } refused[] = {{"a string verb", "open"}, {"offset 2", MAKEINTRESOURCEA(2)}};
    for (const auto& row : refused) {
        SCOPED_TRACE(row.what);
        records.push_back(ExpectRecord(L"verb" + std::to_wstring(records.size())));
        PutSentinel();
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), plain), S_OK);
        EXPECT_EQ(Invoke(cm.get(), row.verb), E_INVALIDARG);
        EXPECT_TRUE(SentinelKept());
    }
    {
        SCOPED_TRACE("no selection given");
        records.push_back(ExpectRecord(L"noselection"));
        PutSentinel();
        Ptr<IContextMenu> cm = NewHandler();
        EXPECT_TRUE(FAILED(InvokeOffset(cm.get(), 0)));
        EXPECT_TRUE(SentinelKept());
    }
    {
        SCOPED_TRACE("the clipboard is held by another window");
        records.push_back(ExpectRecord(L"held"));
        PutSentinel();
        HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE events[2] = {opened, release};
        HANDLE holder = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
            HANDLE* events = static_cast<HANDLE*>(p);
            HWND w = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            BOOL ok = OpenClipboard(w);
            SetEvent(events[0]);
            WaitForSingleObject(events[1], 30000);
            if (ok) CloseClipboard();
            DestroyWindow(w);
            return 0;
        }, events, 0, nullptr);
        WaitForSingleObject(opened, 10000);
        DialogAnswerer answerer;
        answerer.Answer(L"KIV", nullptr, IDOK);
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), plain), S_OK);
        EXPECT_EQ(InvokeOffset(cm.get(), 0), KIV_E_CLIPBOARD_HELD);
        SetEvent(release);
        WaitForSingleObject(holder, 10000);
        CloseHandle(holder);
        CloseHandle(opened);
        CloseHandle(release);
        EXPECT_TRUE(SentinelKept());
        // Given up after its wait, and said.
        ASSERT_EQ(answerer.SeenCount(), 1u);
        EXPECT_TRUE(answerer.Seen()[0].HasText(ModuleText(IDS_CLIPBOARD_HELD))) << answerer.Seen()[0].AllText().ToUtf8();
        // The selection was given up with the failed hand-over.
        EXPECT_TRUE(FAILED(InvokeOffset(cm.get(), 0)));
        EXPECT_TRUE(SentinelKept());
    }
    {
        SCOPED_TRACE("a selection already handed over");
        const std::wstring first = ExpectRecord(L"first");
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), plain), S_OK);
        EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
        StubRecord r;
        ASSERT_TRUE(WaitRecord(first, r));
        records.push_back(ExpectRecord(L"again"));
        PutSentinel();
        EXPECT_TRUE(FAILED(InvokeOffset(cm.get(), 0)));
        EXPECT_TRUE(SentinelKept());
    }
    {
        SCOPED_TRACE("an open command too long to read whole");
        records.push_back(ExpectRecord(L"toolong"));
        SetOpenCommand(L"\"" + program + L"\" " + std::wstring(300, L'a'));
        Ptr<IContextMenu> cm = NewHandler();
        ASSERT_EQ(Select(cm.get(), plain), S_OK);
        EXPECT_EQ(InvokeOffset(cm.get(), 0), S_OK);
    }
    // A started program would have written its record by now.
    Sleep(3000);
    for (const std::wstring& rec : records) EXPECT_FALSE(FileExists(rec)) << CString(rec.c_str()).ToUtf8();
}

// A menu entry chosen for a selection: the selection given to a new
// handler, then the entry (offset 0 compress, 1 decompress) invoked with
// the invocation flags; its result, and how long it took.
struct Chosen {
    HRESULT hr = E_FAIL;
    ULONGLONG ms = 0;
};
Chosen Choose(const std::vector<std::wstring>& paths, UINT offset, DWORD mask = 0)
{
    Chosen c;
    Ptr<IContextMenu> cm = NewHandler();
    if (!cm || Select(cm.get(), paths) != S_OK) return c;
    CMINVOKECOMMANDINFO ici = {};
    ici.cbSize = sizeof ici;
    ici.fMask = mask;
    ici.lpVerb = MAKEINTRESOURCEA(offset);
    ici.nShow = SW_SHOWNORMAL;
    const ULONGLONG start = GetTickCount64();
    c.hr = cm->InvokeCommand(&ici);
    c.ms = GetTickCount64() - start;
    return c;
}

std::vector<CString> Paths(const std::vector<std::wstring>& paths)
{
    std::vector<CString> r;
    for (const std::wstring& p : paths) r.push_back(CString(p.c_str()));
    return r;
}

// The first program is slow to take its list: the next commands, chosen at
// once, wait for that, and every program works on its own selection.
TEST_F(HandOverTest, CommandsInARowEachHandOverTheirOwnSelection)
{
    const std::wstring program = PlaceStub(L"KIV.exe");
    SetOpenCommand(L"\"" + program + L"\" \"%1\"");
    const struct {
        std::vector<std::wstring> paths;
        UINT offset;
        const wchar_t* arg;
        std::wstring record;
    } rows[] = {
        {{L"C:\\docs\\r1.txt"}, 0, L"compress", ExpectRecord(L"r1")},
        {{L"C:\\docs\\r0.txt.kvf"}, 1, L"uncompress", ExpectRecord(L"r0")},
        {{L"C:\\docs\\r2.txt", L"C:\\docs\\r3.txt"}, 0, L"compress", ExpectRecord(L"r2")},
    };
    for (size_t i = 0; i < 3; ++i) {
        SetEnvironmentVariableW(L"KIV_STUB_RECORD", rows[i].record.c_str());
        SetEnvironmentVariableW(L"KIV_STUB_TAKE_DELAY_MS", i == 0 ? L"1500" : nullptr);
        Chosen c = Choose(rows[i].paths, rows[i].offset);
        EXPECT_EQ(c.hr, S_OK) << i;
        EXPECT_LT(c.ms, ULONGLONG(HANDOVER_WAIT_MS)) << i;
    }
    SetEnvironmentVariableW(L"KIV_STUB_TAKE_DELAY_MS", nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arg);
        StubRecord r;
        ASSERT_TRUE(WaitRecord(row.record, r)) << "the program was not started";
        EXPECT_EQ(r.args, std::vector<std::wstring>{row.arg});
        EXPECT_TRUE(ListCarries(r.list, row.paths));
    }
    // Each list was taken: none is left to be worked again.
    EXPECT_EQ(ClipboardShellList(), TakenShellList());
}

TEST_F(HandOverTest, ACommandWhoseEarlierListIsNotTakenInTimeIsGivenUpAndSaid)
{
    const std::wstring program = PlaceStub(L"KIV.exe");
    SetOpenCommand(L"\"" + program + L"\" \"%1\"");
    const std::vector<std::wstring> first = {L"C:\\docs\\r1.txt"}, second = {L"C:\\docs\\r2.txt"};
    // Longer than the two waits below together.
    SetEnvironmentVariableW(L"KIV_STUB_TAKE_DELAY_MS", L"13000");
    const std::wstring firstRecord = ExpectRecord(L"slow");
    ASSERT_EQ(Choose(first, 0).hr, S_OK);
    SetEnvironmentVariableW(L"KIV_STUB_TAKE_DELAY_MS", nullptr);
    const std::wstring lost = ExpectRecord(L"given-up");

    DialogAnswerer answerer;
    answerer.Answer(L"KIV", nullptr, IDOK);
    {
        SCOPED_TRACE("the shell allows no box");
        Chosen c = Choose(second, 0, CMIC_MASK_FLAG_NO_UI);
        EXPECT_EQ(c.hr, KIV_E_EARLIER_LIST_WAITING);
        EXPECT_GE(c.ms + 50, ULONGLONG(HANDOVER_WAIT_MS));
        EXPECT_EQ(answerer.SeenCount(), 0u);
    }
    {
        SCOPED_TRACE("a box is allowed");
        Chosen c = Choose(second, 0);
        EXPECT_EQ(c.hr, KIV_E_EARLIER_LIST_WAITING);
        ASSERT_EQ(answerer.SeenCount(), 1u);
        const DialogInfo box = answerer.Seen()[0];
        EXPECT_EQ(box.caption.ToUtf8(), "KIV");
        EXPECT_TRUE(box.HasText(ModuleText(IDS_EARLIER_LIST_WAITING))) << box.AllText().ToUtf8();
        EXPECT_TRUE(box.HasText(L"not handed")) << box.AllText().ToUtf8();
    }
    // The earlier list was kept for its program, and the given-up command
    // started nothing.
    StubRecord r;
    ASSERT_TRUE(WaitRecord(firstRecord, r, 30000));
    EXPECT_TRUE(ListCarries(r.list, first));
    EXPECT_FALSE(FileExists(lost));
    // Chosen again once it is taken, the command goes through at once.
    const std::wstring again = ExpectRecord(L"again");
    Chosen c = Choose(second, 0);
    EXPECT_EQ(c.hr, S_OK);
    EXPECT_LT(c.ms, 2000u);
    ASSERT_TRUE(WaitRecord(again, r));
    EXPECT_TRUE(ListCarries(r.list, second));
}

// A list is waited for only while a program may still take it.
TEST_F(HandOverTest, ListsNoProgramWillTakeAreNotWaitedFor)
{
    const std::wstring program = PlaceStub(L"KIV.exe");
    const std::vector<std::wstring> earlier = {L"C:\\docs\\earlier.txt"}, now = {L"C:\\docs\\now.txt"};
    const std::vector<WORD> earlierList = MakeShellList(Paths(earlier));

    // A program that has ended, with its start as the record would note it.
    HandOverSpec ended;
    {
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi = {};
        WCHAR line[] = L"cmd.exe /c exit";
        ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, 30000);
        FILETIME e, k, u;
        GetProcessTimes(pi.hProcess, &ended.started, &e, &k, &u);
        ended.pid = pi.dwProcessId;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    // This process runs, but was not started at that time: its id is used again.
    HandOverSpec reused;
    reused.pid = GetCurrentProcessId();
    HandOverSpec unstartedLongAgo;
    unstartedLongAgo.ageMs = 60000;

    const struct {
        const char* what;
        std::function<void()> put;
    } rows[] = {
        {"its program has ended", [&] { PutShellHandOver(earlierList, ended); }},
        {"its program's id now names another process", [&] { PutShellHandOver(earlierList, reused); }},
        {"written long ago, its program never started", [&] { PutShellHandOver(earlierList, unstartedLongAgo); }},
        {"no record (an older module's, or another program's)", [&] { PutShellListBlock(earlierList); }},
        {"the record of another list",
         [&] {
             PutShellHandOver(MakeShellList({L"C:\\docs\\other.txt"}), HandOverSpec());
             ASSERT_TRUE(OpenClipboard(nullptr));
             HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, earlierList.size() * 2);
             memcpy(GlobalLock(h), earlierList.data(), earlierList.size() * 2);
             GlobalUnlock(h);
             SetClipboardData(ListFormat(), h);
             CloseClipboard();
         }},
        {"a record of another size",
         [&] {
             PutShellListBlock(earlierList);
             ASSERT_TRUE(OpenClipboard(nullptr));
             HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(handover::Record) + 4);
             SetClipboardData(RegisterClipboardFormatW(handover::kRecordFormat), h);
             CloseClipboard();
         }},
        {"already taken", [&] { PutShellHandOver(TakenShellList(), HandOverSpec()); }},
        {"its program could not be started",
         [&] {
             SetOpenCommand(m_dir + L"\\missing\\KIV.exe \"%1\"");
             EXPECT_EQ(Choose(earlier, 0).hr, S_OK);
             // Taken back at once.
             EXPECT_EQ(ClipboardShellList(), TakenShellList());
         }},
    };
    DialogAnswerer answerer;
    answerer.Answer(L"KIV", nullptr, IDOK);
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        answerer.ClearSeen();
        row.put();
        SetOpenCommand(L"\"" + program + L"\" \"%1\"");
        const std::wstring record = ExpectRecord(L"row" + std::to_wstring(n++));
        Chosen c = Choose(now, 0);
        EXPECT_EQ(c.hr, S_OK);
        EXPECT_LT(c.ms, 2000u);
        EXPECT_EQ(answerer.SeenCount(), 0u);
        StubRecord r;
        EXPECT_TRUE(WaitRecord(record, r) && ListCarries(r.list, now));
    }
}

// ================================================================ module

TEST(ShellExtModule, UnloadsOnlyWithoutObjectsOrLocks)
{
    ASSERT_NE(Dll().h, nullptr);
    EXPECT_EQ(Dll().canUnloadNow(), S_OK);
    {
        Ptr<IClassFactory> cf = Factory();
        EXPECT_EQ(Dll().canUnloadNow(), S_FALSE);  // the factory lives
        IContextMenu* raw = nullptr;
        ASSERT_EQ(cf->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&raw)), S_OK);
        Ptr<IContextMenu> cm(raw);
        cf.reset();
        EXPECT_EQ(Dll().canUnloadNow(), S_FALSE);  // the object lives

        // One object behind all of its interfaces.
        IUnknown *a = nullptr, *b = nullptr;
        IShellExtInit* init = nullptr;
        IKIVShlExt* own = nullptr;
        IDispatch* disp = nullptr;
        ASSERT_EQ(cm->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
        ASSERT_EQ(cm->QueryInterface(IID_IKIVShlExt, reinterpret_cast<void**>(&own)), S_OK);
        EXPECT_EQ(cm->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)), E_NOINTERFACE);
        EXPECT_EQ(disp, nullptr);
        init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        own->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        EXPECT_EQ(a, b);
        a->Release();
        b->Release();
        init->Release();
        own->Release();
    }
    EXPECT_EQ(Dll().canUnloadNow(), S_OK);
    {
        Ptr<IClassFactory> cf = Factory();
        EXPECT_EQ(cf->LockServer(TRUE), S_OK);
        IUnknown* outer = reinterpret_cast<IUnknown*>(cf.get());
        IUnknown* inner = nullptr;
        EXPECT_EQ(cf->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), CLASS_E_NOAGGREGATION);
        cf.reset();
        EXPECT_EQ(Dll().canUnloadNow(), S_FALSE);  // locked
        Ptr<IClassFactory> again = Factory();
        again->LockServer(FALSE);
    }
    EXPECT_EQ(Dll().canUnloadNow(), S_OK);

    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(Dll().getClassObject(other, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Dll().version(), 0x0111);
}

TEST(ShellExtModule, CarriesItsResources)
{
    HMODULE h = Dll().h;
    ASSERT_NE(h, nullptr);
    WCHAR name[64] = {};
    LoadStringW(h, 100, name, 64);
    EXPECT_EQ(std::wstring(name), L"KIVShellExt");

    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(h, MAKEINTRESOURCEW(203), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bmp, nullptr);
    BITMAP bm = {};
    GetObjectW(bmp, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 16);
    EXPECT_EQ(bm.bmHeight, 16);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    DeleteObject(bmp);
    EXPECT_NE(FindResourceW(h, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24)), nullptr);  // the manifest

    DWORD ignored = 0;
    DWORD cb = GetFileVersionInfoSizeW(DllPath().c_str(), &ignored);
    ASSERT_GT(cb, 0u);
    std::vector<BYTE> info(cb);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, cb, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    for (const wchar_t* field : {L"\\StringFileInfo\\040904B0\\OriginalFilename", L"\\StringFileInfo\\040904B0\\InternalName"}) {
        wchar_t* text = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), field, reinterpret_cast<void**>(&text), &len));
        EXPECT_EQ(std::wstring(text), L"KIVShellExt.dll");
    }

    ITypeLib* tl = nullptr;
    ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, &tl), S_OK);
    auto doc = [&](int index, const wchar_t* wantName, const wchar_t* wantDoc) {
        BSTR n = nullptr, d = nullptr;
        ASSERT_EQ(tl->GetDocumentation(index, &n, &d, nullptr, nullptr), S_OK);
        EXPECT_EQ(std::wstring(n), wantName);
        EXPECT_EQ(std::wstring(d), wantDoc);
        SysFreeString(n);
        SysFreeString(d);
    };
    doc(-1, L"KIVShellExtLib", L"KIVShellExt 1.0 Type Library");
    for (UINT i = 0; i < tl->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        tl->GetTypeInfoType(i, &kind);
        if (kind == TKIND_COCLASS) doc(int(i), L"KIVShlExt", L"KIVShlExt Class");
        if (kind == TKIND_INTERFACE) doc(int(i), L"IKIVShlExt", L"IKIVShlExt Interface");
    }
    tl->Release();
}

// ========================================================== registration

class ShellExtRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        clsid = GuidText(CLSID_KIVShlExt);
        classKey = L"CLSID\\" + clsid;
        libKey = L"TypeLib\\" + GuidText(LIBID_KIVShellExtLib);
    }
    void TearDown() override { Dll().unregisterServer(); }

    std::wstring clsid, classKey, libKey;
    const std::wstring handlerKey = L"*\\shellex\\ContextMenuHandlers\\KivShlExt";
};

TEST_F(ShellExtRegistration, Regsvr32WritesTheTableAndRemovesItAgain)
{
    // Stale keys below the two keys that are rewritten whole.
    SetString(HKEY_CLASSES_ROOT, classKey + L"\\Stale", nullptr, L"x");
    SetString(HKEY_CLASSES_ROOT, handlerKey + L"\\Stale", nullptr, L"x");

    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    const std::wstring appid = ReadString(HKEY_CLASSES_ROOT, classKey, L"AppID");
    const std::wstring appidKey = L"AppID\\" + appid;
    EXPECT_EQ(appid.size(), 38u);
    EXPECT_NE(appid, clsid);
    const struct {
        std::wstring key;
        LPCWSTR name;
        std::wstring data;
    } table[] = {
        {appidKey, nullptr, L"KIVShellExt"},
        {L"AppID\\KIVShellExt.DLL", L"AppID", appid},
        {L"KIVShellExt.KIVShlExt.1", nullptr, L"KIVShlExt Class"},
        {L"KIVShellExt.KIVShlExt.1\\CLSID", nullptr, clsid},
        {L"KIVShellExt.KIVShlExt", nullptr, L"KIVShlExt Class"},
        {L"KIVShellExt.KIVShlExt\\CLSID", nullptr, clsid},
        {L"KIVShellExt.KIVShlExt\\CurVer", nullptr, L"KIVShellExt.KIVShlExt.1"},
        {classKey, nullptr, L"KIVShlExt Class"},
        {classKey + L"\\ProgID", nullptr, L"KIVShellExt.KIVShlExt.1"},
        {classKey + L"\\VersionIndependentProgID", nullptr, L"KIVShellExt.KIVShlExt"},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_KIVShellExtLib)},
        {handlerKey, nullptr, clsid},
        {libKey + L"\\1.0", nullptr, L"KIVShellExt 1.0 Type Library"},
    };
    for (const auto& row : table)
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, row.key, row.name), row.data) << CString(row.key.c_str()).ToUtf8();
    EXPECT_TRUE(SamePath(ReadString(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr), DllPath()));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kApproved, clsid.c_str()), L"KIVShlExt extension");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey + L"\\Stale"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handlerKey + L"\\Stale"));

    // The system now makes the class from its registration.
    IContextMenu* cm = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_KIVShlExt, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                               reinterpret_cast<void**>(&cm)), S_OK);
    if (cm) cm->Release();

    ASSERT_EQ(RunRegsvr32(L"/u /s"), 0u);
    for (const auto& row : table) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, row.key)) << CString(row.key.c_str()).ToUtf8();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kApproved, clsid.c_str()), L"<missing>");
    for (const wchar_t* shared : {L"AppID", L"*", L"*\\shellex", L"*\\shellex\\ContextMenuHandlers"})
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, shared)) << CString(shared).ToUtf8();
    cm = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_KIVShlExt, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                               reinterpret_cast<void**>(&cm)), REGDB_E_CLASSNOTREG);

    // Unregistering what is not registered is no failure.
    EXPECT_EQ(RunRegsvr32(L"/u /s"), 0u);
}

TEST_F(ShellExtRegistration, WithoutTheApprovedListNothingIsRegistered)
{
    // Keep the list's values, remove it, and bring it back afterwards.
    std::vector<std::pair<std::wstring, std::wstring>> kept;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApproved, 0, KEY_READ, &h) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            WCHAR name[256], data[512];
            DWORD cchName = 256, cbData = sizeof data, type = 0;
            if (RegEnumValueW(h, i, name, &cchName, nullptr, &type, reinterpret_cast<BYTE*>(data), &cbData) != ERROR_SUCCESS)
                break;
            if (type == REG_SZ) kept.emplace_back(name, data);
        }
        RegCloseKey(h);
    }
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kApproved), ERROR_SUCCESS);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kApproved);

    EXPECT_EQ(Dll().registerServer(), E_ACCESSDENIED);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handlerKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"KIVShellExt.KIVShlExt"));

    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kApproved, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegCloseKey(h);
    for (const auto& v : kept) SetString(HKEY_LOCAL_MACHINE, kApproved, v.first.c_str(), v.second);

    // With the list back, the module registers in-process as well.
    EXPECT_EQ(Dll().registerServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, handlerKey));
    EXPECT_EQ(Dll().unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handlerKey));
}
