#include "OleDropSource.h"
#include "OleDataObject.h"
#include "View.h"

// ---- COleDropSource ---------------------------------------------------------------

STDMETHODIMP COleDropSource::QueryContinueDrag(BOOL bEscapePressed, DWORD dwKeyState) {
    if (bEscapePressed) return DRAGDROP_S_CANCEL;
    if (!(dwKeyState & MK_LBUTTON)) return DRAGDROP_S_DROP;
    return S_OK;
}

STDMETHODIMP COleDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

STDMETHODIMP COleDropSource::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDropSource) {
        *ppv = static_cast<IDropSource*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// ---- COleDropTarget ------------------------------------------------------------------

COleDropTarget::COleDropTarget() : m_hWnd(nullptr), m_pDataObject(nullptr), m_nRefs(1) {}

COleDropTarget::~COleDropTarget() { Revoke(); }

STDMETHODIMP_(ULONG) COleDropTarget::AddRef() { return (ULONG)::InterlockedIncrement(&m_nRefs); }

STDMETHODIMP_(ULONG) COleDropTarget::Release() {
    LONG n = ::InterlockedDecrement(&m_nRefs);
    if (n == 0) delete this;
    return (ULONG)n;
}

BOOL COleDropTarget::Register(CWnd* pWnd) {
    if (!pWnd || !pWnd->m_hWnd || m_hWnd) return FALSE;
    if (FAILED(::RegisterDragDrop(pWnd->m_hWnd, this))) return FALSE;
    m_hWnd = pWnd->m_hWnd;
    return TRUE;
}

void COleDropTarget::Revoke() {
    if (m_pDataObject) {
        m_pDataObject->Release();
        m_pDataObject = nullptr;
    }
    if (m_hWnd) {
        ::RevokeDragDrop(m_hWnd);
        m_hWnd = nullptr;
    }
}

CView* COleDropTarget::View() const {
    CWnd* p = CWnd::FromHandlePermanent(m_hWnd);
    return (p && p->IsKindOf(RUNTIME_CLASS(CView))) ? static_cast<CView*>(p) : nullptr;
}

STDMETHODIMP COleDropTarget::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *ppv = static_cast<IDropTarget*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

namespace {
POINT ClientPoint(HWND h, POINTL pt) {
    POINT p = {pt.x, pt.y};
    ::ScreenToClient(h, &p);
    return p;
}
}  // namespace

STDMETHODIMP COleDropTarget::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
    if (!pdwEffect) return E_INVALIDARG;
    CHandlerScope scope;
    if (m_pDataObject) m_pDataObject->Release();
    m_pDataObject = pDataObj;
    if (m_pDataObject) m_pDataObject->AddRef();
    CView* v = View();
    if (!v) {
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }
    COleDataObject data;
    data.Attach(pDataObj, FALSE);
    *pdwEffect &= v->OnDragEnter(pDataObj ? &data : nullptr, grfKeyState, ClientPoint(m_hWnd, pt));
    return S_OK;
}

STDMETHODIMP COleDropTarget::DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
    if (!pdwEffect) return E_INVALIDARG;
    CHandlerScope scope;
    CView* v = View();
    if (!v) {
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }
    COleDataObject data;
    data.Attach(m_pDataObject, FALSE);
    *pdwEffect &= v->OnDragOver(m_pDataObject ? &data : nullptr, grfKeyState, ClientPoint(m_hWnd, pt));
    return S_OK;
}

STDMETHODIMP COleDropTarget::DragLeave() {
    CHandlerScope scope;
    if (CView* v = View()) v->OnDragLeave();
    if (m_pDataObject) m_pDataObject->Release();
    m_pDataObject = nullptr;
    return S_OK;
}

STDMETHODIMP COleDropTarget::Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
    if (!pdwEffect) return E_INVALIDARG;
    CHandlerScope scope;
    CView* v = View();
    DWORD effect = DROPEFFECT_NONE;
    if (v && pDataObj) {
        COleDataObject data;
        data.Attach(pDataObj, FALSE);
        effect = *pdwEffect & v->OnDragOver(&data, grfKeyState, ClientPoint(m_hWnd, pt));
        if (effect != DROPEFFECT_NONE && !v->OnDrop(&data, effect, ClientPoint(m_hWnd, pt))) effect = DROPEFFECT_NONE;
    }
    *pdwEffect = effect;
    if (m_pDataObject) m_pDataObject->Release();
    m_pDataObject = nullptr;
    return S_OK;
}
