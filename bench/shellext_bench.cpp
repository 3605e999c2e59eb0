// Benchmark of the shell extension's Initialize, which the shell calls in
// its own process on every right-click before the menu shows: every file of
// one folder selected, 2,000 and 20,000 paths, through the module's class
// factory as the shell makes the handler. Aim: the time per file for 20,000
// files within 1.5 times that for 2,000. Also the memory the selection holds
// afterwards (the process's private bytes with and without it).
//
// Usage: shellext_bench [--dll PATH] [--repeats R]   (default: the module
// beside this program, 7 repeats)
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
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!wcscmp(argv[i], L"--dll")) dll = argv[i + 1];
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

    std::printf("%-8s %12s %12s %16s %14s\n", "files", "best (ms)", "median (ms)", "per file (us)", "held (KiB)");
    double perFile[2] = {};
    int row = 0;
    for (int n : {2000, 20000}) {
        SelectionData data(FolderSelection(n));
        std::vector<double> times;
        SIZE_T held = 0;
        for (int r = 0; r < repeats; ++r) {
            Run run = {};
            if (!InitializeOnce(factory, &data, run)) {
                std::fprintf(stderr, "Initialize refused %d files\n", n);
                return 1;
            }
            times.push_back(run.seconds);
            held = std::max(held, run.heldBytes);
        }
        std::sort(times.begin(), times.end());
        perFile[row++] = times[0] / n;
        std::printf("%-8d %12.2f %12.2f %16.2f %14lu\n", n, times[0] * 1e3, times[times.size() / 2] * 1e3,
                    times[0] * 1e6 / n, (unsigned long)(held / 1024));
        std::fflush(stdout);
    }
    std::printf("per-file time, 20000 against 2000: %.2f (aim: at most 1.5)\n", perFile[1] / perFile[0]);
    factory->Release();
    CoUninitialize();
    return 0;
}
