#include "File.h"

CString CFile::GetFileName() const {
    int i = m_strFileName.ReverseFind('\\');
    int j = m_strFileName.ReverseFind('/');
    if (j > i) i = j;
    return i < 0 ? m_strFileName : m_strFileName.Mid(i + 1);
}

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags) : m_hFile(hFileNull) {
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        throw new CFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}
