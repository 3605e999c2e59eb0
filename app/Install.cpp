// Installation: the program and its shell extension module in the per-user
// install folder, and the module's registration through regsvr32.
#include "KIVApp.h"
#include "fileops/PathFunctions.h"
#include <shellapi.h>
#include <shlwapi.h>

namespace {
BOOL EnsureFolder(const CString& strFolder) {
    return PathIsDirectoryW(strFolder) || CreateDirectoryW(strFolder, nullptr);
}

// Starts regsvr32 silently on the module; not waited for.
void RunRegsvr32(const CString& strSwitches, const CString& strModule) {
    CString params = strSwitches + L" \"" + strModule + L"\"";
    ShellExecuteW(nullptr, L"open", L"regsvr32.exe", params, nullptr, SW_HIDE);
}
}  // namespace

BOOL CKIVApp::InstallSelf() {
    if (!EnsureFolder(m_strInstallDir)) return FALSE;
    m_strInstalledExe = m_strInstallDir + L"\\" + GetFileNamePart(m_strModulePath);
    return CopyFileW(m_strModulePath, m_strInstalledExe, FALSE);
}

BOOL CKIVApp::WriteShellExtDll() {
    if (!EnsureFolder(m_strInstallDir)) return FALSE;
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = FindResourceW(hInst, MAKEINTRESOURCEW(IDR_SHELLEXT_MODULE), (LPCWSTR)RT_RCDATA);
    DWORD size = hRes ? SizeofResource(hInst, hRes) : 0;
    HGLOBAL hData = hRes ? LoadResource(hInst, hRes) : nullptr;
    const void* pData = hData ? LockResource(hData) : nullptr;
    if (!pData || !size) return FALSE;

    // Written beside the module and then put in its place: a failed write
    // never leaves a cut module to be registered, and a module the shell
    // has loaded stays as it is.
    CString strTemp = m_strInstallDir + L"\\~KIVShellExt.tmp";
    HANDLE h = CreateFileW(strTemp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(h, pData, size, &written, nullptr) && written == size && FlushFileBuffers(h);
    CloseHandle(h);
    if (ok) ok = MoveFileExW(strTemp, m_strShellExtDll, MOVEFILE_REPLACE_EXISTING);
    if (!ok) DeleteFileW(strTemp);
    return ok;
}

BOOL CKIVApp::RegisterShellExt() {
    RunRegsvr32(L"-s", m_strShellExtDll);
    return TRUE;
}

BOOL CKIVApp::UnregisterShellExt() {
    RunRegsvr32(L"-u -s", m_strShellExtDll);
    return TRUE;
}
