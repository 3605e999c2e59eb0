#include "FileFind.h"
#include <utility>

IMPLEMENT_DYNAMIC(CFileFind, CObject)

CFileFind::CFileFind() : m_hContext(nullptr), m_pFoundInfo(nullptr), m_pNextInfo(nullptr), m_bSingle(FALSE) {}

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
    if (m_hContext && m_hContext != INVALID_HANDLE_VALUE) ::FindClose(m_hContext);
    m_hContext = nullptr;
    delete m_pFoundInfo;
    delete m_pNextInfo;
    m_pFoundInfo = nullptr;
    m_pNextInfo = nullptr;
    m_bSingle = FALSE;
    m_strRoot.Empty();
}

BOOL CFileFind::FindFile(LPCTSTR pstrName, DWORD) {
    Close();
    CString pattern = pstrName ? CString(pstrName) : CString(L"*.*");
    m_pNextInfo = new WIN32_FIND_DATAW;
    // The exact form: a folder or a name that ends in a dot or a space, or
    // that Windows keeps for a device, is looked up as itself, and a name
    // without wildcards finds that name alone.
    BOOL bExact = FALSE;
    m_hContext = AfxFindFirstFile(pattern, m_pNextInfo, &bExact);
    m_bSingle = bExact;
    if (m_hContext == INVALID_HANDLE_VALUE) {
        DWORD err = ::GetLastError();
        Close();
        ::SetLastError(err);
        return FALSE;
    }

    // The root is the pattern's folder as a full path, every name kept as
    // it is; a drive root keeps its backslash ("E:\"), any other folder has
    // none.
    CString full = AfxFullPathForm(pattern);
    int slash = full.ReverseFind(L'\\');
    int fwd = full.ReverseFind(L'/');
    if (fwd > slash) slash = fwd;
    if (slash < 0) m_strRoot = full;
    else if (slash == 2 && full.GetLength() > 1 && full[1] == L':') m_strRoot = full.Left(3);
    else m_strRoot = full.Left(slash);
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    // No look-ahead entry left: the current entry was the last one and stays current.
    if (!m_hContext || !m_pNextInfo) return FALSE;
    if (!m_pFoundInfo) m_pFoundInfo = new WIN32_FIND_DATAW;
    std::swap(m_pFoundInfo, m_pNextInfo);
    if (m_bSingle) {
        ::SetLastError(ERROR_NO_MORE_FILES);
    } else if (::FindNextFileW(m_hContext, m_pNextInfo)) {
        return TRUE;
    }
    delete m_pNextInfo;
    m_pNextInfo = nullptr;
    return FALSE;
}

CString CFileFind::GetFileName() const {
    return m_pFoundInfo ? CString(m_pFoundInfo->cFileName) : CString();
}

CString CFileFind::GetFilePath() const {
    CString path = m_strRoot;
    if (!path.IsEmpty() && path[path.GetLength() - 1] != L'\\' && path[path.GetLength() - 1] != L'/')
        path += L'\\';
    return path + GetFileName();
}

ULONGLONG CFileFind::GetLength() const {
    if (!m_pFoundInfo) return 0;
    return ((ULONGLONG)m_pFoundInfo->nFileSizeHigh << 32) | m_pFoundInfo->nFileSizeLow;
}

DWORD CFileFind::GetAttributes() const { return m_pFoundInfo ? m_pFoundInfo->dwFileAttributes : 0; }

BOOL CFileFind::IsDots() const {
    if (!m_pFoundInfo || !IsDirectory()) return FALSE;
    const WCHAR* n = m_pFoundInfo->cFileName;
    return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
}

BOOL CFileFind::GetLastWriteTime(FILETIME* pTimeStamp) const {
    if (!m_pFoundInfo || !pTimeStamp) return FALSE;
    *pTimeStamp = m_pFoundInfo->ftLastWriteTime;
    return TRUE;
}

BOOL CFileFind::GetLastWriteTime(CTime& refTime) const {
    if (!m_pFoundInfo) return FALSE;
    refTime = CTime(m_pFoundInfo->ftLastWriteTime);
    return TRUE;
}

BOOL CFileFind::GetCreationTime(FILETIME* pTimeStamp) const {
    if (!m_pFoundInfo || !pTimeStamp) return FALSE;
    *pTimeStamp = m_pFoundInfo->ftCreationTime;
    return TRUE;
}

BOOL CFileFind::GetCreationTime(CTime& refTime) const {
    if (!m_pFoundInfo) return FALSE;
    refTime = CTime(m_pFoundInfo->ftCreationTime);
    return TRUE;
}

BOOL CFileFind::GetLastAccessTime(FILETIME* pTimeStamp) const {
    if (!m_pFoundInfo || !pTimeStamp) return FALSE;
    *pTimeStamp = m_pFoundInfo->ftLastAccessTime;
    return TRUE;
}

BOOL CFileFind::GetLastAccessTime(CTime& refTime) const {
    if (!m_pFoundInfo) return FALSE;
    refTime = CTime(m_pFoundInfo->ftLastAccessTime);
    return TRUE;
}
