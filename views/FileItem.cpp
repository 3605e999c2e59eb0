#include "FileItem.h"
#include "fileops/PathFunctions.h"
#include "framework/win/OleDateTime.h"
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <initializer_list>
#include <map>

CFileItem::CFileItem(const CString& strPath, BOOL bDrive)
    : m_bLoaded(FALSE), m_bDrive(bDrive), m_bHasSubFolders(FALSE), m_nIcon(0), m_nSize(0),
      m_nAttributes(0) {
    Load(strPath);
}

CFileItem::CFileItem(const CString& strPath, const WIN32_FIND_DATAW& fd)
    : m_bLoaded(FALSE), m_bDrive(FALSE), m_bHasSubFolders(FALSE), m_nIcon(0), m_nSize(0), m_nAttributes(0) {
    SHFILEINFOW sfi = {};
    if (!ShellInfoByType(strPath, fd.dwFileAttributes, sfi)) return;
    CFileStatus status;
    status.m_ctime = CTime(fd.ftCreationTime);
    status.m_atime = CTime(fd.ftLastAccessTime);
    status.m_mtime = CTime(fd.ftLastWriteTime);
    if (status.m_ctime.GetTime() == 0) status.m_ctime = status.m_mtime;
    status.m_size = ((ULONGLONG)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    status.m_attribute = (BYTE)fd.dwFileAttributes;
    Fill(strPath, sfi, &status);
}

CFileItem::~CFileItem() {}

namespace {
// Files whose icon is their own, not their type's.
BOOL HasOwnIcon(const CString& strPath) {
    CString ext = GetExtension(strPath);
    ext.MakeLower();
    for (LPCWSTR own : {L"exe", L"ico", L"lnk", L"cur", L"ani", L"url", L"scr"})
        if (ext == own) return TRUE;
    return FALSE;
}

struct TypeInfo {
    int nIcon;
    CString strTypeName;
};

// The shell's icon and type name for a path. The shell takes only plain
// paths, and from the plain path of a name that ends in a dot or a space,
// or that Windows keeps for a device, it would describe another file or the
// device: such a name is described by its attributes alone.
BOOL ShellIconAndType(const CString& strPath, DWORD dwAttributes, SHFILEINFOW& sfi) {
    UINT uFlags = SHGFI_SYSICONINDEX | SHGFI_TYPENAME;
    if (!AfxIsPlainPathExact(strPath)) uFlags |= SHGFI_USEFILEATTRIBUTES;
    return ::SHGetFileInfoW(strPath, dwAttributes, &sfi, sizeof(sfi), uFlags) != 0;
}

// Whether a folder holds a folder, read through the exact path (the shell's
// answer for such a name would be another folder's).
BOOL HoldsFolder(const CString& strFolder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(AfxExactPathForm(strFolder + L"\\*"), &fd);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    BOOL bFound = FALSE;
    do {
        bFound = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && lstrcmpW(fd.cFileName, L".") &&
                 lstrcmpW(fd.cFileName, L"..");
    } while (!bFound && ::FindNextFileW(h, &fd));
    ::FindClose(h);
    return bFound;
}
}  // namespace

BOOL CFileItem::ShellInfoByType(const CString& strPath, DWORD dwAttributes, SHFILEINFOW& sfi) {
    BOOL bFolder = (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!bFolder && HasOwnIcon(strPath)) return ShellIconAndType(strPath, dwAttributes, sfi);
    // One answer serves every entry of the same extension (the list lives
    // on the interface thread only).
    static std::map<CString, TypeInfo>* cache = new std::map<CString, TypeInfo>;
    CString key = bFolder ? CString(L"\\") : GetExtension(strPath);
    key.MakeLower();
    auto it = cache->find(key);
    if (it == cache->end()) {
        // Asked by the path of the type's first entry, so that the answer is
        // the one a record made by path gets.
        SHFILEINFOW info = {};
        if (!ShellIconAndType(strPath, dwAttributes, info)) return FALSE;
        it = cache->insert({key, TypeInfo{info.iIcon, info.szTypeName}}).first;
    }
    sfi.iIcon = it->second.nIcon;
    lstrcpynW(sfi.szTypeName, it->second.strTypeName, 80);
    sfi.dwAttributes = 0;
    return TRUE;
}

BOOL CFileItem::Load(const CString& strPath) {
    // The system image-list index rather than an icon: no handle per record
    // to leak, and the views draw from the shared system lists anyway.
    SHFILEINFOW sfi = {};
    if (!m_bDrive && !AfxIsPlainPathExact(strPath)) {
        // Read through the exact path only: the shell would describe the
        // file the plain path names instead.
        CFileStatus status;
        if (!CFile::GetStatus(strPath, status)) return FALSE;
        if (!ShellIconAndType(strPath, status.m_attribute, sfi)) return FALSE;
        m_bHasSubFolders = (status.m_attribute & FILE_ATTRIBUTE_DIRECTORY) && HoldsFolder(strPath);
        Fill(strPath, sfi, &status);
        return TRUE;
    }
    if (!::SHGetFileInfoW(strPath, 0, &sfi, sizeof(sfi),
                          SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_ATTRIBUTES))
        return FALSE;
    m_bHasSubFolders = (sfi.dwAttributes & SFGAO_HASSUBFOLDER) ? TRUE : FALSE;

    if (m_bDrive) {
        m_nSize = 0;
        Fill(strPath, sfi, nullptr);
        return TRUE;
    }
    CFileStatus status;
    if (!CFile::GetStatus(strPath, status)) return FALSE;
    Fill(strPath, sfi, &status);
    return TRUE;
}

void CFileItem::Fill(const CString& strPath, const SHFILEINFOW& sfi, const CFileStatus* pStatus) {
    if (pStatus) {
        m_timeCreated = pStatus->m_ctime;
        m_timeModified = pStatus->m_mtime;
        m_timeAccessed = pStatus->m_atime;
        m_nSize = pStatus->m_size;
        m_nAttributes = pStatus->m_attribute;
    }

    m_nIcon = sfi.iIcon;

    CString strFile;
    if (!strFile.LoadString(124) || strFile.IsEmpty()) strFile = _T("File");
    if (sfi.szTypeName[0]) {
        m_strTypeName = sfi.szTypeName;
    } else {
        CString strExt = GetExtension(strPath);
        m_strTypeName = strExt.MakeUpper() + strFile;
    }

    m_strPath = strPath;

    WCHAR szSize[64] = {0};
    ::StrFormatKBSizeW((LONGLONG)m_nSize, szSize, 64);
    m_strSizeText = szSize;

    int nYear = 0, nMonth = 0, nDay = 0, nHour = -1, nMinute = -1, nSecond = -1;
    struct tm t;
    if (m_timeModified.GetLocalTm(&t)) {
        nYear = t.tm_year + 1900;
        nMonth = t.tm_mon + 1;
        nDay = t.tm_mday;
        nHour = t.tm_hour;
        nMinute = t.tm_min;
        nSecond = t.tm_sec;
    }
    COleDateTime date(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    if (date.GetStatus() == COleDateTime::valid)
        m_strModifiedText = date.Format(0, LANG_USER_DEFAULT);
    else
        m_strModifiedText = _T("Invalid DateTime");

    m_bLoaded = TRUE;
}

CString CFileItem::GetDisplayName() const {
    if (!m_bLoaded) return CString();
    // A drive root such as E:\ has no last component to show.
    if (m_bDrive) return m_strPath;
    return GetFileNamePart(m_strPath);
}

CString CFileItem::GetPath() const { return m_bLoaded ? m_strPath : CString(); }
CString CFileItem::GetSizeText() const { return m_bLoaded ? m_strSizeText : CString(); }
CString CFileItem::GetTypeName() const { return m_bLoaded ? m_strTypeName : CString(); }
CString CFileItem::GetModifiedText() const { return m_bLoaded ? m_strModifiedText : CString(); }
