// DllRegisterServer and DllUnregisterServer: the shell's approved list, the
// application, class and ProgID entries, the handler for every file type
// and the type library.
#include "shellext/KIVShellExtIds.h"
#include "shellext/Module.h"
#include <olectl.h>
#include <oleauto.h>
#include <strsafe.h>

namespace {

const WCHAR kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const WCHAR kApprovedText[] = L"KIVShlExt extension";
const WCHAR kClassName[] = L"KIVShlExt Class";
const WCHAR kProgId[] = L"KIVShellExt.KIVShlExt.1";
const WCHAR kVersionIndependentProgId[] = L"KIVShellExt.KIVShlExt";
const WCHAR kHandlerKey[] = L"*\\shellex\\ContextMenuHandlers\\KivShlExt";
const WCHAR kAppIdModuleKey[] = L"AppID\\KIVShellExt.DLL";

// The string forms of the identifiers and the keys named by them.
struct Names {
    WCHAR clsid[40];
    WCHAR appid[40];
    WCHAR libid[40];
    WCHAR classKey[64];
    WCHAR appidKey[64];
    WCHAR typeLibKey[64];

    Names()
    {
        StringFromGUID2(CLSID_KIVShlExt, clsid, ARRAYSIZE(clsid));
        StringFromGUID2(APPID_KIVShellExt, appid, ARRAYSIZE(appid));
        StringFromGUID2(LIBID_KIVShellExtLib, libid, ARRAYSIZE(libid));
        StringCchPrintfW(classKey, ARRAYSIZE(classKey), L"CLSID\\%ls", clsid);
        StringCchPrintfW(appidKey, ARRAYSIZE(appidKey), L"AppID\\%ls", appid);
        StringCchPrintfW(typeLibKey, ARRAYSIZE(typeLibKey), L"TypeLib\\%ls", libid);
    }
};

// The system default locale for the duration, as the type library's
// registration expects.
class SystemLocaleScope {
public:
    SystemLocaleScope() : m_lcid(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(m_lcid); }

private:
    LCID m_lcid;
};

bool IsWindowsNT() { return (GetVersion() & 0x80000000) == 0; }

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

// Creates HKCR\key when needed and sets one string value (name null: the
// key's default value).
HRESULT SetString(LPCWSTR key, LPCWSTR name, LPCWSTR data)
{
    HKEY hKey = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    const DWORD cb = static_cast<DWORD>((lstrlenW(data) + 1) * sizeof(WCHAR));
    status = RegSetValueExW(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), cb);
    RegCloseKey(hKey);
    return FromStatus(status);
}

// Removes HKCR\key with everything below it; a missing key is no failure.
HRESULT RemoveTree(LPCWSTR key)
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
}

bool KeyExists(LPCWSTR key)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

HRESULT FirstFailure(HRESULT a, HRESULT b) { return FAILED(a) ? a : b; }

// The application's entries. AppID itself is shared and stays.
HRESULT RegisterAppId(const Names& n)
{
    HRESULT hr = SetString(n.appidKey, nullptr, L"KIVShellExt");
    if (SUCCEEDED(hr)) hr = SetString(kAppIdModuleKey, L"AppID", n.appid);
    return hr;
}

HRESULT UnregisterAppId(const Names& n)
{
    return FirstFailure(RemoveTree(n.appidKey), RemoveTree(kAppIdModuleKey));
}

