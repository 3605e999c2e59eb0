// CKIVShlExt as the shell sees it: identity, selection, menu and commands.
#include "shellext/KIVShlExt.h"
#include "shellext/Module.h"
#include "shellext/ShellExtResource.h"
#include <shellapi.h>
#include <cstddef>
#include <new>

namespace {

const WCHAR kCompressText[] = L"Auto Compress KVF files";
const WCHAR kDecompressText[] = L"Auto Decompress KVF files";
const WCHAR kHelpText[] = L"This is KIV's help";

// The counts travel in two 16-bit units, low byte and the rest.
const UINT kMaxPaths = 0xFFFFFF;
// The list's header carries the units in use as a 32-bit value.
const ULONGLONG kMaxTotalUnits = 0x7FFFFFF0;

// The selection comes from another program: before the system walks the
// dropped-file list, make sure the list ends inside its block.
bool DropListEndsInBlock(const BYTE* block, SIZE_T cb)
{
    if (cb < sizeof(DROPFILES)) return false;
    DROPFILES df;
    memcpy(&df, block, sizeof df);
    if (df.pFiles < sizeof(DROPFILES) || df.pFiles > cb) return false;
    const SIZE_T unit = df.fWide ? 2 : 1;
    bool atStart = true;  // at the first character of a name
    for (SIZE_T pos = df.pFiles; pos + unit <= cb; pos += unit) {
        WORD c = 0;
        memcpy(&c, block + pos, unit);
        if (c == 0) {
            if (atStart) return true;  // the empty name that ends the list
            atStart = true;
        } else {
            atStart = false;
        }
    }
    return false;
}

}  // namespace

CKIVShlExt::CKIVShlExt()
    : m_cRef(1), m_hMenuBitmap(nullptr), m_ppEntries(nullptr), m_nPaths(0),
      m_nTotalUnits(0), m_nSelKind(SELECTION_MIXED)
{
    m_szProgram[0] = 0;
    g_Module.ObjectCreated();
}

CKIVShlExt::~CKIVShlExt()
{
    // The shell may drop the object without choosing an entry.
    FreePathEntries();
    FreeMenuBitmap();
    g_Module.ObjectDestroyed();
}

