// COleDataObject: the receiving side's view of another program's data
// object (a drop, the clipboard), and COleDataSource: the program's own
// data object, a reference-counted cache of formats it offers.
#pragma once
#include "../Afx.h"
#include <objidl.h>
#include <vector>

class COleDataObject {
public:
    COleDataObject() : m_lpDataObject(nullptr), m_bAutoRelease(FALSE) {}
    ~COleDataObject() { Release(); }
    COleDataObject(const COleDataObject&) = delete;
    COleDataObject& operator=(const COleDataObject&) = delete;

    void Attach(LPDATAOBJECT lpDataObject, BOOL bAutoRelease = TRUE);
    LPDATAOBJECT Detach();
    void Release();
    LPDATAOBJECT GetIDataObject(BOOL bAddRef) const;

    BOOL IsDataAvailable(CLIPFORMAT cfFormat) const;
    // The data in global memory (a copy the caller frees with GlobalFree);
    // NULL when the format is not there or not in global memory.
    HGLOBAL GetGlobalData(CLIPFORMAT cfFormat) const;
    BOOL GetData(CLIPFORMAT cfFormat, LPSTGMEDIUM lpStgMedium) const;

private:
    LPDATAOBJECT m_lpDataObject;
    BOOL m_bAutoRelease;
};

class COleDataSource : public IDataObject {
public:
    COleDataSource();

    // The object lives on the heap and goes with its last reference: a
    // drop target may keep it after the drag that offered it has ended.
    ULONG InternalAddRef() { return AddRef(); }
    ULONG InternalRelease() { return Release(); }

    // Offers hGlobal under cfFormat; the source owns it from now on and
    // frees it when it goes.
    void CacheGlobalData(CLIPFORMAT cfFormat, HGLOBAL hGlobal, LPFORMATETC lpFormatEtc = nullptr);
    void CacheData(CLIPFORMAT cfFormat, LPSTGMEDIUM lpStgMedium, LPFORMATETC lpFormatEtc = nullptr);
    void Empty();

    // The system's drag loop over this data (allowed effects, the drop
    // source deciding when to drop); the effect it ended with.
    DWORD DoDragDrop(DWORD dwEffects, class COleDropSource* pDropSource);

    // IUnknown and IDataObject.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    STDMETHODIMP GetDataHere(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    STDMETHODIMP QueryGetData(FORMATETC* pFormat) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pIn, FORMATETC* pOut) override;
    // Only formats already cached may be set; others give DV_E_FORMATETC.
    STDMETHODIMP SetData(FORMATETC* pFormat, STGMEDIUM* pMedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppEnum) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

protected:
    virtual ~COleDataSource();  // through Release only
    struct Entry {
        FORMATETC format;
        STGMEDIUM medium;
    };
    Entry* Find(const FORMATETC* pFormat);

    LONG m_cRef;
    std::vector<Entry> m_cache;
};
