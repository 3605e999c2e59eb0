// The compress handlers of CFileTask: every file becomes a one-entry KVF
// archive of its own, carrying the drive's current password.
#include "archive/ZipException.h"
#include "archive/ZipFile.h"
#include "drive/DriveState.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskMessage.h"
#include "framework/Win.h"
#include "password/KivPwd.h"
#include "password/PwdDlg.h"
#include <cstring>
#include <memory>
#include <shlobj.h>

namespace {

// An entry's sizes are 32-bit fields: a source this long cannot be stored.
const ULONGLONG MAX_SOURCE_LENGTH = 0xFFFFFFFFull;

// Shown after string 1003 + the name when the source is too long for an
// archive.
const UINT IDS_TOO_LARGE = 190;

// The password check field: the password's UTF-16 units as single bytes in
// the run-time's C locale, where units 0 to 255 are themselves and a larger
// one ends the text; zeros after it. Only the first 17 bytes are kept.
// Stored archives are read with this layout, so it stays as it is. FALSE
// when the field does not read back as the password (longer than the field,
// a unit the field cannot hold or the code page reads otherwise): a
// password file edited or damaged outside the dialog can hold such a
// password, and its archive could never be decompressed.
BOOL BuildPasswordField(const CString& strPwd, BYTE (&field)[17]) {
    BYTE buffer[260];
    memset(buffer, 0, sizeof buffer);
    int nLimit = strPwd.GetLength() + 1;
    if (nLimit > (int)sizeof buffer) nLimit = (int)sizeof buffer;
    for (int i = 0; i < nLimit && i < strPwd.GetLength(); ++i) {
        WCHAR ch = strPwd[i];
        if (ch > 255) break;
        buffer[i] = (BYTE)ch;
    }
    memcpy(field, buffer, sizeof field);
    return CheckFieldPassword(field) == strPwd;
}

// The current password of the drive, cached in the task at its first file.
// FALSE when the password file cannot be found or read, or holds no
// password: nothing could check the archive later. strFailure then says why
// when it is not a damaged file: the file is held by another program past
// the store's wait, it is not there at all (the drive is not the program's),
// or a folder stands in its place or a file in its folder's. Nothing is
// created on the drive.
BOOL TakePassword(CFileTask& task, CString& strPwd, CString& strFailure) {
    CPwdDlg dlg;
    if (!dlg.PreparePasswordPath(FALSE)) {
        strFailure = PwdDriveMissingText(CString());
        return FALSE;
    }
    CKivPwd store;
    if (task.m_strPassword.IsEmpty()) {
        if (!store.LoadPwdFile(dlg.m_strPwdPath)) {
            // A file where the password folder belongs makes the path look
            // missing too: what stands there is said first.
            strFailure = PwdPathBlockedText(dlg.m_strPwdPath);
            if (!strFailure.IsEmpty()) return FALSE;
            if (store.GetOpenError() == ERROR_SHARING_VIOLATION) strFailure = PwdFileInUseText(dlg.m_strPwdPath);
            else if (IsPwdFileMissing(store.GetOpenError())) strFailure = PwdDriveMissingText(dlg.m_strPwdPath);
            return FALSE;
        }
        task.m_strPassword = store.GetCurrentPwd();
        if (task.m_strPassword.IsEmpty()) return FALSE;
    }
    store.AddPwd(dlg.m_strPwdPath, task.m_strPassword);
    strPwd = store.GetCurrentPwd();
    return !strPwd.IsEmpty();
}

int RefuseTooLarge(const CString& strSrc) {
    ShowTaskError(TaskString(1003) + strSrc + TaskString(IDS_TOO_LARGE), TaskString(117));
    return TASK_ERROR;
}

// The file an exception is about, as the user knows it: the one a file
// error names (the archive's target for its temporary file), else the
// archive; and the system's error it carries (0 for another exception).
// The exception is deleted.
struct Failed {
    CString strName;
    DWORD dwError;
};
Failed FailedName(CException* e, const CString& strTemp, const CString& strTarget) {
    Failed failed = {strTarget, 0};
    if (e->IsKindOf(RUNTIME_CLASS(CFileException))) {
        CFileException* pFile = (CFileException*)e;
        failed.strName = ShownName(pFile->m_strFileName, strTemp, strTarget);
        failed.dwError = (DWORD)pFile->m_lOsError;
    }
    e->Delete();
    return failed;
}

// The message of a failure while the source is read or the archive written,
// then TASK_ERROR: a disk full or removed unless the system's error names
// another cause.
int WriteFailure(const Failed& failed, const CString& strSrc) {
    CString strWritten = IsSamePath(failed.strName, strSrc) ? CString() : failed.strName;
    ShowTaskError(TaskString(1003) + failed.strName + CauseText(failed.dwError, strWritten), TaskString(117));
    return TASK_ERROR;
}

int CompressOneFile(CFileTask& task, const CString& strSrc, CString strDst) {
    if (task.m_pfnProgress) {
        SetProgressNames(strSrc, strDst);
        ReportNames(task, strSrc, strDst);
    }
    strDst = AppendExtension(strDst, L"kvf");

    // Refused before anything is asked or written.
    if (IsPathTooLong(strDst)) return RefuseLongPath(TASK_COMPRESS, strDst);
    if (FoundLength(strSrc) > MAX_SOURCE_LENGTH) return RefuseTooLarge(strSrc);

    // A folder of the target's name is no file to replace: it is said, not
    // asked about (and then failed on as if it were in use).
    BOOL bReadOnly = FALSE, bFolder = FALSE;
    BOOL bExists = FindExisting(strDst, bReadOnly, &bFolder);
    if (bExists && bFolder) return RefuseFolderInTheWay(TASK_COMPRESS, strDst);
    if (bExists && MustAskReplace(task.m_dwFlags, bReadOnly)) {
        // The incoming side shows the existing archive's name and size with
        // the current time.
        CFileCheckInfo info;
        BOOL bHaveInfo = GetFileCheckInfo(strDst, info);
        CFileCheckInfo incoming = info;
        incoming.m_bAttribute &= 0xF8;
        incoming.m_mtime = CTime::GetCurrentTime().GetTime();
        int nAnswer = AskReplaceFile(task, bReadOnly, bHaveInfo ? &info : nullptr, bHaveInfo ? &incoming : nullptr);
        if (int nResult = ConfirmationResult(task, nAnswer, strSrc, FALSE)) return nResult;
    }

    // The archive is written beside its target and takes the target's place
    // only once it is complete, so a failure never leaves a partial archive
    // and never costs an existing one. Declared first: closed last.
    CTempFileGuard temp(MakeTempSibling(strDst));
    CFile source;
    CFileException openError;
    if (!source.Open(strSrc, CFile::modeRead | CFile::shareDenyWrite, &openError))
        return ShowFailure(TASK_COMPRESS, strSrc, (DWORD)openError.m_lOsError, CString());
    ULONGLONG nRemaining = source.GetLength();
    if (nRemaining > MAX_SOURCE_LENGTH) {
        source.Close();
        return RefuseTooLarge(strSrc);
    }

    CZipFile zip;
    try {
        CString strPwd, strFailure;
        if (!TakePassword(task, strPwd, strFailure) || !BuildPasswordField(strPwd, zip.m_passwordField)) {
            source.Close();
            zip.Close();
            // A held or missing password file is not a damaged one.
            ShowTaskError(strFailure.IsEmpty() ? TaskString(136) : strFailure, TaskString(117));
            return TASK_ERROR;
        }
        zip.Open(temp.Path());
        EntryFileInfo info;
        info.SetFromFile(source);
        zip.BeginEntry(L"", info, 9, 8);
    } catch (CException* e) {
        Failed failed = FailedName(e, temp.Path(), strDst);
        source.Abort();
        zip.m_state.m_file.Abort();
        return WriteFailure(failed, strSrc);
    }

    std::unique_ptr<BYTE[]> buffer(new BYTE[TASK_CHUNK_SIZE]);
    while (nRemaining != 0) {
        UINT nPiece = nRemaining > TASK_CHUNK_SIZE ? TASK_CHUNK_SIZE : (UINT)nRemaining;
        UINT nRead = 0;
        try {
            nRead = source.Read(buffer.get(), nPiece);
            // A source that ends before its measured length would never
            // finish the loop.
            if (nRead == 0) AfxThrowFileException(CFileException::endOfFile, ERROR_HANDLE_EOF, strSrc);
            zip.WriteEntryData(nRead, buffer.get());
            nRemaining -= nRead;
        } catch (CException* e) {
            Failed failed = FailedName(e, temp.Path(), strDst);
            buffer.reset();
            source.Abort();
            zip.m_state.m_file.Abort();
            WriteFailure(failed, strSrc);
            RemoveTemp(temp.Path());
            return TASK_ERROR;
        }
        if (IsTaskCancelled(task)) {
            buffer.reset();
            source.Abort();
            zip.m_state.m_file.Abort();
            return RemoveTemp(temp.Path()) ? TASK_CANCELLED : TASK_ERROR;
        }
        TaskPauseFlushing(100, nRemaining == 0 ? zip.m_state.m_file.m_hFile : nullptr);
        ReportBytes(task, nRead);
    }

    buffer.reset();
    source.Close();
    try {
        zip.Close();
    } catch (CException* e) {
        // The archive was not completed (Close aborted it): no success.
        WriteFailure(FailedName(e, temp.Path(), strDst), strSrc);
        RemoveTemp(temp.Path());
        return TASK_ERROR;
    }
    if (!PutInPlace(temp.Path(), strDst, TASK_COMPRESS, TaskString(117))) return TASK_ERROR;
    temp.Keep();
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, (LPCWSTR)strDst, nullptr);
    return TASK_OK;
}

}  // namespace

int CFileTask::DoCompressDir(CString strSrc, CString strDst) {
    return GuardHandler(TASK_COMPRESS, strSrc, [&] {
        return MirrorFolder(*this, TASK_COMPRESS, strSrc, strDst, &CFileTask::DoCompressDir, &CFileTask::DoCompressFile);
    });
}

int CFileTask::DoCompressFile(CString strSrc, CString strDst) {
    if (IsKvfFile(strSrc)) return DoCopyFile(strSrc, strDst);
    return GuardHandler(TASK_COMPRESS, strSrc, [&] { return CompressOneFile(*this, strSrc, strDst); });
}
