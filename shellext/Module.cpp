// The module's entry point and the exports that are not registration.
#include "shellext/Module.h"
#include "shellext/ClassFactory.h"
#include "shellext/KIVShellExtIds.h"

CKIVShellExtModule g_Module;

HRESULT CKIVShellExtModule::CanUnloadNow() const
{
    // Read both counts once each: they may change on other threads.
    LONG objects = InterlockedCompareExchange(const_cast<volatile LONG*>(&m_nObjects), 0, 0);
    LONG locks = InterlockedCompareExchange(const_cast<volatile LONG*>(&m_nLocks), 0, 0);
    return (objects == 0 && locks == 0) ? S_OK : S_FALSE;
}

bool CKIVShellExtModule::GetModulePath(WCHAR* buf, DWORD cch) const
{
    DWORD n = GetModuleFileNameW(m_hInstance, buf, cch);
    // A full buffer means the path was cut.
    return n != 0 && n < cch;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_Module.Init(hInstance);
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_Module.CanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_KIVShlExt)) return CLASS_E_CLASSNOTAVAILABLE;
    return CKIVShlExtFactory::Create(riid, ppv);
}

// The module's own version number, for a caller that asks.
extern "C" WORD WINAPI GetSheExtVersion()
{
    return 0x0111;
}
