#include "DragFolders.h"
#include "fileops/PathFunctions.h"
#include <shlwapi.h>

namespace {
CString WithoutSlash(CString strPath) {
    while (strPath.GetLength() > 3 && strPath.Right(1) == L"\\") strPath = strPath.Left(strPath.GetLength() - 1);
    return strPath;
}

// The path in its full form, so that "E:\x\..\KIV" cannot pass for another folder.
CString FullForm(const CString& strPath) {
    WCHAR buf[MAX_PATH * 4] = {0};
    DWORD n = GetFullPathNameW(strPath, MAX_PATH * 4, buf, nullptr);
    return WithoutSlash(n > 0 && n < MAX_PATH * 4 ? CString(buf) : strPath);
}

BOOL OnDrive(const CString& strPath, const CString& strDrive) {
    return strDrive.GetLength() >= 2 && strDrive[1] == L':' && strPath.Left(2).CompareNoCase(strDrive.Left(2)) == 0;
}

BOOL Holds(const CString& strFolder, const CString& strFile) {
    if (strFile.IsEmpty()) return FALSE;
    CString strInside = FullForm(strFile);
    CString strPrefix = strFolder + L"\\";
    return strInside.Left(strPrefix.GetLength()).CompareNoCase(strPrefix) == 0;
}
}  // namespace

void CDragFolders::Add(const CString& strFolder) {
    CString strFull = FullForm(strFolder);
    for (const CString& s : m_folders)
        if (s.CompareNoCase(strFull) == 0) return;
    m_folders.push_back(strFull);
}

void CDragFolders::RemoveAll(const CString& strKeepDrive, const CString& strPwdFile) {
    std::vector<CString> folders;
    folders.swap(m_folders);
    for (const CString& strFolder : folders) {
        if (!IsFullPath(strFolder) || OnDrive(strFolder, strKeepDrive) || Holds(strFolder, strPwdFile)) continue;
        if (PathFileExistsW(strFolder)) DeleteFolderTree(strFolder);
        // The parent (<temp>\KIV) goes only when nothing else is left in it.
        CString strParent = GetFolderPart(strFolder);
        if (strParent != strFolder && strParent.GetLength() > 3 && !Holds(strParent, strPwdFile))
            RemoveDirectoryW(strParent);
    }
}
