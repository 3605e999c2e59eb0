// CFile over the Win32 file handle.
#include "../File.h"

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

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile() {
    if (m_hFile != hFileNull) Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull) Abort();
    m_strFileName.Empty();
    // Keep the full path: exceptions and GetFilePath report it.
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(lpszFileName, MAX_PATH * 4, full, nullptr);
    m_strFileName = (n > 0 && n < MAX_PATH * 4) ? CString(full) : CString(lpszFileName);

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
    HANDLE h = CreateFileW(lpszFileName, access, share, &sa, create, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (pError) {
            pError->m_lOsError = (LONG)err;
            pError->m_cause = CFileException::OsErrorToException((LONG)err);
            pError->m_strFileName = lpszFileName;
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
    // Read through the long form, so that a path of any length has its
    // status (the replace question and the attribute reset need it).
    CString strLong = AfxLongPathForm(lpszFileName);
    if (strLong.IsEmpty()) return FALSE;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(strLong, &fd);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    FindClose(h);
    // The full name has room for a path Windows takes without the prefix;
    // a longer one is left out rather than cut.
    if (strLong.GetLength() < MAX_PATH)
        lstrcpynW(rStatus.m_szFullName, strLong, 260);
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
    // Written through the long form, as GetStatus reads; failures name the
    // path as the caller gave it.
    CString strLong = AfxLongPathForm(lpszFileName);
    DWORD attr = GetFileAttributesW(strLong);
    if (attr == INVALID_FILE_ATTRIBUTES) CFileException::ThrowOsError((LONG)GetLastError(), lpszFileName);
    // Times first: a read-only file cannot be opened for writing its times.
    if (status.m_ctime.GetTime() || status.m_mtime.GetTime() || status.m_atime.GetTime()) {
        if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(strLong, attr & ~FILE_ATTRIBUTE_READONLY);
        HANDLE h = CreateFileW(strLong, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD err = GetLastError();
            if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(strLong, attr);
            CFileException::ThrowOsError((LONG)err, lpszFileName);
        }
        FILETIME c, m, a;
        status.m_ctime.GetAsFileTime(c);
        status.m_mtime.GetAsFileTime(m);
        status.m_atime.GetAsFileTime(a);
        BOOL ok = SetFileTime(h, status.m_ctime.GetTime() ? &c : nullptr, status.m_atime.GetTime() ? &a : nullptr,
                              status.m_mtime.GetTime() ? &m : nullptr);
        DWORD err = ok ? 0 : GetLastError();
        CloseHandle(h);
        if (!ok) CFileException::ThrowOsError((LONG)err, lpszFileName);
    }
    DWORD newAttr = (attr & ~0xFFu) | status.m_attribute;
    if (newAttr != attr || (attr & FILE_ATTRIBUTE_READONLY)) {
        if (!SetFileAttributesW(strLong, newAttr)) CFileException::ThrowOsError((LONG)GetLastError(), lpszFileName);
    }
}

void CFile::Remove(LPCTSTR lpszFileName) {
    if (!DeleteFileW(AfxLongPathForm(lpszFileName))) CFileException::ThrowOsError((LONG)GetLastError(), lpszFileName);
}

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName) {
    if (!MoveFileW(lpszOldName, lpszNewName)) CFileException::ThrowOsError((LONG)GetLastError(), lpszOldName);
}
