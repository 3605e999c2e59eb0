// The class factory of CKIVShlExt, the module's one creatable class.
#pragma once
#include <windows.h>
#include <unknwn.h>

class CKIVShlExtFactory final : public IClassFactory {
public:
    // Makes a factory and hands out riid of it through *ppv.
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    CKIVShlExtFactory();
    ~CKIVShlExtFactory();

    volatile LONG m_cRef;
};
