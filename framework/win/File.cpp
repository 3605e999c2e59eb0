// CFile over the Win32 file handle.
#include "../File.h"
#include <vector>

const CFile::Handle CFile::hFileNull = INVALID_HANDLE_VALUE;

CString AfxLongPathForm(LPCTSTR lpszPath) {
    CString strPath(lpszPath);
    // "\\?\" and "\\.\" paths are handed to the system as they are.
    if (strPath.Left(4) == L"\\\\?\\" || strPath.Left(4) == L"\\\\.\\") return strPath;
    DWORD n = GetFullPathNameW(strPath, 0, nullptr, nullptr);
    if (n == 0) return strPath;
    CString strFull;
    DWORD got = GetFullPathNameW(strPath, n, strFull.GetBuffer((int)n), nullptr);
    strFull.ReleaseBuffer(got > 0 && got < n ? (int)got : 0);
    if (strFull.IsEmpty()) return strPath;
    if (strFull.GetLength() < MAX_PATH) return strFull;
    if (strFull.Left(2) == L"\\\\") return L"\\\\?\\UNC\\" + strFull.Mid(2);
    return L"\\\\?\\" + strFull;
}

namespace {

bool IsSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

bool HasDevicePrefix(const CString& strPath) {
    return strPath.GetLength() >= 4 && IsSeparator(strPath[0]) && IsSeparator(strPath[1]) &&
           (strPath[2] == L'?' || strPath[2] == L'.') && IsSeparator(strPath[3]);
}

// A full path taken apart without the system's full-path rules: its root
// ("X:\" or "\\server\share\") and its names, "." and ".." resolved and
// empty names dropped (".." never climbs above the root). FALSE for a path
// that is not full. bTrailing: it ended with a separator after a name.
bool SplitFullPath(const CString& strPath, CString& strRoot, std::vector<CString>& names, bool& bUnc,
                   bool& bTrailing) {
    int n = strPath.GetLength();
    int at = 0;
    bUnc = false;
    bTrailing = false;
    names.clear();
    if (n >= 3 && strPath[1] == L':' && IsSeparator(strPath[2]) &&
        ((strPath[0] >= L'A' && strPath[0] <= L'Z') || (strPath[0] >= L'a' && strPath[0] <= L'z'))) {
        strRoot = strPath.Left(2) + L"\\";
        at = 3;
    } else if (n > 2 && IsSeparator(strPath[0]) && IsSeparator(strPath[1]) && !HasDevicePrefix(strPath)) {
        // \\server\share: both names are the root, and neither may be empty.
        int s1 = 2;
        while (s1 < n && !IsSeparator(strPath[s1])) ++s1;
        int s2 = s1 + 1;
        while (s2 < n && !IsSeparator(strPath[s2])) ++s2;
        if (s1 == 2 || s1 >= n || s2 == s1 + 1) return false;
        strRoot = L"\\\\" + strPath.Mid(2, s1 - 2) + L"\\" + strPath.Mid(s1 + 1, s2 - s1 - 1) + L"\\";
        bUnc = true;
        at = s2 < n ? s2 + 1 : n;
    } else {
        return false;
    }
    while (at < n) {
        int end = at;
        while (end < n && !IsSeparator(strPath[end])) ++end;
        CString name = strPath.Mid(at, end - at);
        if (name == L"..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.IsEmpty() && name != L".") {
            names.push_back(name);
        }
        at = end + 1;
    }
    bTrailing = !names.empty() && IsSeparator(strPath[n - 1]);
    return true;
}

CString JoinNames(const CString& strRoot, const std::vector<CString>& names, bool bTrailing) {
    CString strOut = strRoot;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) strOut += L'\\';
        strOut += names[i];
    }
    if (bTrailing) strOut += L'\\';
    return strOut;
}

