// CFileFind: a folder listing with the framework's look-ahead. FindFile
// opens the search; each FindNextFile makes the next entry current and
// returns FALSE when that entry is the last one (so the caller handles it
// and then stops).
#pragma once
#include "../Afx.h"

class CFileFind : public CObject {
    DECLARE_DYNAMIC(CFileFind)
public:
    CFileFind();
    ~CFileFind() override;

    // NULL looks for "*.*" in the current folder. A path without wildcards
    // finds that entry itself.
    virtual BOOL FindFile(LPCTSTR pstrName = nullptr, DWORD dwUnused = 0);
    virtual BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    // GetRoot() + "\" + GetFileName().
    CString GetFilePath() const;
    // The folder of the pattern, as a full path without a trailing
    // backslash ("E:\docs"), except a drive root ("E:\").
    CString GetRoot() const { return m_strRoot; }
    ULONGLONG GetLength() const;
    DWORD GetAttributes() const;
    BOOL MatchesMask(DWORD dwMask) const { return (GetAttributes() & dwMask) != 0; }
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    BOOL IsReadOnly() const { return MatchesMask(FILE_ATTRIBUTE_READONLY); }
    BOOL IsHidden() const { return MatchesMask(FILE_ATTRIBUTE_HIDDEN); }
    BOOL IsSystem() const { return MatchesMask(FILE_ATTRIBUTE_SYSTEM); }
    BOOL IsArchived() const { return MatchesMask(FILE_ATTRIBUTE_ARCHIVE); }
    // "." or "..".
    BOOL IsDots() const;
    BOOL GetLastWriteTime(FILETIME* pTimeStamp) const;
    BOOL GetLastWriteTime(CTime& refTime) const;
    BOOL GetCreationTime(FILETIME* pTimeStamp) const;
    BOOL GetCreationTime(CTime& refTime) const;
    BOOL GetLastAccessTime(FILETIME* pTimeStamp) const;
    BOOL GetLastAccessTime(CTime& refTime) const;

protected:
    HANDLE m_hContext;
    WIN32_FIND_DATAW* m_pFoundInfo;  // the current entry (after FindNextFile)
    WIN32_FIND_DATAW* m_pNextInfo;   // the entry read ahead
    CString m_strRoot;
    BOOL m_bSingle;  // the name had no wildcards: its one entry is all there is
};
