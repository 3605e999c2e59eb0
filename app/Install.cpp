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

// The system's own words for an error, without the line break.
CString SystemErrorText(DWORD dwError) {
    LPWSTR psz = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, dwError, 0, (LPWSTR)&psz, 0, nullptr);
    CString text(psz);
    if (psz) LocalFree(psz);
    text.TrimRight();
    if (text.IsEmpty()) text.Format(L"Error %u", (unsigned)dwError);
    return text;
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

void CKIVApp::ReportInstallFailure(DWORD dwError) {
    DWORD attrs = GetFileAttributesW(m_strInstallDir);
    BOOL bFolder = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
    // An installed program that cannot be overwritten because it is in use:
    // the installed copy runs.
    if (bFolder && (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION ||
                    dwError == ERROR_USER_MAPPED_FILE)) {
        AfxMessageBox(IDS_PROGRAM_RUNNING);
        return;
    }
    CString strCause;
    if (attrs != INVALID_FILE_ATTRIBUTES && !bFolder)
        strCause.LoadString(IDS_INSTALL_FOLDER_IS_FILE);
    else
        strCause = SystemErrorText(dwError);
    CString strFormat, strText;
    strFormat.LoadString(IDS_INSTALL_FAILED);
    strText.Format(strFormat, (LPCWSTR)m_strInstallDir, (LPCWSTR)strCause);
    AfxMessageBox(strText);
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