// A name the system's plain form keeps for a device, with or without an
// extension: nul, NUL.txt, com1.log.
bool IsDeviceName(const CString& strName) {
    int nDot = strName.Find(L'.');
    CString strBase = nDot >= 0 ? strName.Left(nDot) : strName;
    while (!strBase.IsEmpty() && strBase[strBase.GetLength() - 1] == L' ') strBase = strBase.Left(strBase.GetLength() - 1);
    strBase.MakeUpper();
    if (strBase == L"CON" || strBase == L"PRN" || strBase == L"AUX" || strBase == L"NUL" || strBase == L"CONIN$" ||
        strBase == L"CONOUT$")
        return true;
    if (strBase.GetLength() != 4 || (strBase.Left(3) != L"COM" && strBase.Left(3) != L"LPT")) return false;
    WCHAR c = strBase[3];
    return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

}  // namespace

CString AfxExactPathForm(LPCTSTR lpszPath) {
    CString strPath(lpszPath);
    if (HasDevicePrefix(strPath)) return strPath;
    CString strRoot;
    std::vector<CString> names;
    bool bUnc = false, bTrailing = false;
    if (!SplitFullPath(strPath, strRoot, names, bUnc, bTrailing)) return strPath;
    if (bUnc) return JoinNames(L"\\\\?\\UNC\\" + strRoot.Mid(2), names, bTrailing);
    return JoinNames(L"\\\\?\\" + strRoot, names, bTrailing);
}

CString AfxFullPathForm(LPCTSTR lpszPath) {
    CString strPath(lpszPath);
    if (HasDevicePrefix(strPath)) {
        // Only "\\?\" stands before a path the user knows; "\\.\" names a device.
        if (strPath[2] != L'?') return strPath;
        if (strPath.Left(8).CompareNoCase(L"\\\\?\\UNC\\") == 0) return L"\\\\" + strPath.Mid(8);
        return strPath.Mid(4);
    }
    CString strRoot;
    std::vector<CString> names;
    bool bUnc = false, bTrailing = false;
    if (SplitFullPath(strPath, strRoot, names, bUnc, bTrailing)) {
        // A share alone keeps no separator after its name, as a drive root keeps its one.
        if (bUnc && names.empty()) return strRoot.Left(strRoot.GetLength() - 1);
        return JoinNames(strRoot, names, bTrailing);
    }
    if (strPath.IsEmpty()) return strPath;
    DWORD n = GetFullPathNameW(strPath, 0, nullptr, nullptr);
    if (n == 0) return strPath;
    CString strFull;
    DWORD got = GetFullPathNameW(strPath, n, strFull.GetBuffer((int)n), nullptr);
    strFull.ReleaseBuffer(got > 0 && got < n ? (int)got : 0);
    return strFull.IsEmpty() ? strPath : strFull;
}

BOOL AfxIsPlainPathExact(LPCTSTR lpszPath) {
    CString strPath(lpszPath);
    int n = strPath.GetLength();
    // A prefixed path has no plain form that the system would read alike.
    if (HasDevicePrefix(strPath)) return FALSE;
    int at = 0;
    while (at < n) {
        int end = at;
        while (end < n && !IsSeparator(strPath[end])) ++end;
        CString name = strPath.Mid(at, end - at);
        if (!name.IsEmpty() && name != L"." && name != L"..") {
            WCHAR last = name[name.GetLength() - 1];
            if (last == L'.' || last == L' ' || IsDeviceName(name)) return FALSE;
        }
        at = end + 1;
    }
    return TRUE;
}

