#include "ShellList.h"
#include <cstring>
#include <shlobj.h>

std::vector<WORD> MakeShellList(const std::vector<CString>& paths) {
    std::vector<WORD> u(6, 0);
    for (const CString& p : paths) {
        u.push_back((WORD)(p.GetLength() & 0xFF));
        u.push_back((WORD)(p.GetLength() >> 8));
        for (int i = 0; i < p.GetLength(); ++i) u.push_back(p[i]);
    }
    u.push_back(0);
    size_t v = u.size();
    for (int i = 0; i < 4; ++i) u[(size_t)i] = (WORD)((v >> (8 * i)) & 0xFFFF);
    u[4] = (WORD)(paths.size() & 0xFF);
    u[5] = (WORD)(paths.size() >> 8);
    u.push_back(0);
    return u;
}

BOOL PutShellListBlock(const std::vector<WORD>& units) {
    UINT fmt = ::RegisterClipboardFormatW(L"KIV_MUTLIFILES_FORMAT");
    if (!handover::OpenClipboardWithin(2000)) return FALSE;
    ::EmptyClipboard();
    if (!units.empty()) {
        HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, units.size() * sizeof(WORD));
        memcpy(::GlobalLock(h), units.data(), units.size() * sizeof(WORD));
        ::GlobalUnlock(h);
        ::SetClipboardData(fmt, h);
    }
    ::CloseClipboard();
    return TRUE;
}

std::vector<WORD> TakenShellList() {
    return std::vector<WORD>(handover::kTakenList, handover::kTakenList + 8);
}

std::vector<WORD> ClipboardShellList() {
    std::vector<WORD> units;
    UINT fmt = ::RegisterClipboardFormatW(handover::kListFormat);
    if (!handover::OpenClipboardWithin(2000)) return units;
    HANDLE h = ::GetClipboardData(fmt);
    const BYTE* p = h ? static_cast<const BYTE*>(::GlobalLock(h)) : nullptr;
    if (p) {
        units.resize(::GlobalSize(h) / 2);
        memcpy(units.data(), p, units.size() * 2);
        ::GlobalUnlock(h);
    }
    ::CloseClipboard();
    return units;
}

BOOL PutShellHandOver(const std::vector<WORD>& units, const HandOverSpec& spec) {
    if (!PutShellListBlock(units)) return FALSE;
    UINT fmt = ::RegisterClipboardFormatW(handover::kListFormat);
    UINT recordFmt = ::RegisterClipboardFormatW(handover::kRecordFormat);
    if (!handover::OpenClipboardWithin(2000)) return FALSE;
    handover::Record r = {};
    r.magic = handover::kRecordMagic;
    r.size = sizeof r;
    r.command = spec.command;
    r.writer = ::GetCurrentProcessId();
    r.serial = 0x7E57;
    r.pid = spec.pid;
    r.started = spec.started;
    ::GetSystemTimeAsFileTime(&r.written);
    ULARGE_INTEGER t;
    t.LowPart = r.written.dwLowDateTime;
    t.HighPart = r.written.dwHighDateTime;
    t.QuadPart -= spec.ageMs * 10000;
    r.written.dwLowDateTime = t.LowPart;
    r.written.dwHighDateTime = t.HighPart;
    // The record names the block as the clipboard holds it.
    BOOL ok = handover::BlockHash(::GetClipboardData(fmt), r.listBytes, r.listHash);
    HGLOBAL h = ok ? handover::NewBlock(&r, sizeof r) : nullptr;
    ok = h && ::SetClipboardData(recordFmt, h);
    if (h && !ok) ::GlobalFree(h);
    ::CloseClipboard();
    return ok;
}

namespace {
// The selection as the shell hands it over: CF_HDROP only.
class SelectionData final : public IDataObject {
public:
    explicit SelectionData(const std::vector<CString>& paths) {
        DROPFILES df = {};
        df.pFiles = sizeof df;
        df.fWide = TRUE;
        const BYTE* h = reinterpret_cast<const BYTE*>(&df);
        m_block.assign(h, h + sizeof df);
        for (const CString& p : paths) {
            const BYTE* s = reinterpret_cast<const BYTE*>(p.GetString());
            m_block.insert(m_block.end(), s, s + (p.GetLength() + 1) * sizeof(WCHAR));
        }
        m_block.push_back(0);
        m_block.push_back(0);
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (f->cfFormat != CF_HDROP || !(f->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, m_block.size());
        memcpy(::GlobalLock(h), m_block.data(), m_block.size());
        ::GlobalUnlock(h);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = h;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
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
}  // namespace

HRESULT ChooseShellCommand(const CString& strDll, const std::vector<CString>& paths, UINT offset) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE h = ::LoadLibraryW(strDll);
    typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void**);
    GetClassObject get = h ? reinterpret_cast<GetClassObject>(::GetProcAddress(h, "DllGetClassObject")) : nullptr;
    CLSID clsid;
    if (!get || FAILED(::CLSIDFromString(L"{3244BEAB-491D-4009-AF5F-92607FF1E094}", &clsid))) return E_FAIL;
    IClassFactory* cf = nullptr;
    HRESULT hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&cf));
    if (FAILED(hr)) return hr;
    IContextMenu* cm = nullptr;
    hr = cf->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&cm));
    cf->Release();
    if (FAILED(hr)) return hr;
    IShellExtInit* init = nullptr;
    hr = cm->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (SUCCEEDED(hr)) {
        SelectionData data(paths);
        hr = init->Initialize(nullptr, &data, nullptr);
        init->Release();
    }
    if (SUCCEEDED(hr)) {
        HMENU menu = ::CreatePopupMenu();
        cm->QueryContextMenu(menu, 0, 100, 199, CMF_NORMAL);
        ::DestroyMenu(menu);
        CMINVOKECOMMANDINFO ici = {};
        ici.cbSize = sizeof ici;
        ici.lpVerb = MAKEINTRESOURCEA(offset);
        ici.nShow = SW_SHOWNORMAL;
        hr = cm->InvokeCommand(&ici);
    }
    cm->Release();
    return hr;
}
