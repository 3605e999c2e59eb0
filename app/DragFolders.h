// The drag folders this run made below the temporary folder, so that the
// exit's clean-up removes those and nothing else: the temporary folder may
// be the drive's root, where <temp>\KIV is the password folder.
#pragma once
#include "framework/Afx.h"
#include <vector>

class CDragFolders {
public:
    // A drag folder the file list has just made (with or without its
    // trailing backslash); noted once.
    void Add(const CString& strFolder);
    // Removes every noted folder, then its parent when that leaves it empty.
    // Nothing on the drive strKeepDrive (the program's drive, as E:) is
    // touched, nor a folder that holds strPwdFile. The notes are emptied.
    void RemoveAll(const CString& strKeepDrive, const CString& strPwdFile);
    const std::vector<CString>& Folders() const { return m_folders; }

private:
    std::vector<CString> m_folders;
};
