#include "PathFunctions.h"
#include <shlobj.h>
#include "framework/win/Module.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <cstdlib>
#include <vector>

namespace {
const int kBuf = 260;

// The position of the dot that starts the extension, or -1: only a dot
// inside the last path component that is not its first character counts,
// so neither a dotted folder name nor a name like ".kvf" has an extension.
int ExtensionDot(const CString& strPath) {
    int dot = strPath.ReverseFind('.');
    int slash = strPath.ReverseFind('\\');
    return dot > slash + 1 ? dot : -1;
}

BOOL IsAbsolutePath(const CString& strPath) {
    if (strPath.GetLength() >= 3 && strPath[1] == ':' && strPath[2] == '\\') {
        WCHAR c = strPath[0];
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    return strPath.GetLength() > 2 && strPath[0] == '\\' && strPath[1] == '\\';
}
}  // namespace

CString GetSystemDir() {
    WCHAR buf[kBuf] = {0};
    GetSystemDirectoryW(buf, kBuf);
    return CString(buf);
}

CString GetWindowsDrive() {
    WCHAR buf[kBuf] = {0};
    GetWindowsDirectoryW(buf, kBuf);
    buf[2] = 0;
    return CString(buf);
}

CString GetLoginName() {
    WCHAR buf[kBuf] = {0};
    DWORD n = kBuf;
    GetUserNameW(buf, &n);
    return CString(buf);
}

CString GetAppDataDir(BOOL bVersion6) {
    CString strDir = bVersion6
        ? GetWindowsDrive() + _T("\\Users\\") + GetLoginName() + _T("\\AppData\\Roaming")
        : GetWindowsDrive() + _T("\\Documents and Settings\\") + GetLoginName() + _T("\\Application Data");
    // The folder earlier installs went into stays first where it exists.
    if (PathFileExistsW(strDir)) return strDir;
    // Windows names the profile folder on its own (a Microsoft account's is
    // cut from its address, a renamed account keeps its old one, a domain
    // user's ends in .DOMAIN), and the folder may have been moved: the
    // shell knows where it is. The system folder takes no ordinary user's
    // files, so it is the last resort.
    WCHAR buf[MAX_PATH] = {0};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)) && buf[0] &&
        PathIsDirectoryW(buf))
        return CString(buf);
    return GetSystemDir();
}

CString GetTempDir() {
    WCHAR buf[kBuf] = {0};
    size_t n = 0;
    if (_wgetenv_s(&n, buf, kBuf, L"temp") != 0 || n == 0) return CString();
    return CString(buf);
}

CString GetModulePath() {
    WCHAR buf[kBuf] = {0};
    GetModuleFileNameW(AfxGetInstanceHandle(), buf, kBuf);
    return CString(buf);
}

CString GetFolderPart(const CString& strPath) {
    int slash = strPath.ReverseFind('\\');
    return slash >= 1 ? strPath.Left(slash) : strPath;
}

CString GetFileNamePart(const CString& strPath) {
    int slash = strPath.ReverseFind('\\');
    return slash >= 1 ? strPath.Mid(slash + 1) : strPath;
}

CString GetExtension(const CString& strPath) {
    int dot = ExtensionDot(strPath);
    return dot >= 0 ? strPath.Mid(dot + 1) : CString();
}

CString AppendExtension(const CString& strPath, const CString& strExt) {
    if (!strPath.IsEmpty() && strPath[strPath.GetLength() - 1] == '\\') return strPath;
    return strPath + _T(".") + strExt;
}

CString StripExtensionIf(const CString& strPath, const CString& strExt) {
    int dot = ExtensionDot(strPath);
    if (dot < 0) return strPath;
    CString strHas = strPath.Mid(dot + 1);
    CString strWant = strExt;
    if (strHas.MakeLower() == strWant.MakeLower()) return strPath.Left(dot);
    return strPath;
}

BOOL IsKvfFile(const CString& strPath) {
    CString strExt = GetExtension(strPath);
    return strExt.MakeLower() == _T("kvf");
}

CString DecompressedPath(const CString& strTarget) { return StripExtensionIf(strTarget, _T("kvf")); }

CString DecompressTargetBeside(const CString& strSource, BOOL bFolder) {
    return bFolder ? DecompressedPath(strSource) : strSource;
}

BOOL IsFullPath(const CString& strPath) {
    int n = strPath.GetLength();
    if (n >= 3 && strPath[1] == L':' && strPath[2] == L'\\') {
        WCHAR c = strPath[0];
        return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
    }
    return n > 2 && strPath[0] == L'\\' && strPath[1] == L'\\';
}

BOOL CreateFolderTree(const CString& strPath) {
    CString strParent = GetFolderPart(strPath);
    if (GetFileAttributesW(AfxExactPathForm(strParent)) == INVALID_FILE_ATTRIBUTES) {
        // No separator left to climb: the drive or share itself is missing.
        if (strParent == strPath) return FALSE;
        if (!CreateFolderTree(strParent)) return FALSE;
    }
    return CreateDirectoryW(AfxExactPathForm(strPath), nullptr);
}

