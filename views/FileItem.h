// CFileItem: the record that every folder-tree item and file-list item
// carries as its data. It is made for one full path, asks the shell and the
// file system about it once, and keeps the answers with the texts the views
// show. It never changes the file system; a view that wants fresh data
// reloads the record or replaces it.
#pragma once
#include "framework/Afx.h"
#include <shellapi.h>

class CFileItem {
public:
    // Loads the path at once; a failed load still leaves a record, with
    // m_bLoaded 0 and every number 0.
    CFileItem(const CString& strPath, BOOL bDrive);
    // A file or folder as a folder listing found it: the listing gives the
    // status, and the shell is asked once per extension (about the first
    // entry of that type) rather than once per entry, which is what makes a
    // large folder quick to show. m_bHasSubFolders stays 0.
    CFileItem(const CString& strPath, const WIN32_FIND_DATAW& fd);
    ~CFileItem();

    // Fills the record from the path; FALSE when the shell cannot describe
    // it (the record is then unchanged) or its file status cannot be read
    // (then only m_bHasSubFolders has changed, so a reloaded record whose
    // path has gone keeps its earlier texts and m_bLoaded).
    BOOL Load(const CString& strPath);

    // Each of these is "" while the record is not loaded.
    // The whole path of a drive record (E:\), else the last path component.
    CString GetDisplayName() const;
    CString GetPath() const;
    CString GetSizeText() const;
    CString GetTypeName() const;
    CString GetModifiedText() const;

    // The views read these directly: the tree the loaded and sub-folder
    // flags, the list the icon, size, modified time and attributes.
    BOOL m_bLoaded;
    BOOL m_bDrive;         // a drive root: no file status, size and times 0
    BOOL m_bHasSubFolders;
    int m_nIcon;           // index in the system image lists
    CTime m_timeCreated;
    CTime m_timeModified;
    CTime m_timeAccessed;
    ULONGLONG m_nSize;
    BYTE m_nAttributes;    // low byte of the file attributes
    CString m_strPath;
    CString m_strSizeText;
    CString m_strTypeName;
    CString m_strModifiedText;

private:
    // The record's fields and texts from the shell's answer and, unless
    // this is a drive, the file status.
    void Fill(const CString& strPath, const SHFILEINFOW& sfi, const struct CFileStatus* pStatus);
    static BOOL ShellInfoByType(const CString& strPath, DWORD dwAttributes, SHFILEINFOW& sfi);
};