HANDLE AfxFindFirstFile(LPCTSTR lpszPath, WIN32_FIND_DATAW* pFound, BOOL* pbExact) {
    CString strSystem = AfxExactPathForm(lpszPath);
    int nSlash = strSystem.ReverseFind(L'\\');
    int nFwd = strSystem.ReverseFind(L'/');
    CString strName = strSystem.Mid((nFwd > nSlash ? nFwd : nSlash) + 1);
    BOOL bExact = strName.Find(L'*') < 0 && strName.Find(L'?') < 0;
    if (pbExact) *pbExact = bExact;
    // "*.*" means every entry, as the plain form reads it; "*" says so in
    // any form.
    if (strName == L"*.*") strSystem = strSystem.Left(strSystem.GetLength() - 2);
    HANDLE h = FindFirstFileW(strSystem, pFound);
    if (h == INVALID_HANDLE_VALUE || !bExact) return h;
    do {
        if (CompareStringOrdinal(pFound->cFileName, -1, strName, -1, TRUE) == CSTR_EQUAL ||
            (pFound->cAlternateFileName[0] &&
             CompareStringOrdinal(pFound->cAlternateFileName, -1, strName, -1, TRUE) == CSTR_EQUAL))
            return h;
    } while (FindNextFileW(h, pFound));
    FindClose(h);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

namespace {
// A path named in a failure, as the user knows it: without a device prefix.
CString ShownPath(LPCTSTR lpszPath) {
    return HasDevicePrefix(lpszPath) ? AfxFullPathForm(lpszPath) : CString(lpszPath);
}
}  // namespace

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile() {
    if (m_hFile != hFileNull) Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull) Abort();
    // Keep the full path as the user knows it: exceptions and GetFilePath
    // report it; the system is given the form that names this very file.
    m_strFileName = AfxFullPathForm(lpszFileName);

    DWORD access = 0;
    switch (nOpenFlags & 3) {
    case modeRead: access = GENERIC_READ; break;
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: access = GENERIC_READ; break;
    }
    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: share = 0; break;  // shareCompat and shareExclusive: no sharing
    }
    DWORD create = OPEN_EXISTING;
    if (nOpenFlags & modeCreate) create = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, (nOpenFlags & modeNoInherit) ? FALSE : TRUE};
    HANDLE h = CreateFileW(AfxExactPathForm(lpszFileName), access, share, &sa, create, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (pError) {
            pError->m_lOsError = (LONG)err;
            pError->m_cause = CFileException::OsErrorToException((LONG)err);
            pError->m_strFileName = ShownPath(lpszFileName);
        }
        return FALSE;
    }
    m_hFile = h;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (nCount == 0) return 0;
    DWORD got = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &got, nullptr)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
    return got;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    DWORD put = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &put, nullptr)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
    if (put != nCount) AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    LARGE_INTEGER d, out;
    d.QuadPart = lOff;
    DWORD method = nFrom == current ? FILE_CURRENT : nFrom == end ? FILE_END : FILE_BEGIN;
    if (!SetFilePointerEx(m_hFile, d, &out, method)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
    return (ULONGLONG)out.QuadPart;
}

