#include "MovedAppData.h"
#include "fileops/PathFunctions.h"
#include <shlwapi.h>

namespace {
const WCHAR kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const WCHAR kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
}  // namespace

MovedAppData::Saved MovedAppData::Read(LPCWSTR pszKey) {
    Saved value;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, pszKey, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return value;
    WCHAR buf[1024] = {0};
    DWORD cb = sizeof buf - sizeof(WCHAR);
    if (::RegQueryValueExW(h, L"AppData", nullptr, &value.dwType, (BYTE*)buf, &cb) == ERROR_SUCCESS) {
        value.bPresent = true;
        value.strData = buf;
    }
    ::RegCloseKey(h);
    return value;
}

bool MovedAppData::Write(LPCWSTR pszKey, const Saved& value) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, pszKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG r = value.bPresent ? ::RegSetValueExW(h, L"AppData", 0, value.dwType, (const BYTE*)(LPCWSTR)value.strData,
                                               (DWORD)((value.strData.GetLength() + 1) * sizeof(WCHAR)))
                            : ::RegDeleteValueW(h, L"AppData");
    ::RegCloseKey(h);
    return r == ERROR_SUCCESS || (!value.bPresent && r == ERROR_FILE_NOT_FOUND);
}

MovedAppData::MovedAppData(bool bMove, const CString& strRegistered) {
    m_strLogin = GetWindowsDrive() + L"\\Users\\" + GetLoginName() + L"\\AppData\\Roaming";
    m_strMoved = m_strLogin + L" moved";
    m_strRegistered = strRegistered.IsEmpty() ? m_strMoved : strRegistered;
    m_user = Read(kUserShellFolders);
    m_shell = Read(kShellFolders);
    if (bMove) {
        if (!::PathIsDirectoryW(m_strLogin) || ::PathFileExistsW(m_strMoved)) return;
        m_bMoved = ::MoveFileExW(m_strLogin, m_strMoved, 0) != FALSE;
        if (!m_bMoved) return;
    }
    Saved place;
    place.bPresent = true;
    place.dwType = REG_EXPAND_SZ;
    place.strData = m_strRegistered;
    Saved shown = place;
    shown.dwType = REG_SZ;
    m_bReady = Write(kUserShellFolders, place) && Write(kShellFolders, shown);
}

MovedAppData::~MovedAppData() {
    Write(kUserShellFolders, m_user);
    Write(kShellFolders, m_shell);
    if (m_bMoved) ::MoveFileExW(m_strMoved, m_strLogin, 0);
}
