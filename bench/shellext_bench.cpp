// Benchmark of the shell extension's Initialize, which the shell calls in
// its own process on every right-click before the menu shows: every file of
// one folder selected, 2,000 and 20,000 paths, through the module's class
// factory as the shell makes the handler; the selection once as a plain
// block and once as the shell's own data object for a folder of that many
// files, with the time the data object alone takes to hand its block out. Aim: the time per file for 20,000
// files within 1.5 times that for 2,000. Also the memory the selection holds
// afterwards (the process's private bytes with and without it).
//
// Usage: shellext_bench [--dll PATH] [--dir PATH] [--repeats R]   (default:
// the module beside this program, folders under E:\kivshell, 7 repeats)
#include <windows.h>
#include <shlobj.h>
#include <psapi.h>
#include <shellapi.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include "KIVShellExt_h.h"
#include "KIVShellExt_i.c"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// A wide CF_HDROP block of n paths in one folder, as the shell makes it.
std::vector<BYTE> FolderSelection(int n)
{
    DROPFILES df = {};
    df.pFiles = sizeof df;
    df.fWide = TRUE;
    std::vector<BYTE> b(reinterpret_cast<BYTE*>(&df), reinterpret_cast<BYTE*>(&df) + sizeof df);
    for (int i = 0; i < n; ++i) {
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"C:\\users\\root\\Documents\\Holiday photos\\IMG_%06d.jpg", i);
        const BYTE* s = reinterpret_cast<const BYTE*>(path);
        b.insert(b.end(), s, s + (wcslen(path) + 1) * sizeof(wchar_t));
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

// The selection's data object: a fresh copy of the block for every request,
// as the shell hands it out.
class SelectionData final : public IDataObject {
public:
    explicit SelectionData(std::vector<BYTE> block) : m_block(std::move(block)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override
    {
        if (f->cfFormat != CF_HDROP || !(f->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, m_block.size());
        if (h == nullptr) return E_OUTOFMEMORY;
        memcpy(GlobalLock(h), m_block.data(), m_block.size());
        GlobalUnlock(h);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = h;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC; }
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
};

// The shell's own data object for every file of a folder of n empty files
// (made once under base), as a right-click in the folder hands it over.
IDataObject* ShellSelection(const std::wstring& base, int n)
{
    const std::wstring dir = base + L"\\" + std::to_wstring(n);
    CreateDirectoryW(base.c_str(), nullptr);
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < n; ++i) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%ls\\IMG_%06d.jpg", dir.c_str(), i);
        HANDLE h = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    IShellFolder* desktop = nullptr;
    IShellFolder* folder = nullptr;
    PIDLIST_RELATIVE folderId = nullptr;
    IEnumIDList* items = nullptr;
    IDataObject* data = nullptr;
    std::vector<PITEMID_CHILD> ids;
    std::wstring parse = dir;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &parse[0], nullptr, &folderId, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(folderId, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))) &&
        folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &items) == S_OK) {
        PITEMID_CHILD id = nullptr;
        while (items->Next(1, &id, nullptr) == S_OK) ids.push_back(id);
        if (int(ids.size()) == n)
            folder->GetUIObjectOf(nullptr, UINT(ids.size()), const_cast<PCUITEMID_CHILD_ARRAY>(ids.data()), IID_IDataObject,
                                  nullptr, reinterpret_cast<void**>(&data));
    }
    for (PITEMID_CHILD id : ids) CoTaskMemFree(id);
    if (items) items->Release();
    if (folder) folder->Release();
    if (folderId) CoTaskMemFree(folderId);
    if (desktop) desktop->Release();
    return data;
}

// The data object's own part of Initialize: handing out the block.
double CopyAlone(IDataObject* data)
{
    FORMATETC fmt = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM stg = {};
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    HRESULT hr = data->GetData(&fmt, &stg);
    if (SUCCEEDED(hr)) ReleaseStgMedium(&stg);
    QueryPerformanceCounter(&b);
    return SUCCEEDED(hr) ? Seconds(a, b) : -1;
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX mem = {};
    mem.cb = sizeof mem;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
    // Wine leaves PrivateUsage at 0; its commit charge is the same figure.
    return mem.PrivateUsage != 0 ? mem.PrivateUsage : mem.PagefileUsage;
}

struct Run {
    double seconds;
    SIZE_T heldBytes;
};

// One right-click: a new handler, Initialize timed, the memory it holds.
bool InitializeOnce(IClassFactory* factory, IDataObject* data, Run& run)
{
    IShellExtInit* init = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)))) return false;
    const SIZE_T before = PrivateBytes();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    HRESULT hr = init->Initialize(nullptr, data, nullptr);
    QueryPerformanceCounter(&b);
    const SIZE_T after = PrivateBytes();
    init->Release();
    run.seconds = Seconds(a, b);
    run.heldBytes = after > before ? after - before : 0;
    return hr == S_OK;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dll = self;
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"KIVShellExt.dll";
    int repeats = 7;
    std::wstring dir = L"E:\\kivshell";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!wcscmp(argv[i], L"--dll")) dll = argv[i + 1];
        else if (!wcscmp(argv[i], L"--dir")) dir = argv[i + 1];
        else if (!wcscmp(argv[i], L"--repeats")) repeats = std::max(1, _wtoi(argv[i + 1]));
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE module = LoadLibraryW(dll.c_str());
    auto getClassObject = module ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
                                       GetProcAddress(module, "DllGetClassObject"))
                                 : nullptr;
    IClassFactory* factory = nullptr;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(CLSID_KIVShlExt, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        std::fprintf(stderr, "cannot load the handler from %ls\n", dll.c_str());
        return 1;
    }

    // Both sources: a plain block shows the handler's own cost; the shell's
    // data object is what a right-click in a folder hands over.
    const struct {
        const char* name;
        bool shell;
    } sources[] = {{"plain block", false}, {"shell's data object", true}};
    for (const auto& source : sources) {
        std::printf("== %s\n%-8s %12s %12s %16s %18s %12s\n", source.name, "files", "best (ms)", "median (ms)",
                    "per file (us)", "data object (ms)", "held (KiB)");
        double perFile[2] = {};
        int row = 0;
        for (int n : {2000, 20000}) {
            SelectionData plain(source.shell ? std::vector<BYTE>() : FolderSelection(n));
            IDataObject* data = source.shell ? ShellSelection(dir, n) : &plain;
            if (data == nullptr) {
                std::fprintf(stderr, "the shell gave no data object for %d files under %ls\n", n, dir.c_str());
                return 1;
            }
            std::vector<double> times;
            double copy = 1e9;
            SIZE_T held = 0;
            for (int r = 0; r < repeats; ++r) {
                Run run = {};
                if (!InitializeOnce(factory, data, run)) {
                    std::fprintf(stderr, "Initialize refused %d files\n", n);
                    return 1;
                }
                times.push_back(run.seconds);
                held = std::max(held, run.heldBytes);
                copy = std::min(copy, CopyAlone(data));
            }
            if (source.shell) data->Release();
            std::sort(times.begin(), times.end());
            perFile[row++] = times[0] / n;
            std::printf("%-8d %12.2f %12.2f %16.2f %18.2f %12lu\n", n, times[0] * 1e3, times[times.size() / 2] * 1e3,
                        times[0] * 1e6 / n, copy * 1e3, (unsigned long)(held / 1024));
            std::fflush(stdout);
        }
        std::printf("per-file time, 20000 against 2000: %.2f (aim: at most 1.5)\n", perFile[1] / perFile[0]);
    }
    factory->Release();
    CoUninitialize();
    return 0;
}
