// CKIVShlExt as the shell sees it: identity, selection, menu and commands.
#include "shellext/KIVShlExt.h"
#include "shellext/DropFileList.h"
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

}  // namespace

CKIVShlExt::CKIVShlExt()
    : m_cRef(1), m_hMenuBitmap(nullptr), m_selection(), m_nPaths(0),
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

    // The shell calls this on every right-click, before its menu shows: the
    // block is read front to back once, to check and size the selection,
    // and kept; the list is copied out of it only for a chosen entry.
    const SIZE_T cb = GlobalSize(stg.hGlobal);
    HRESULT hr = S_OK;
    UINT count = 0;
    ULONGLONG total = 0;
    SelectionKind kind = SELECTION_MIXED;
    WCHAR path[SHELL_PATH_MAX + 1];
    UINT length = 0;
    CDropFileList sizing(block, cb);
    for (;;) {
        const CDropFileList::Result read = sizing.Next(path, SHELL_PATH_MAX + 1, &length);
        if (read == CDropFileList::DROP_END) break;
        // A longer path is refused, not cut: a cut path names another file.
        if (read != CDropFileList::DROP_NAME || count == kMaxPaths || total + length + 2 > kMaxTotalUnits) {
            hr = E_INVALIDARG;
            break;
        }
        SelectionKind pathKind = GetPathKind(path, length);
        if (count == 0) kind = pathKind;
        else if (kind != SELECTION_MIXED && pathKind != kind) kind = SELECTION_MIXED;
        total += length + 2;
        ++count;
    }
    if (SUCCEEDED(hr) && count == 0) hr = E_INVALIDARG;

    GlobalUnlock(stg.hGlobal);
    if (FAILED(hr)) {
        ReleaseStgMedium(&stg);
        return hr;
    }
    m_selection = stg;
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

    // The selection decides, not the offset: only the matching entry was
    // enabled. A mixed selection starts nothing.
    const WCHAR* params = nullptr;
    DWORD command = 0;
    if (m_nSelKind == SELECTION_PLAIN) {
        params = L"compress";
        command = handover::kCommandCompress;
    } else if (m_nSelKind == SELECTION_ARCHIVES) {
        params = L"uncompress";
        command = handover::kCommandUncompress;
    }
    // Known first: only a list that a started program will take is waited
    // for by the commands after it.
    ReadOpenCommand();
    const bool starts = params != nullptr && m_szProgram[0] != 0;

    handover::Record record = {};
    HRESULT hr = PutPathsOnClipboard(starts ? command : 0, &record);
    FreePathEntries();
    // Without our list on the clipboard the program would act on whatever
    // list an earlier selection left there.
    if (FAILED(hr)) {
        if ((hr == KIV_E_EARLIER_LIST_WAITING || hr == KIV_E_CLIPBOARD_HELD) && !(pici->fMask & CMIC_MASK_FLAG_NO_UI))
            SayNotHandedOver(pici->hwnd, hr);
        return hr;
    }
    if (starts) StartProgram(params, record);
    return S_OK;
}

void CKIVShlExt::SayNotHandedOver(HWND hwnd, HRESULT hr)
{
    WCHAR text[512] = {0};
    const UINT id = hr == KIV_E_EARLIER_LIST_WAITING ? IDS_EARLIER_LIST_WAITING : IDS_CLIPBOARD_HELD;
    if (LoadStringW(g_Module.GetModuleInstance(), id, text, 512) <= 0) return;
    MessageBoxW(hwnd, text, L"KIV", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

void CKIVShlExt::FreeMenuBitmap()
{
    if (m_hMenuBitmap != nullptr) {
        DeleteObject(m_hMenuBitmap);
        m_hMenuBitmap = nullptr;
    }
}
