// The module's entry point and the exports that are not registration.
#include "shellext/Module.h"
#include "shellext/ClassFactory.h"
#include "shellext/KIVShellExtIds.h"

CKIVShellExtModule g_Module;

HRESULT CKIVShellExtModule::CanUnloadNow() const
{
    // Aligned 32-bit reads are atomic; the counts change only interlocked.
    return (m_nObjects == 0 && m_nLocks == 0) ? S_OK : S_FALSE;
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
