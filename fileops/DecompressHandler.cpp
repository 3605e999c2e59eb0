// The decompress handlers of CFileTask: an archive whose password check
// field is one of the drive's passwords is restored into a file named like
// the archive without its kvf extension; other files are copied.
#include "archive/UnzipFile.h"
#include "archive/ZipException.h"
#include "drive/DriveState.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskMessage.h"
#include "framework/Win.h"
#include "password/KivPwd.h"
#include "password/PwdDlg.h"
#include <memory>
#include <shlobj.h>

namespace {

// The attribute bits of an entry that a restored file can carry.
const BYTE RESTORABLE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE;

enum PasswordVerdict {
    PWD_MATCHES,
    PWD_FILE_DAMAGED,
    PWD_FILE_IN_USE,
    PWD_FILE_MISSING,
    PWD_PATH_BLOCKED,
    PWD_INVALID
};

// Every password ever set on the drive is tried, so archives written before
// a change of password are still read. strPwdFile names the file read.
// Nothing is created on the drive: one without the password file is not
// the program's (missing, not damaged).
PasswordVerdict CheckPassword(const CString& strCheck, CString& strPwdFile) {
    CPwdDlg dlg;
    if (!dlg.PreparePasswordPath(FALSE)) return PWD_FILE_MISSING;
    strPwdFile = dlg.m_strPwdPath;
    CKivPwd store;
    if (!store.LoadPwdFile(dlg.m_strPwdPath)) {
        // A file where the password folder belongs makes the path look
        // missing too: what stands there is said first.
        if (!PwdPathBlockedText(dlg.m_strPwdPath).IsEmpty()) return PWD_PATH_BLOCKED;
        // Held by another program past the store's wait: in use, not damaged.
        if (store.GetOpenError() == ERROR_SHARING_VIOLATION) return PWD_FILE_IN_USE;
        return IsPwdFileMissing(store.GetOpenError()) ? PWD_FILE_MISSING : PWD_FILE_DAMAGED;
    }
    return store.HasPwd(strCheck) ? PWD_MATCHES : PWD_INVALID;
}

int Refuse(UINT nText) {
    ShowTaskError(TaskString(nText), TaskString(118));
    return TASK_ERROR;
}

// An exception while the archive is read or the file written: a file error
// names its file and the cause the system gave (a full or removed disk when
// it names none), anything else means the archive is not what it claims.
int ReadFailure(CException* e, const CString& strSrc, const CString& strTemp, const CString& strTarget) {
    CString strText;
    if (e->IsKindOf(RUNTIME_CLASS(CFileException))) {
        CFileException* pFile = (CFileException*)e;
        CString strName = ShownName(pFile->m_strFileName, strTemp, strTarget);
        CString strWritten = IsSamePath(strName, strSrc) ? CString() : strName;
        strText = TaskString(1004) + strName + CauseText((DWORD)pFile->m_lOsError, strWritten);
    } else {
        strText = TaskString(135);
    }
    e->Delete();
    ShowTaskError(strText, TaskString(118));
    return TASK_ERROR;
}

// The archive could not be opened or read as one: a file error is the
// system's word about the file (in use, refused, gone), and only content
// that is no archive is an unknown format.
int OpenFailure(CException* e, const CString& strSrc) {
    if (!e->IsKindOf(RUNTIME_CLASS(CFileException))) {
        e->Delete();
        return Refuse(135);
    }
    DWORD dwError = (DWORD)((CFileException*)e)->m_lOsError;
    e->Delete();
    return ShowFailure(TASK_DECOMPRESS, strSrc, dwError, CString());
}

int DecompressOneFile(CFileTask& task, const CString& strSrc, CString strDst) {
    if (task.m_pfnProgress) {
        SetProgressNames(strSrc, strDst);
        ReportNames(task, strSrc, strDst);
    }
    strDst = DecompressedPath(strDst);
    // Refused before anything is asked or written.
    if (IsPathTooLong(strDst)) return RefuseLongPath(TASK_DECOMPRESS, strDst);

    // A folder of the target's name is no file to replace: it is said, not
    // asked about (and then failed on as if it were in use).
    BOOL bReadOnly = FALSE, bFolder = FALSE;
    BOOL bExists = FindExisting(strDst, bReadOnly, &bFolder);
    if (bExists && bFolder) return RefuseFolderInTheWay(TASK_DECOMPRESS, strDst);
    if (bExists && MustAskReplace(task.m_dwFlags, bReadOnly)) {
        CFileCheckInfo info;
        BOOL bHaveExisting = GetFileCheckInfo(strDst, info);
        CFileCheckInfo existing = info;
        try {
            // Not held open while the question waits.
            CUnzipFile unzip(strSrc);
            UnzipEntryInfo entry;
            unzip.GetEntryInfo(&entry);
            unzip.Close();
            info.m_strName = GetFileNamePart(strDst);
            info.m_nSize = entry.m_dwUncompressedSize;
            info.m_bAttribute = (BYTE)entry.m_dwExternalAttr;
            info.m_mtime = entry.m_time.GetTime();
        } catch (CException* e) {
            return OpenFailure(e, strSrc);
        }
        int nAnswer = AskReplaceFile(task, bReadOnly, bHaveExisting ? &existing : nullptr, &info);
        if (int nResult = ConfirmationResult(task, nAnswer, strSrc, FALSE)) return nResult;
    }

    // The archive and its password are examined before anything is
    // written, and the file is restored beside its target: the target is
    // replaced only by a whole entry whose CRC matched. Declared first:
    // removed after the files below are closed.
    CTempFileGuard temp(MakeTempSibling(strDst));
    CUnzipFile unzip;
    UnzipEntryInfo entry;
    DWORD nRemaining = 0;
    try {
        unzip.Open(strSrc);
        unzip.GetEntryInfo(&entry);
        nRemaining = entry.m_dwUncompressedSize;
        unzip.OpenEntry();
    } catch (CException* e) {
        return OpenFailure(e, strSrc);
    }

    try {
        CString strPwdFile;
        switch (CheckPassword(CheckFieldPassword(unzip.m_passwordField), strPwdFile)) {
        case PWD_FILE_DAMAGED: return Refuse(136);
        case PWD_FILE_IN_USE:
            ShowTaskError(PwdFileInUseText(strPwdFile), TaskString(118));
            return TASK_ERROR;
        case PWD_FILE_MISSING:
            ShowTaskError(PwdDriveMissingText(strPwdFile), TaskString(118));
            return TASK_ERROR;
        case PWD_PATH_BLOCKED:
            ShowTaskError(PwdPathBlockedText(strPwdFile), TaskString(118));
            return TASK_ERROR;
        case PWD_INVALID: return Refuse(179);
        default: break;
        }
    } catch (CException* e) {
        return ReadFailure(e, strSrc, temp.Path(), strDst);
    }

    CFile target;
    CFileException createError;
    if (!target.Open(temp.Path(), CFile::modeCreate | CFile::modeWrite, &createError))
        return ShowFailure(TASK_DECOMPRESS, strDst, (DWORD)createError.m_lOsError, strDst);

    // The entry's time goes on through the open handle, before its last
    // flush, so nothing of the file changes after that flush unless
    // attributes have to be set (or this fails: the slower way below).
    BOOL bTimeSet = FALSE, bFlushed = FALSE;
    DWORD nLast = 0;
    try {
        std::unique_ptr<BYTE[]> buffer(new BYTE[TASK_CHUNK_SIZE]);
        while (nRemaining != 0) {
            UINT nPiece = nRemaining > TASK_CHUNK_SIZE ? TASK_CHUNK_SIZE : nRemaining;
            UINT nRead = unzip.ReadEntryData(nPiece, buffer.get());
            // An archive whose data ends before its recorded size would
            // never finish the loop.
            if (nRead == 0 || nRead > nRemaining) ThrowZipException(strSrc, ARC_BAD_ARCHIVE, false);
            target.Write(buffer.get(), nRead);
            nRemaining -= nRead;
            if (IsTaskCancelled(task)) {
                target.Abort();
                unzip.m_state.m_file.Abort();
                return RemoveTemp(temp.Path()) ? TASK_CANCELLED : TASK_ERROR;
            }
            if (nRemaining == 0) {
                FILETIME ft;
                entry.m_time.GetAsFileTime(ft);
                bTimeSet = entry.m_time.GetTime() && SetFileTime(target.m_hFile, nullptr, nullptr, &ft);
            }
            bFlushed = TaskPauseFlushing(100, nRemaining == 0 ? target.m_hFile : nullptr) && bTimeSet;
            DWORD nOffset = unzip.GetReadOffset();
            ReportBytes(task, (ULONGLONG)(DWORD)(nOffset - nLast));
            nLast = nOffset;
        }
        // The CRC of the whole entry is checked here.
        unzip.CloseEntry();
        buffer.reset();
        target.Close();
    } catch (CException* e) {
        target.Abort();
        unzip.m_state.m_file.Abort();
        return ReadFailure(e, strSrc, temp.Path(), strDst);
    }

    // The entry's time and attributes go on the restored file before it
    // takes the target's place; the time is written first, so a read-only
    // entry still gets it.
    try {
        BYTE bAttributes = (BYTE)entry.m_dwExternalAttr & RESTORABLE_ATTRIBUTES;
        DWORD dwNow = bTimeSet ? GetFileAttributesW(temp.Path()) : INVALID_FILE_ATTRIBUTES;
        if (dwNow == INVALID_FILE_ATTRIBUTES || (dwNow & 0xFF) != bAttributes) {
            bFlushed = FALSE;
            CFileStatus status;
            if (!CFile::GetStatus(temp.Path(), status))
                AfxThrowFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, temp.Path());
            status.m_mtime = entry.m_time;
            status.m_attribute = bAttributes;
            CFile::SetStatus(temp.Path(), status);
        }
    } catch (CFileException* e) {
        CString strName = ShownName(e->m_strFileName, temp.Path(), strDst);
        CString strText = TaskString(1004) + strName + CauseText((DWORD)e->m_lOsError, strName, 129);
        e->Delete();
        unzip.m_state.m_file.Abort();
        ShowTaskError(strText, TaskString(118));
        return TASK_ERROR;
    }

    DWORD nLength = unzip.m_state.m_file.IsOpen() ? (DWORD)unzip.m_state.m_file.GetLength() : 0;
    DWORD nDelta = nLength - nLast;
    unzip.Close();
    TaskPause(100);
    if (nDelta != 0) ReportBytes(task, nDelta);

    if (!PutInPlace(temp.Path(), strDst, TASK_DECOMPRESS, TaskString(118), bFlushed)) return TASK_ERROR;
    temp.Keep();
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, (LPCWSTR)strDst, nullptr);
    return TASK_OK;
}

}  // namespace

int CFileTask::DoDecompressDir(CString strSrc, CString strDst) {
    return GuardHandler(TASK_DECOMPRESS, strSrc, [&] {
        return MirrorFolder(*this, TASK_DECOMPRESS, strSrc, strDst, &CFileTask::DoDecompressDir, &CFileTask::DoDecompressFile);
    });
}

int CFileTask::DoDecompressFile(CString strSrc, CString strDst) {
    if (!IsKvfFile(strSrc)) return DoCopyFile(strSrc, strDst);
    return GuardHandler(TASK_DECOMPRESS, strSrc, [&] { return DecompressOneFile(*this, strSrc, strDst); });
}