HRESULT CKIVShlExt::Create(REFIID riid, void** ppv)
{
    CKIVShlExt* p = new (std::nothrow) CKIVShlExt();
    if (p == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}

STDMETHODIMP CKIVShlExt::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    // The interfaces in the order of the class's interface map; IUnknown is
    // the first one's.
    struct Entry {
        const IID* iid;
        IUnknown* (*cast)(CKIVShlExt*);
    };
    static const Entry table[] = {
        {&IID_IUnknown, [](CKIVShlExt* p) -> IUnknown* { return static_cast<IKIVShlExt*>(p); }},
        {&IID_IKIVShlExt, [](CKIVShlExt* p) -> IUnknown* { return static_cast<IKIVShlExt*>(p); }},
        {&IID_IShellExtInit, [](CKIVShlExt* p) -> IUnknown* { return static_cast<IShellExtInit*>(p); }},
        {&IID_IContextMenu, [](CKIVShlExt* p) -> IUnknown* { return static_cast<IContextMenu*>(p); }},
    };
    for (const Entry& e : table) {
        if (IsEqualIID(riid, *e.iid)) {
            IUnknown* unk = e.cast(this);
            unk->AddRef();
            *ppv = unk;
            return S_OK;
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CKIVShlExt::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) CKIVShlExt::Release()
{
    LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP CKIVShlExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* pdtobj, HKEY)
{
    // A second selection replaces the first one entirely.
    FreePathEntries();
    m_nSelKind = SELECTION_MIXED;
    if (pdtobj == nullptr) return E_INVALIDARG;

    FORMATETC fmt = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM stg = {};
    if (FAILED(pdtobj->GetData(&fmt, &stg))) return E_INVALIDARG;
    if (stg.tymed != TYMED_HGLOBAL) {
        ReleaseStgMedium(&stg);
        return E_INVALIDARG;
    }
    const BYTE* block = static_cast<const BYTE*>(GlobalLock(stg.hGlobal));
    if (block == nullptr) {
        ReleaseStgMedium(&stg);
        return E_INVALIDARG;
    }

    HRESULT hr = S_OK;
    HDROP hDrop = static_cast<HDROP>(stg.hGlobal);
    UINT count = 0;
    if (!DropListEndsInBlock(block, GlobalSize(stg.hGlobal))) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) {
        count = DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
        if (count == 0 || count > kMaxPaths) hr = E_INVALIDARG;
    }
    ShellPathEntry** entries = nullptr;
    if (SUCCEEDED(hr)) {
        entries = new (std::nothrow) ShellPathEntry*[count]();
        if (entries == nullptr) hr = E_OUTOFMEMORY;
    }

    ULONGLONG total = 0;
    SelectionKind kind = SELECTION_MIXED;
    UINT built = 0;
    while (SUCCEEDED(hr) && built < count) {
        // A longer path is refused, not cut: a cut path names another file.
        UINT length = DragQueryFileW(hDrop, built, nullptr, 0);
        if (length == 0 || length > SHELL_PATH_MAX) {
            hr = E_INVALIDARG;
            break;
        }
        WCHAR path[SHELL_PATH_MAX + 1];
        if (DragQueryFileW(hDrop, built, path, SHELL_PATH_MAX + 1) != length) {
            hr = E_INVALIDARG;
            break;
        }
        path[length] = 0;
        SelectionKind pathKind = GetPathKind(path, length);
        if (built == 0) kind = pathKind;
        else if (kind != SELECTION_MIXED && pathKind != kind) kind = SELECTION_MIXED;

        entries[built] = new (std::nothrow) ShellPathEntry;
        if (entries[built] == nullptr) {
            hr = E_OUTOFMEMORY;
            break;
        }
        total += BuildPathEntry(entries[built], path);
        ++built;
        if (total > kMaxTotalUnits) hr = E_INVALIDARG;
    }

    GlobalUnlock(stg.hGlobal);
    ReleaseStgMedium(&stg);

    if (FAILED(hr)) {
        if (entries != nullptr) {
            for (UINT i = 0; i < count; ++i) delete entries[i];
            delete[] entries;
        }
        return hr;
    }
    m_ppEntries = entries;
    m_nPaths = count;
    m_nTotalUnits = static_cast<UINT>(total);
    m_nSelKind = kind;
    return S_OK;
}

STDMETHODIMP CKIVShlExt::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    if (uFlags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    // The two entries need the ids first + 0 and first + 1 (last is inclusive).
    if (idCmdLast < idCmdFirst || idCmdLast - idCmdFirst < 1)
        return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);

    FreeMenuBitmap();
    m_hMenuBitmap = LoadBitmapW(g_Module.GetModuleInstance(), MAKEINTRESOURCEW(IDB_MENU));

    const UINT compressState = m_nSelKind == SELECTION_PLAIN ? MF_ENABLED : MF_GRAYED;
    const UINT decompressState = m_nSelKind == SELECTION_ARCHIVES ? MF_ENABLED : MF_GRAYED;
    InsertMenuW(hmenu, indexMenu + 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuW(hmenu, indexMenu + 2, MF_BYPOSITION | MF_STRING | compressState, idCmdFirst + 0, kCompressText);
    if (m_hMenuBitmap != nullptr)
        SetMenuItemBitmaps(hmenu, indexMenu + 2, MF_BYPOSITION, m_hMenuBitmap, nullptr);
    InsertMenuW(hmenu, indexMenu + 3, MF_BYPOSITION | MF_STRING | decompressState, idCmdFirst + 1, kDecompressText);
    if (m_hMenuBitmap != nullptr)
        SetMenuItemBitmaps(hmenu, indexMenu + 3, MF_BYPOSITION, m_hMenuBitmap, nullptr);
    InsertMenuW(hmenu, indexMenu + 4, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    // Every inserted entry counts, the two separators included.
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 4);
}

STDMETHODIMP CKIVShlExt::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, CHAR* pszName, UINT cchMax)
{
    if (idCmd > 1) return E_INVALIDARG;
    switch (uType) {
    case GCS_VALIDATEA:
    case GCS_VALIDATEW:
        // Both entries exist; validation writes nothing.
        return S_OK;
    case GCS_HELPTEXTA:
    case GCS_HELPTEXTW:
        break;
    default:
        // The entries have no verbs: a caller must not take the help text
        // for a verb.
        return E_INVALIDARG;
    }
    if (idCmd != 0) return E_INVALIDARG;  // only the compress entry has a text
    if (pszName == nullptr || cchMax == 0) return E_INVALIDARG;

    if (uType == GCS_HELPTEXTW) {
        lstrcpynW(reinterpret_cast<WCHAR*>(pszName), kHelpText, static_cast<int>(cchMax));
    } else {
        char ansi[64];
        if (WideCharToMultiByte(CP_ACP, 0, kHelpText, -1, ansi, sizeof ansi, nullptr, nullptr) == 0)
            return E_FAIL;
        lstrcpynA(pszName, ansi, static_cast<int>(cchMax));
    }
    return S_OK;
}

STDMETHODIMP CKIVShlExt::InvokeCommand(CMINVOKECOMMANDINFO* pici)
{
    if (pici == nullptr || !IS_INTRESOURCE(pici->lpVerb)) return E_INVALIDARG;
    const UINT offset = LOWORD(reinterpret_cast<ULONG_PTR>(pici->lpVerb));
    if (offset > 1) return E_INVALIDARG;

    HRESULT hr = PutPathsOnClipboard();
    ReadOpenCommand();
    FreePathEntries();
    // Without our list on the clipboard the program would act on whatever
    // list an earlier selection left there.
    if (FAILED(hr)) return hr;

    // The selection decides, not the offset: only the matching entry was
    // enabled. A mixed selection starts nothing.
    const WCHAR* params = nullptr;
    if (m_nSelKind == SELECTION_PLAIN) params = L"compress";
    else if (m_nSelKind == SELECTION_ARCHIVES) params = L"uncompress";
    if (params != nullptr && m_szProgram[0] != 0)
        ShellExecuteW(nullptr, L"open", m_szProgram, params, nullptr, SW_SHOWNORMAL);
    return S_OK;
}

void CKIVShlExt::FreeMenuBitmap()
{
    if (m_hMenuBitmap != nullptr) {
        DeleteObject(m_hMenuBitmap);
        m_hMenuBitmap = nullptr;
    }
}
