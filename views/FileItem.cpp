#include "FileItem.h"
#include "fileops/PathFunctions.h"
#include "framework/win/OleDateTime.h"
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

CFileItem::CFileItem(const CString& strPath, BOOL bDrive)
    : m_bLoaded(FALSE), m_bDrive(bDrive), m_bHasSubFolders(FALSE), m_nIcon(0), m_nSize(0),
      m_nAttributes(0) {
    Load(strPath);
}

CFileItem::~CFileItem() {}

BOOL CFileItem::Load(const CString& strPath) {
    // The system image-list index rather than an icon: no handle per record
    // to leak, and the views draw from the shared system lists anyway.
    SHFILEINFOW sfi = {};
    if (!::SHGetFileInfoW(strPath, 0, &sfi, sizeof(sfi),
                          SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_ATTRIBUTES))
        return FALSE;
    m_bHasSubFolders = (sfi.dwAttributes & SFGAO_HASSUBFOLDER) ? TRUE : FALSE;

    if (m_bDrive) {
        m_nSize = 0;
    } else {
        CFileStatus status;
        if (!CFile::GetStatus(strPath, status)) return FALSE;
        m_timeCreated = status.m_ctime;
        m_timeModified = status.m_mtime;
        m_timeAccessed = status.m_atime;
        m_nSize = status.m_size;
        m_nAttributes = status.m_attribute;
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
    return TRUE;
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
