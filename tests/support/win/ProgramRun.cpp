#include "ProgramRun.h"
#include "Watchdog.h"
#include "fileops/PathFunctions.h"
#include <tlhelp32.h>
#include <vector>

CString BuiltFile(LPCWSTR pszName) {
    WCHAR self[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return GetFolderPart(self) + L"\\" + pszName;
}

HANDLE StartProgram(const CString& strExe, const CString& strArgs, DWORD* pPid) {
    CString cmd = L"\"" + strExe + L"\"" + (strArgs.IsEmpty() ? CString() : L" " + strArgs);
    std::vector<WCHAR> line(cmd.GetString(), cmd.GetString() + cmd.GetLength() + 1);
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(strExe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, L"E:\\", &si, &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    if (pPid) *pPid = pi.dwProcessId;
    return pi.hProcess;
}

int WaitExit(HANDLE hProcess, DWORD timeoutMs) {
    if (!hProcess) return -1;
    bool ended = PumpUntil([&] { return ::WaitForSingleObject(hProcess, 0) == WAIT_OBJECT_0; }, timeoutMs);
    DWORD code = (DWORD)-1;
    if (ended) ::GetExitCodeProcess(hProcess, &code);
    ::CloseHandle(hProcess);
    return ended ? (int)code : -1;
}

CString ProcessImage(DWORD pid) {
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    WCHAR buf[MAX_PATH] = {0};
    DWORD n = MAX_PATH;
    if (h) {
        ::QueryFullProcessImageNameW(h, 0, buf, &n);
        ::CloseHandle(h);
    }
    return buf;
}

bool ProcessRunning(LPCWSTR pszExeName) {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W pe = {sizeof pe};
    bool found = false;
    for (BOOL ok = ::Process32FirstW(snap, &pe); ok && !found; ok = ::Process32NextW(snap, &pe))
        found = lstrcmpiW(pe.szExeFile, pszExeName) == 0;
    ::CloseHandle(snap);
    return found;
}

void SetWineVersion(LPCWSTR pszExeName, LPCWSTR pszVersion) {
    CString key = CString(L"Software\\Wine\\AppDefaults\\") + pszExeName;
    if (!pszVersion || !*pszVersion) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Version");
        return;
    }
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(h, L"Version", 0, REG_SZ, (const BYTE*)pszVersion, (DWORD)((lstrlenW(pszVersion) + 1) * 2));
    ::RegCloseKey(h);
}

CString RegText(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszValue) {
    WCHAR buf[1024] = {0};
    DWORD cb = sizeof buf - 2;
    if (::RegGetValueW(hRoot, pszKey, pszValue, RRF_RT_REG_SZ, nullptr, buf, &cb) != ERROR_SUCCESS)
        return L"<missing>";
    return buf;
}

bool RegKeyExists(HKEY hRoot, LPCWSTR pszKey) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(hRoot, pszKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    ::RegCloseKey(h);
    return true;
}
