#include "drive/DriveState.h"
#include "framework/Win.h"
#include <atomic>

namespace {

const UINT IDS_DRIVE_WRITE_PROTECTED = 61206;  // %s: the drive, as G:
const UINT IDS_PWD_FILE_IN_USE = 61207;        // %s: the password file
const UINT IDS_PWD_FOLDER_IN_THE_WAY = 61214;  // %s: the password file
const UINT IDS_PWD_FILE_IN_THE_WAY = 61215;    // %s: the password file's folder

CString LoadText(UINT nID) {
    CString s;
    s.LoadString(nID);
    return s;
}

// The root of the volume a path lies on ("G:\"), also for a path in the
// long form or one that does not exist yet; empty when there is none.
CString VolumeRoot(const CString& strPath) {
    // The full path as the user knows it, a "\\?\" prefix taken off.
    CString strFull = AfxFullPathForm(strPath);
    if (strFull.GetLength() >= 2 && strFull[1] == L':') return strFull.Left(2) + L"\\";
    WCHAR root[MAX_PATH + 1] = {0};
    if (strFull.GetLength() < MAX_PATH && GetVolumePathNameW(strFull, root, MAX_PATH)) return CString(root);
    return CString();
}

// A new file in the root tells whether the medium takes writes at all; it
// is deleted as its handle closes. Named per process and call, so two
// probes never meet.
BOOL RootTakesNewFile(const CString& strRoot, DWORD& dwError) {
    static std::atomic<unsigned> s_nSerial{0};
    CString strProbe;
    strProbe.Format(L"%s~kiv%04lx%04x.tmp", (LPCWSTR)strRoot, GetCurrentProcessId() & 0xFFFF,
                    (++s_nSerial) & 0xFFFF);
    HANDLE h = CreateFileW(strProbe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        dwError = GetLastError();
        return FALSE;
    }
    CloseHandle(h);
    return TRUE;
}

}  // namespace

BOOL IsWriteProtected(const CString& strPath, DWORD dwError) {
    if (strPath.IsEmpty()) return FALSE;
    if (dwError == ERROR_WRITE_PROTECT) return TRUE;
    if (dwError != ERROR_ACCESS_DENIED) return FALSE;
    CString strRoot = VolumeRoot(strPath);
    if (strRoot.IsEmpty()) return FALSE;
    DWORD dwFlags = 0;
    if (GetVolumeInformationW(strRoot, nullptr, 0, nullptr, nullptr, &dwFlags, nullptr, 0) &&
        (dwFlags & FILE_READ_ONLY_VOLUME))
        return TRUE;
    // A removable medium keeps no permissions that could refuse a new file
    // in its root; a fixed disk may, so it is not asked.
    if (GetDriveTypeW(strRoot) != DRIVE_REMOVABLE) return FALSE;
    DWORD dwProbe = ERROR_SUCCESS;
    if (RootTakesNewFile(strRoot, dwProbe)) return FALSE;
    return dwProbe == ERROR_ACCESS_DENIED || dwProbe == ERROR_WRITE_PROTECT;
}

CString WriteProtectedText(const CString& strPath) {
    CString strDrive = strPath.GetLength() >= 2 && strPath[1] == L':' ? strPath.Left(2) : strPath;
    strDrive.MakeUpper();
    CString s;
    s.Format(LoadText(IDS_DRIVE_WRITE_PROTECTED), (LPCTSTR)strDrive);
    return s;
}

CString PwdFileInUseText(const CString& strPwdFile) {
    CString s;
    s.Format(LoadText(IDS_PWD_FILE_IN_USE), (LPCTSTR)strPwdFile);
    return s;
}

CString PwdPathBlockedText(const CString& strPwdFile) {
    CString s;
    if (strPwdFile.IsEmpty()) return s;
    DWORD dwAttrs = GetFileAttributesW(strPwdFile);
    if (dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY)) {
        s.Format(LoadText(IDS_PWD_FOLDER_IN_THE_WAY), (LPCTSTR)strPwdFile);
        return s;
    }
    int nSlash = strPwdFile.ReverseFind(L'\\');
    if (nSlash <= 0) return s;
    CString strFolder = strPwdFile.Left(nSlash);
    dwAttrs = GetFileAttributesW(strFolder);
    if (dwAttrs != INVALID_FILE_ATTRIBUTES && !(dwAttrs & FILE_ATTRIBUTE_DIRECTORY))
        s.Format(LoadText(IDS_PWD_FILE_IN_THE_WAY), (LPCTSTR)strFolder);
    return s;
}
