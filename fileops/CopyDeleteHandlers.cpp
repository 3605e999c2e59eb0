// The copy and delete handlers of CFileTask.
#include "drive/DriveState.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskMessage.h"
#include "framework/Win.h"
#include <io.h>
#include <shlobj.h>
#include <sys/stat.h>

namespace {

int CopyOneFile(CFileTask& task, const CString& strSrc, const CString& strDst) {
    SetProgressNames(strSrc, strDst);
    BOOL bReadOnly = FALSE, bFolder = FALSE;
    BOOL bExists = FindExisting(strDst, bReadOnly, &bFolder);
    ReportNames(task, strSrc, strDst);
    ULONGLONG nLength = FoundLength(strSrc);

    // A file copied onto itself (a folder compressed in place holds its
    // archives) is already where it is to be: replacing it would destroy it.
    if (bExists && IsSamePath(strSrc, strDst)) {
        ReportBytes(task, nLength);
        return TASK_OK;
    }
    // A folder of the target's name is no file to replace.
    if (bExists && bFolder) return RefuseFolderInTheWay(TASK_COPY, strDst);
    if (IsPathTooLong(strDst)) return RefuseLongPath(TASK_COPY, strDst);
    // The system's copy gives no chance to cancel between files otherwise.
    if (IsTaskCancelled(task)) return TASK_CANCELLED;

    if (bExists && MustAskReplace(task.m_dwFlags, bReadOnly)) {
        CFileCheckInfo existing, incoming;
        BOOL bHaveExisting = GetFileCheckInfo(strDst, existing);
        BOOL bHaveIncoming = GetFileCheckInfo(strSrc, incoming);
        int nAnswer = AskReplaceFile(task, bReadOnly, bHaveExisting ? &existing : nullptr,
                                     bHaveIncoming ? &incoming : nullptr);
        if (int nResult = ConfirmationResult(task, nAnswer, strSrc, FALSE)) return nResult;
    }

    // The copy goes to a new file beside the target and takes the target's
    // place only once it is complete: a failed copy leaves the old file.
    CTempFileGuard temp(MakeTempSibling(strDst));
    CopyProgressData data = {task.m_pfnProgress, task.m_pContext, 0};
    BOOL bNeverCancel = FALSE;
    if (!CopyFileExW(AfxExactPathForm(strSrc), AfxExactPathForm(temp.Path()), CopyProgressRoutine, &data,
                     &bNeverCancel, COPY_FILE_FAIL_IF_EXISTS)) {
        DWORD dwError = GetLastError();
        RemoveTemp(temp.Path());
        if (dwError == ERROR_REQUEST_ABORTED) return TASK_CANCELLED;
        ShowTaskError(FailureText(TASK_COPY, strSrc, dwError, strDst), CopyCaption());
        return TASK_ERROR;
    }
    if (bExists) {
        if (!PutInPlace(temp.Path(), strDst, TASK_COPY, CopyCaption())) return TASK_ERROR;
    } else if (!FlushToDrive(temp.Path()) || !MoveIntoPlace(temp.Path(), strDst, 0)) {
        // A target that appeared meanwhile is not replaced unasked.
        DWORD dwError = GetLastError();
        RemoveTemp(temp.Path());
        ShowTaskError(FailureText(TASK_COPY, strDst, dwError), CopyCaption());
        return TASK_ERROR;
    }
    temp.Keep();

    // Chunks the system did not report (it may report none) still count.
    if (nLength > data.nLast) ReportBytes(task, nLength - data.nLast);
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, (LPCWSTR)strDst, nullptr);
    return TASK_OK;
}

// A file or folder the system would not remove: its message (in use unless
// the error names another cause), then TASK_ERROR.
int DeleteRefused(CFileTask& task, const CString& strPath, DWORD dwError) {
    task.m_bWriteProtected = IsWriteProtected(strPath, dwError);
    ShowTaskError(TaskString(1002) + strPath + CauseText(dwError, strPath, 129), TaskString(115));
    return TASK_ERROR;
}

}  // namespace

