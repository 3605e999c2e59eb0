#include "OleDataObject.h"
#include "OleDropSource.h"
#include <shlobj.h>
#include <new>

// ---- COleDataObject -----------------------------------------------------------

void COleDataObject::Attach(LPDATAOBJECT lpDataObject, BOOL bAutoRelease) {
    Release();
    m_lpDataObject = lpDataObject;
    m_bAutoRelease = bAutoRelease;
}

LPDATAOBJECT COleDataObject::Detach() {
    LPDATAOBJECT p = m_lpDataObject;
    m_lpDataObject = nullptr;
    m_bAutoRelease = FALSE;
    return p;
}

void COleDataObject::Release() {
    if (m_lpDataObject && m_bAutoRelease) m_lpDataObject->Release();
    m_lpDataObject = nullptr;
    m_bAutoRelease = FALSE;
}

LPDATAOBJECT COleDataObject::GetIDataObject(BOOL bAddRef) const {
    if (m_lpDataObject && bAddRef) m_lpDataObject->AddRef();
    return m_lpDataObject;
}

namespace {
FORMATETC GlobalFormat(CLIPFORMAT cf) {
    FORMATETC f = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return f;
}
}  // namespace

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT cfFormat) const {
    if (!m_lpDataObject) return FALSE;
    FORMATETC f = GlobalFormat(cfFormat);
    return m_lpDataObject->QueryGetData(&f) == S_OK;
}

BOOL COleDataObject::GetData(CLIPFORMAT cfFormat, LPSTGMEDIUM lpStgMedium) const {
    if (!m_lpDataObject || !lpStgMedium) return FALSE;
    FORMATETC f = GlobalFormat(cfFormat);
    return SUCCEEDED(m_lpDataObject->GetData(&f, lpStgMedium));
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT cfFormat) const {
    STGMEDIUM m = {};
    if (!GetData(cfFormat, &m)) return nullptr;
    if (m.tymed != TYMED_HGLOBAL || !m.hGlobal) {
        ::ReleaseStgMedium(&m);
        return nullptr;
    }
    // A medium with a release owner belongs to the source: take a copy.
    if (m.pUnkForRelease) {
        SIZE_T n = ::GlobalSize(m.hGlobal);
        HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, n ? n : 1);
        void* from = ::GlobalLock(m.hGlobal);
        void* to = copy ? ::GlobalLock(copy) : nullptr;
        if (from && to) memcpy(to, from, n);
        if (to) ::GlobalUnlock(copy);
        if (from) ::GlobalUnlock(m.hGlobal);
        ::ReleaseStgMedium(&m);
        return copy;
    }
    return m.hGlobal;
}

// ---- COleDataSource -------------------------------------------------------------

COleDataSource::COleDataSource() : m_cRef(1) {}

COleDataSource::~COleDataSource() { Empty(); }

void COleDataSource::Empty() {
    for (Entry& e : m_cache) ::ReleaseStgMedium(&e.medium);
    m_cache.clear();
}

COleDataSource::Entry* COleDataSource::Find(const FORMATETC* pFormat) {
    if (!pFormat) return nullptr;
    for (Entry& e : m_cache)
        if (e.format.cfFormat == pFormat->cfFormat && (e.format.tymed & pFormat->tymed) &&
            e.format.dwAspect == pFormat->dwAspect)
            return &e;
    return nullptr;
}

void COleDataSource::CacheData(CLIPFORMAT cfFormat, LPSTGMEDIUM lpStgMedium, LPFORMATETC lpFormatEtc) {
    FORMATETC f = lpFormatEtc ? *lpFormatEtc : GlobalFormat(cfFormat);
    f.cfFormat = cfFormat;
    f.tymed = lpStgMedium->tymed;
    if (Entry* old = Find(&f)) {
        ::ReleaseStgMedium(&old->medium);
        old->medium = *lpStgMedium;
        return;
    }
    m_cache.push_back({f, *lpStgMedium});
}

void COleDataSource::CacheGlobalData(CLIPFORMAT cfFormat, HGLOBAL hGlobal, LPFORMATETC lpFormatEtc) {
    STGMEDIUM m = {};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = hGlobal;
    CacheData(cfFormat, &m, lpFormatEtc);
}

STDMETHODIMP COleDataSource::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
        *ppv = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleDataSource::AddRef() { return (ULONG)::InterlockedIncrement(&m_cRef); }

STDMETHODIMP_(ULONG) COleDataSource::Release() {
    LONG n = ::InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return (ULONG)n;
}

STDMETHODIMP COleDataSource::GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) {
    if (!pFormat || !pMedium) return E_INVALIDARG;
    Entry* e = Find(pFormat);
    if (!e) return DV_E_FORMATETC;
    if (e->medium.tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    // The caller gets a copy it may release; the cache keeps its own.
    SIZE_T n = ::GlobalSize(e->medium.hGlobal);
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, n ? n : 1);
    if (!copy) return E_OUTOFMEMORY;
    void* from = ::GlobalLock(e->medium.hGlobal);
    void* to = ::GlobalLock(copy);
    if (from && to) memcpy(to, from, n);
    if (to) ::GlobalUnlock(copy);
    if (from) ::GlobalUnlock(e->medium.hGlobal);
    pMedium->tymed = TYMED_HGLOBAL;
    pMedium->hGlobal = copy;
    pMedium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP COleDataSource::GetDataHere(FORMATETC*, STGMEDIUM*) { return DATA_E_FORMATETC; }

STDMETHODIMP COleDataSource::QueryGetData(FORMATETC* pFormat) { return Find(pFormat) ? S_OK : DV_E_FORMATETC; }

STDMETHODIMP COleDataSource::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) {
    if (pOut) pOut->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP COleDataSource::SetData(FORMATETC* pFormat, STGMEDIUM* pMedium, BOOL fRelease) {
    if (!pFormat || !pMedium) return E_INVALIDARG;
    Entry* e = Find(pFormat);
    if (!e) return DV_E_FORMATETC;
    if (!fRelease) return E_NOTIMPL;
    ::ReleaseStgMedium(&e->medium);
    e->medium = *pMedium;
    return S_OK;
}

namespace {
// The formats of a source, as the system's enumerator helper serves them.
HRESULT MakeEnumerator(const std::vector<FORMATETC>& formats, IEnumFORMATETC** ppEnum) {
    return ::SHCreateStdEnumFmtEtc((UINT)formats.size(), formats.empty() ? nullptr : formats.data(), ppEnum);
}
}  // namespace

STDMETHODIMP COleDataSource::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    if (dwDirection != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const Entry& e : m_cache) formats.push_back(e.format);
    return MakeEnumerator(formats, ppEnum);
}

DWORD COleDataSource::DoDragDrop(DWORD dwEffects, COleDropSource* pDropSource) {
    DWORD effect = DROPEFFECT_NONE;
    COleDropSource fallback;
    HRESULT hr = ::DoDragDrop(static_cast<IDataObject*>(this), pDropSource ? pDropSource : &fallback, dwEffects,
                              &effect);
    return hr == DRAGDROP_S_DROP ? effect : DROPEFFECT_NONE;
}