// The class's entries. The class key and the handler key are removed
// before they are written, so nothing stale stays below them; "*",
// "shellex" and "ContextMenuHandlers" belong to the system and stay.
HRESULT RegisterClassEntries(const Names& n, LPCWSTR modulePath)
{
    WCHAR key[128];
    HRESULT hr = SetString(kProgId, nullptr, kClassName);
    if (SUCCEEDED(hr)) hr = SetString(L"KIVShellExt.KIVShlExt.1\\CLSID", nullptr, n.clsid);
    if (SUCCEEDED(hr)) hr = SetString(kVersionIndependentProgId, nullptr, kClassName);
    if (SUCCEEDED(hr)) hr = SetString(L"KIVShellExt.KIVShlExt\\CLSID", nullptr, n.clsid);
    if (SUCCEEDED(hr)) hr = SetString(L"KIVShellExt.KIVShlExt\\CurVer", nullptr, kProgId);

    if (SUCCEEDED(hr)) hr = RemoveTree(n.classKey);
    if (SUCCEEDED(hr)) hr = SetString(n.classKey, nullptr, kClassName);
    if (SUCCEEDED(hr)) hr = SetString(n.classKey, L"AppID", n.appid);
    const struct {
        LPCWSTR sub, name, data;
    } below[] = {
        {L"ProgID", nullptr, kProgId},
        {L"VersionIndependentProgID", nullptr, kVersionIndependentProgId},
        {L"InprocServer32", nullptr, modulePath},
        {L"InprocServer32", L"ThreadingModel", L"Apartment"},
        {L"TypeLib", nullptr, n.libid},
    };
    for (const auto& b : below) {
        if (FAILED(hr)) break;
        hr = StringCchPrintfW(key, ARRAYSIZE(key), L"%ls\\%ls", n.classKey, b.sub);
        if (SUCCEEDED(hr)) hr = SetString(key, b.name, b.data);
    }

    if (SUCCEEDED(hr)) hr = RemoveTree(kHandlerKey);
    if (SUCCEEDED(hr)) hr = SetString(kHandlerKey, nullptr, n.clsid);
    return hr;
}

HRESULT UnregisterClassEntries(const Names& n)
{
    HRESULT hr = RemoveTree(n.classKey);
    hr = FirstFailure(hr, RemoveTree(kProgId));
    hr = FirstFailure(hr, RemoveTree(kVersionIndependentProgId));
    hr = FirstFailure(hr, RemoveTree(kHandlerKey));
    return hr;
}

HRESULT RegisterTypeLibrary(LPCWSTR modulePath)
{
    ITypeLib* ptl = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_NONE, &ptl);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    // The system only reads the path; its declaration lacks the const.
    hr = RegisterTypeLib(ptl, const_cast<OLECHAR*>(modulePath), nullptr);
    ptl->Release();
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterTypeLibrary(const Names& n, LPCWSTR modulePath)
{
    // The registration is filed under the library's own version, locale
    // and system kind: take them from the library itself.
    ITypeLib* ptl = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_NONE, &ptl);
    if (SUCCEEDED(hr)) {
        TLIBATTR* attr = nullptr;
        hr = ptl->GetLibAttr(&attr);
        if (SUCCEEDED(hr)) {
            hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
            ptl->ReleaseTLibAttr(attr);
        }
        ptl->Release();
    }
    // Nothing registered is nothing to remove.
    if (FAILED(hr) && !KeyExists(n.typeLibKey)) hr = S_OK;
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

void RemoveApproval(const Names& n)
{
    if (!IsWindowsNT()) return;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS) return;
    RegDeleteValueW(hKey, n.clsid);
    RegCloseKey(hKey);
}

HRESULT UnregisterAll(const Names& n, LPCWSTR modulePath)
{
    RemoveApproval(n);
    SystemLocaleScope locale;
    HRESULT hr = UnregisterClassEntries(n);
    hr = FirstFailure(hr, UnregisterTypeLibrary(n, modulePath));
    hr = FirstFailure(hr, UnregisterAppId(n));
    return hr;
}

}  // namespace

STDAPI DllRegisterServer()
{
    Names n;
    WCHAR modulePath[MAX_PATH];
    if (!g_Module.GetModulePath(modulePath, ARRAYSIZE(modulePath))) return SELFREG_E_CLASS;

    // The shell loads only approved handlers; without the approval the rest
    // would be useless.
    if (IsWindowsNT()) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
            return E_ACCESSDENIED;
        const DWORD cb = sizeof kApprovedText;
        LSTATUS status = RegSetValueExW(hKey, n.clsid, 0, REG_SZ, reinterpret_cast<const BYTE*>(kApprovedText), cb);
        RegCloseKey(hKey);
        if (status != ERROR_SUCCESS) return E_ACCESSDENIED;
    }

    HRESULT hr;
    {
        SystemLocaleScope locale;
        hr = RegisterAppId(n);
        if (SUCCEEDED(hr)) hr = RegisterClassEntries(n, modulePath);
        if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(modulePath);
    }
    // A half registration would leave the shell a handler it cannot load.
    if (FAILED(hr)) UnregisterAll(n, modulePath);
    return hr;
}

STDAPI DllUnregisterServer()
{
    Names n;
    WCHAR modulePath[MAX_PATH];
    if (!g_Module.GetModulePath(modulePath, ARRAYSIZE(modulePath))) return SELFREG_E_CLASS;
    return UnregisterAll(n, modulePath);
}