int CFileTask::DoCopyFile(CString strSrc, CString strDst) {
    return GuardHandler(TASK_COPY, strSrc, [&] { return CopyOneFile(*this, strSrc, strDst); });
}

int CFileTask::DoCopyDir(CString strSrc, CString strDst) {
    return GuardHandler(TASK_COPY, strSrc, [&] {
        return MirrorFolder(*this, TASK_COPY, strSrc, strDst, &CFileTask::DoCopyDir, &CFileTask::DoCopyFile);
    });
}

int CFileTask::DoDeleteFile(CString strSrc, CString strDst) {
    return GuardHandler(TASK_DELETE, strSrc, [&]() -> int {
        if (IsTaskCancelled(*this)) return TASK_CANCELLED;
        CFileFind finder;
        if (!finder.FindFile(strSrc)) return ShowFailure(TASK_DELETE, strSrc, GetLastError(), CString());
        finder.FindNextFile();
        ULONGLONG nLength = finder.GetLength();
        finder.Close();

        try {
            CFileStatus status;
            if (CFile::GetStatus(strSrc, status)) {
                status.m_attribute &= (BYTE)~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
                CFile::SetStatus(strSrc, status);
            }
            CFile::Remove(strSrc);
        } catch (CFileException* e) {
            // A drive that takes no writes refuses every other file alike:
            // the walk stops at this one message.
            DWORD dwError = (DWORD)e->m_lOsError;
            CString strFile = e->m_strFileName;
            e->Delete();
            return DeleteRefused(*this, strFile, dwError);
        }

        TaskPause(100);
        ReportBytes(*this, nLength);
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, (LPCWSTR)strSrc, nullptr);
        return TASK_OK;
    });
}

int CFileTask::DoDeleteDir(CString strSrc, CString strDst) {
    return GuardHandler(TASK_DELETE, strSrc, [&]() -> int {
        // A link goes itself; what it points to is not in the folder that
        // is deleted, and is never listed or touched.
        CString strExact = AfxExactPathForm(strSrc);
        if (IsFolderLink(GetFileAttributesW(strExact))) {
            if (!RemoveLink(strSrc)) {
                ShowTaskError(TaskString(1002) + strSrc + TaskString(129), TaskString(115));
                return TASK_ERROR;
            }
            SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, (LPCWSTR)strSrc, nullptr);
            return TASK_OK;
        }
        std::vector<FolderEntry> entries;
        if (ListFolder(strSrc, entries) || GetFileAttributesW(strExact) != INVALID_FILE_ATTRIBUTES) {
            // A child that failed has shown its message; the others still go.
            for (const FolderEntry& entry : entries) {
                if (IsTaskCancelled(*this)) return TASK_CANCELLED;
                CString strChild = strSrc + L"\\" + entry.strName;
                int nResult = entry.bFolder ? DoDeleteDir(strChild, CString()) : DoDeleteFile(strChild, CString());
                if (nResult == TASK_CANCELLED) return TASK_CANCELLED;
                // The child's message said it: each other entry would fail alike.
                if (m_bWriteProtected) return TASK_ERROR;
            }
            if (_wchmod(strExact, _S_IWRITE) == -1) {
                if (IsWriteProtected(strSrc, GetLastError())) return DeleteRefused(*this, strSrc, ERROR_WRITE_PROTECT);
                ShowTaskError(TaskString(126) + strSrc, TaskString(127));
                return TASK_ERROR;
            }
            // A folder whose removal only became pending (something still
            // holds it open) is still there: that is no success either.
            if (!RemoveDirectoryW(strExact)) return DeleteRefused(*this, strSrc, GetLastError());
            if (GetFileAttributesW(strExact) != INVALID_FILE_ATTRIBUTES) {
                ShowTaskError(TaskString(1002) + strSrc + TaskString(129), TaskString(115));
                return TASK_ERROR;
            }
        }
        SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, (LPCWSTR)strSrc, nullptr);
        return TASK_OK;
    });
}