ULONGLONG CFile::GetPosition() const {
    LARGE_INTEGER d, out;
    d.QuadPart = 0;
    if (!SetFilePointerEx(m_hFile, d, &out, FILE_CURRENT)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
    return (ULONGLONG)out.QuadPart;
}

ULONGLONG CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
    return (ULONGLONG)size.QuadPart;
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    Seek((LONGLONG)dwNewLen, begin);
    if (!SetEndOfFile(m_hFile)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
}

void CFile::Flush() {
    if (m_hFile != hFileNull && !FlushFileBuffers(m_hFile)) CFileException::ThrowOsError((LONG)GetLastError(), m_strFileName);
}

void CFile::Close() {
    BOOL bError = FALSE;
    DWORD err = 0;
    if (m_hFile != hFileNull) {
        bError = !CloseHandle(m_hFile);
        if (bError) err = GetLastError();
    }
    m_hFile = hFileNull;
    if (bError) CFileException::ThrowOsError((LONG)err, m_strFileName);
}

void CFile::Abort() {
    if (m_hFile != hFileNull) CloseHandle(m_hFile);
    m_hFile = hFileNull;
}

BOOL CFile::GetStatus(CFileStatus& rStatus) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (m_hFile == hFileNull || !GetFileInformationByHandle(m_hFile, &info)) return FALSE;
    rStatus.m_ctime = CTime(info.ftCreationTime);
    rStatus.m_atime = CTime(info.ftLastAccessTime);
    rStatus.m_mtime = CTime(info.ftLastWriteTime);
    rStatus.m_size = ((ULONGLONG)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    rStatus.m_attribute = (BYTE)info.dwFileAttributes;
    int n = m_strFileName.GetLength() < 259 ? m_strFileName.GetLength() : 259;
    for (int i = 0; i < n; ++i) rStatus.m_szFullName[i] = m_strFileName[i];
    rStatus.m_szFullName[n] = 0;
    return TRUE;
}

BOOL CFile::GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus) {
    // Read through the exact form, so that a path of any length has the
    // status of that very file (the replace question and the attribute
    // reset need it).
    if (!lpszFileName || !*lpszFileName) return FALSE;
    WIN32_FIND_DATAW fd;
    HANDLE h = AfxFindFirstFile(lpszFileName, &fd);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    FindClose(h);
    // The full name has room for a path Windows takes without the prefix;
    // a longer one is left out rather than cut.
    CString strFull = AfxFullPathForm(lpszFileName);
    if (strFull.GetLength() < MAX_PATH)
        lstrcpynW(rStatus.m_szFullName, strFull, 260);
    else
        rStatus.m_szFullName[0] = 0;
    rStatus.m_attribute = (BYTE)fd.dwFileAttributes;
    rStatus.m_size = ((ULONGLONG)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    rStatus.m_ctime = CTime(fd.ftCreationTime);
    rStatus.m_atime = CTime(fd.ftLastAccessTime);
    rStatus.m_mtime = CTime(fd.ftLastWriteTime);
    if (rStatus.m_ctime.GetTime() == 0) rStatus.m_ctime = rStatus.m_mtime;
    if (rStatus.m_atime.GetTime() == 0) rStatus.m_atime = rStatus.m_mtime;
    return TRUE;
}

void CFile::SetStatus(LPCTSTR lpszFileName, const CFileStatus& status) {
    // Written through the exact form, as GetStatus reads; failures name the
    // path as the caller gave it (without a device prefix).
    CString strExact = AfxExactPathForm(lpszFileName);
    CString strShown = ShownPath(lpszFileName);
    DWORD attr = GetFileAttributesW(strExact);
    if (attr == INVALID_FILE_ATTRIBUTES) CFileException::ThrowOsError((LONG)GetLastError(), strShown);
    // Times first: a read-only file cannot be opened for writing its times.
    if (status.m_ctime.GetTime() || status.m_mtime.GetTime() || status.m_atime.GetTime()) {
        if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(strExact, attr & ~FILE_ATTRIBUTE_READONLY);
        HANDLE h = CreateFileW(strExact, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD err = GetLastError();
            if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(strExact, attr);
            CFileException::ThrowOsError((LONG)err, strShown);
        }
        FILETIME c, m, a;
        status.m_ctime.GetAsFileTime(c);
        status.m_mtime.GetAsFileTime(m);
        status.m_atime.GetAsFileTime(a);
        BOOL ok = SetFileTime(h, status.m_ctime.GetTime() ? &c : nullptr, status.m_atime.GetTime() ? &a : nullptr,
                              status.m_mtime.GetTime() ? &m : nullptr);
        DWORD err = ok ? 0 : GetLastError();
        CloseHandle(h);
        if (!ok) CFileException::ThrowOsError((LONG)err, strShown);
    }
    DWORD newAttr = (attr & ~0xFFu) | status.m_attribute;
    if (newAttr != attr || (attr & FILE_ATTRIBUTE_READONLY)) {
        if (!SetFileAttributesW(strExact, newAttr)) CFileException::ThrowOsError((LONG)GetLastError(), strShown);
    }
}

void CFile::Remove(LPCTSTR lpszFileName) {
    if (!DeleteFileW(AfxExactPathForm(lpszFileName)))
        CFileException::ThrowOsError((LONG)GetLastError(), ShownPath(lpszFileName));
}

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName) {
    if (!MoveFileW(AfxExactPathForm(lpszOldName), AfxExactPathForm(lpszNewName)))
        CFileException::ThrowOsError((LONG)GetLastError(), ShownPath(lpszOldName));
}
