// The application's registry work: its profile key with the recent-file
// list, and the registration of its document types with the shell.
#include "WinApp.h"
#include "DocTemplate.h"
#include "Module.h"
#include <shlwapi.h>
#include <vector>

namespace {
BOOL SetKeyValue(LPCWSTR pszKey, LPCWSTR pszName, const CString& value) {
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, pszKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) !=
        ERROR_SUCCESS)
        return FALSE;
    LONG r = ::RegSetValueExW(hKey, pszName, 0, REG_SZ, (const BYTE*)(LPCWSTR)value,
                              (DWORD)((value.GetLength() + 1) * sizeof(WCHAR)));
    ::RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

// The key's default value; empty when the key or value is missing or not a
// string that fits.
CString DefaultValue(HKEY hRoot, LPCWSTR pszKey) {
    WCHAR buf[520] = {0};
    DWORD cb = sizeof buf - sizeof(WCHAR);
    DWORD type = 0;
    if (::RegGetValueW(hRoot, pszKey, nullptr, RRF_RT_REG_SZ, &type, buf, &cb) != ERROR_SUCCESS) return CString();
    return CString(buf);
}

CString ShortModulePath() {
    WCHAR path[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    WCHAR shortPath[MAX_PATH] = {0};
    DWORD n = ::GetShortPathNameW(path, shortPath, MAX_PATH);
    return (n && n < MAX_PATH) ? CString(shortPath) : CString(path);
}
}  // namespace

void CWinApp::SetRegistryKey(LPCTSTR lpszRegistryKey) {
    m_strRegistryKey = lpszRegistryKey ? lpszRegistryKey : L"";
    m_pszRegistryKey = m_strRegistryKey;
    m_strProfileName = m_pszAppName ? m_pszAppName : AfxGetAppName();
    m_pszProfileName = m_strProfileName;
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
    m_nMaxMRU = nMaxMRU;
    m_recentFiles.clear();
    if (!m_pszRegistryKey || !nMaxMRU) return;
    CString key = CString(L"Software\\") + m_pszRegistryKey + L"\\" + m_pszProfileName + L"\\Recent File List";
    for (UINT i = 1; i <= nMaxMRU; ++i) {
        CString name;
        name.Format(L"File%u", i);
        WCHAR buf[MAX_PATH + 1] = {0};
        DWORD cb = sizeof buf - sizeof(WCHAR);
        if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buf, &cb) == ERROR_SUCCESS && buf[0])
            m_recentFiles.push_back(buf);
    }
}

void CWinApp::RegisterShellFileTypes(BOOL) {
    CString open = ShortModulePath();
    for (size_t i = 0; i < m_templates.size(); ++i) {
        CDocTemplate* t = m_templates[i];
        CString typeId, typeName, ext;
        if (!t->GetDocString(typeId, CDocTemplate::regFileTypeId)) continue;
        t->GetDocString(typeName, CDocTemplate::regFileTypeName);
        t->GetDocString(ext, CDocTemplate::filterExt);
        SetKeyValue(typeId, nullptr, typeName);
        CString icon;
        icon.Format(L"%s,%d", (LPCWSTR)open, (int)i);
        SetKeyValue(typeId + L"\\DefaultIcon", nullptr, icon);
        SetKeyValue(typeId + L"\\shell\\open\\command", nullptr, open + L" \"%1\"");
        if (ext.GetLength() > 1 && ext[0] == L'.') {
            // An extension another program has claimed stays its.
            CString owner = DefaultValue(HKEY_CLASSES_ROOT, ext);
            if (owner.IsEmpty() || owner == typeId) SetKeyValue(ext, nullptr, typeId);
        }
    }
}

void CWinApp::UnregisterShellFileTypes() {
    for (CDocTemplate* t : m_templates) {
        CString typeId, ext;
        if (!t->GetDocString(typeId, CDocTemplate::regFileTypeId)) continue;
        t->GetDocString(ext, CDocTemplate::filterExt);
        ::SHDeleteKeyW(HKEY_CLASSES_ROOT, typeId);
        if (ext.GetLength() > 1 && ext[0] == L'.' && DefaultValue(HKEY_CLASSES_ROOT, ext) == typeId)
            ::SHDeleteKeyW(HKEY_CLASSES_ROOT, ext);
    }
}
