#include "shellext/ClassFactory.h"
#include "shellext/KIVShlExt.h"
#include "shellext/Module.h"
#include <new>

CKIVShlExtFactory::CKIVShlExtFactory() : m_cRef(1)
{
    g_Module.ObjectCreated();
}

CKIVShlExtFactory::~CKIVShlExtFactory()
{
    g_Module.ObjectDestroyed();
}

HRESULT CKIVShlExtFactory::Create(REFIID riid, void** ppv)
{
    CKIVShlExtFactory* p = new (std::nothrow) CKIVShlExtFactory();
    if (p == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}

STDMETHODIMP CKIVShlExtFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CKIVShlExtFactory::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) CKIVShlExtFactory::Release()
{
    LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP CKIVShlExtFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return CKIVShlExt::Create(riid, ppv);
}

STDMETHODIMP CKIVShlExtFactory::LockServer(BOOL fLock)
{
    if (fLock) g_Module.Lock();
    else g_Module.Unlock();
    return S_OK;
}
