#include "fileops/FileTask.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "framework/Win.h"
#include <shlobj.h>

CFileTask::CFileTask()
    : m_nType(0), m_dwFlags(TF_DEFAULT), m_nSize(0), m_pfnProgress(nullptr), m_pContext(nullptr) {}

CFileTask::CFileTask(CString strSrc, CString strDst, int nType, TaskProgressProc pfnProgress, void* pContext)
    : m_strSrc(strSrc),
      m_strDst(strDst),
      m_nType(nType),
      m_dwFlags(TF_DEFAULT),
      m_nSize(0),
      m_pfnProgress(pfnProgress),
      m_pContext(pContext) {
    // A queued task knows its size, so the batch's total needs no second walk
    // of the trees (only sources that measured 0 are measured again).
    GetSize();
}

ULONGLONG CFileTask::GetSize() {
    if (m_nSize != 0) return m_nSize;
    ULONGLONG nSize = 0;
    CFileFind finder;
    if (finder.FindFile(m_strSrc)) {
        finder.FindNextFile();
        if (IsFolderLink(finder.GetAttributes()))
            nSize = 0;
        else if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY))
            nSize = GetDirSize(finder.GetFilePath() + L"\\*.*");
        else
            nSize = finder.GetLength();
    }
    finder.Close();
    m_nSize = nSize;
    return nSize;
}

ULONGLONG CFileTask::GetDirSize(CString strPattern) {
    ULONGLONG nTotal = 0;
    CFileFind finder;
    BOOL bMore = finder.FindFile(strPattern);
    while (bMore) {
        bMore = finder.FindNextFile();
        // What a link shows lies elsewhere (or above: a loop).
        if (finder.IsDots() || IsFolderLink(finder.GetAttributes())) continue;
        if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY))
            nTotal += GetDirSize(finder.GetFilePath() + L"\\*.*");
        else
            nTotal += finder.GetLength();
    }
    finder.Close();
    return nTotal;
}

int CFileTask::Execute() {
    typedef int (CFileTask::*Handler)(CString, CString);
    Handler pfnDir, pfnFile;
    switch (m_nType) {
    case TASK_COPY: pfnDir = &CFileTask::DoCopyDir; pfnFile = &CFileTask::DoCopyFile; break;
    case TASK_DELETE: pfnDir = &CFileTask::DoDeleteDir; pfnFile = &CFileTask::DoDeleteFile; break;
    case TASK_COMPRESS: pfnDir = &CFileTask::DoCompressDir; pfnFile = &CFileTask::DoCompressFile; break;
    case TASK_DECOMPRESS: pfnDir = &CFileTask::DoDecompressDir; pfnFile = &CFileTask::DoDecompressFile; break;
    default: return TASK_ERROR;
    }

    // A source removed since it was queued is a failure like any other: the
    // user learns why nothing was done, and what the batch left undone.
    CFileFind finder;
    if (!finder.FindFile(m_strSrc)) return ShowFailure((DWORD)m_nType, m_strSrc, GetLastError(), CString());
    finder.FindNextFile();
    BOOL bFolder = finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY);
    finder.Close();

    m_bLinkSkipped = FALSE;
    m_bWriteProtected = FALSE;
    m_finished.clear();
    int nResult;
    if (bFolder) {
        m_dwFlags |= TF_MULTIPLE;
        nResult = (this->*pfnDir)(m_strSrc, m_strDst);
    } else {
        nResult = (this->*pfnFile)(m_strSrc, m_strDst);
    }
    // A tree done without the links it held is not all done: whoever acts
    // on a success (removing the source) must not act on it.
    if (nResult == TASK_OK && m_bLinkSkipped) nResult = TASK_SKIPPED;
    return nResult;
}

BOOL ResetFileAttributes(CString strPath, DWORD op, BOOL bDelete) {
    try {
        CFileStatus status;
        // An unread status would write attribute 0 back.
        if (!CFile::GetStatus(strPath, status)) CFileException::ThrowOsError((LONG)GetLastError(), strPath);
        status.m_attribute &= (BYTE)~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        CFile::SetStatus(strPath, status);
        if (bDelete) {
            CFile::Remove(strPath);
            SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, (LPCWSTR)strPath, nullptr);
        }
        return TRUE;
    } catch (CFileException* e) {
        // Whatever the operation, the box is titled as a failed move.
        CString strText = TaskString(1000 + op) + e->m_strFileName + TaskString(129);
        e->Delete();
        ShowTaskError(strText, TaskString(121));
        return FALSE;
    }
}