BOOL RemoveLink(const CString& strPath) {
    CString strExact = AfxExactPathForm(strPath);
    HANDLE h = CreateFileW(strExact, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    // Only a handle that is the link itself is deleted through. Wine opens
    // what a symbolic link points to whatever the flags (the handle then
    // carries no reparse attribute), and deleting through it removes that
    // folder when it is empty, or that file.
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    BOOL bItself = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                   (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    BOOL bDone = FALSE;
    DWORD dwError = ERROR_NOT_SUPPORTED;
    if (bItself) {
        // A read-only link is not deleted otherwise; the handle is the
        // link's, so only its own attributes change.
        if (tag.FileAttributes & FILE_ATTRIBUTE_READONLY) {
            FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
            basic.FileAttributes = tag.FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
            if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
        }
        FILE_DISPOSITION_INFO disposition = {TRUE};
        bDone = SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
        if (!bDone) dwError = GetLastError();
    }
    CloseHandle(h);
    if (!bDone) {
        SetLastError(dwError);
        return FALSE;
    }
    if (GetFileAttributesW(strExact) == INVALID_FILE_ATTRIBUTES) return TRUE;
    SetLastError(ERROR_SHARING_VIOLATION);  // still held open: its removal is only pending
    return FALSE;
}

namespace {
// Whether the tree needs its own entry-by-entry removal: the path, or any
// path below it, has MAX_PATH characters or more, or a folder in it is a
// link, which the shell's deletion would follow, or a name in it is one
// that the shell, which takes only plain paths, would take for another
// (tddir. for tddir, nul.txt for the device). Links are not entered.
bool NeedsOwnRemoval(const CString& strPath) {
    if (strPath.GetLength() >= MAX_PATH - 1 || !AfxIsPlainPathExact(strPath)) return true;
    DWORD attrs = GetFileAttributesW(AfxExactPathForm(strPath));
    if (IsFolderLink(attrs)) return true;
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(AfxExactPathForm(strPath + L"\\*"), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        if (!lstrcmpW(fd.cFileName, L".") || !lstrcmpW(fd.cFileName, L"..")) continue;
        found = NeedsOwnRemoval(strPath + L"\\" + fd.cFileName);
    } while (!found && FindNextFileW(h, &fd));
    FindClose(h);
    return found;
}

// Removes a file, or a folder with everything in it; 0 or the first error.
// A link is removed itself, before its attributes are touched: Wine would
// change those of what it points to.
int RemoveTreeDirect(const CString& strPath, DWORD attrs) {
    if (IsFolderLink(attrs)) return RemoveLink(strPath) ? 0 : (int)GetLastError();
    CString strExact = AfxExactPathForm(strPath);
    SetFileAttributesW(strExact, attrs & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(strExact) ? 0 : (int)GetLastError();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(strExact + L"\\*", &fd);
    int r = 0;
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!lstrcmpW(fd.cFileName, L".") || !lstrcmpW(fd.cFileName, L"..")) continue;
            int rc = RemoveTreeDirect(strPath + L"\\" + fd.cFileName, fd.dwFileAttributes);
            if (!r) r = rc;
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    if (!RemoveDirectoryW(strExact) && !r) r = (int)GetLastError();
    return r;
}
}  // namespace

int DeleteFolderTree(const CString& strPath) {
    // The callers build their paths from the temporary folder, which may be
    // empty: a relative path such as \KIV would then name the KIV folder at
    // the root of the current drive, possibly the removable drive's own
    // password folder. Only a full path (drive or share) is handed over.
    if (!IsAbsolutePath(strPath)) return ERROR_BAD_PATHNAME;
    // Given a tree that holds a path of MAX_PATH characters or more, Wine's
    // shell deletes the current folder's contents instead, given a link to
    // a folder it deletes what the link points to, and given a name that
    // ends in a dot or a space it deletes the one without them: such a tree
    // is removed here, entry by entry, through paths that name each entry
    // itself, and the shell only told of it.
    if (NeedsOwnRemoval(strPath)) {
        DWORD attrs = GetFileAttributesW(AfxExactPathForm(strPath));
        if (attrs == INVALID_FILE_ATTRIBUTES) return (int)GetLastError();
        int r = RemoveTreeDirect(strPath, attrs);
        if (r == 0)
            SHChangeNotify((attrs & FILE_ATTRIBUTE_DIRECTORY) ? SHCNE_RMDIR : SHCNE_DELETE, SHCNF_PATHW,
                           (LPCWSTR)strPath, nullptr);
        return r;
    }
    // The shell takes a list of names ended by an empty one.
    std::vector<WCHAR> from((size_t)strPath.GetLength() + 2, 0);
    for (int i = 0; i < strPath.GetLength(); ++i) from[(size_t)i] = strPath[i];
    SHFILEOPSTRUCTW op = {};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.pTo = nullptr;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    return SHFileOperationW(&op);
}

BOOL GetFreeSpace(const CString& strPath, ULONGLONG& nFree) {
    ULARGE_INTEGER avail, total, free;
    BOOL bOk = GetDiskFreeSpaceExW(strPath, &avail, &total, &free);
    if (bOk) {
        nFree = free.QuadPart;
        return bOk;
    }
    DWORD nSectorsPerCluster = 0, nBytesPerSector = 0, nFreeClusters = 0, nClusters = 0;
    bOk = GetDiskFreeSpaceW(strPath, &nSectorsPerCluster, &nBytesPerSector, &nFreeClusters, &nClusters);
    if (bOk) nFree = (ULONGLONG)nSectorsPerCluster * nBytesPerSector * nFreeClusters;
    return bOk;
}
