#include "ShellExecPath.h"
#include <new>

namespace {
const WCHAR kKey[] = L"KVFile\\ShellExecPath";
}

BOOL SetShellExecPath(const CString& strDrivePath) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return FALSE;
    // The byte count includes the terminating zero, so readers that take the
    // stored bytes as they are get a terminated string.
    DWORD cb = (DWORD)((strDrivePath.GetLength() + 1) * sizeof(WCHAR));
    LONG r = RegSetValueExW(hKey, nullptr, 0, REG_SZ, (const BYTE*)(LPCWSTR)strDrivePath, cb);
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

BOOL DeleteShellExecPath() {
    size_t n = sizeof kKey / sizeof kKey[0];
    WCHAR* pKey = new (std::nothrow) WCHAR[n];
    if (!pKey) return FALSE;
    memcpy(pKey, kKey, sizeof kKey);
    for (;;) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, pKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) break;
        WCHAR name[261];
        DWORD cch = 261;
        LONG r = RegEnumKeyExW(hKey, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(hKey);
        if (r == ERROR_SUCCESS) break;  // something else lives below: keep it
        RegDeleteKeyW(HKEY_CLASSES_ROOT, pKey);
        WCHAR* pSlash = wcsrchr(pKey, L'\\');
        if (!pSlash) break;  // HKEY_CLASSES_ROOT itself is never touched
        *pSlash = 0;
    }
    delete[] pKey;
    return TRUE;
}
