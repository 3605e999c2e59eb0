// What the copy, delete, compress and decompress handlers share: progress
// reports, the pauses, folder listings, the replace question, and writing a
// replacement beside its target before the target is touched.
#pragma once
#include "fileops/FileTask.h"
#include "fileops/CheckDlgs.h"
#include <new>
#include <vector>

// The user data of CopyProgressRoutine, on DoCopyFile's stack for one copy.
struct CopyProgressData {
    TaskProgressProc pfnProgress;  // the task's callback; may be null
    void* pContext;                // the batch, whose m_bCancel is read
    ULONGLONG nLast;               // bytes of this file reported so far
};

// CopyFileExW's progress routine: at every finished chunk, PROGRESS_CANCEL
// once the batch was cancelled, else a 100 ms pause and, for the data
// stream, the increment since the last chunk reported as TPC_BYTES. Other
// reasons: PROGRESS_CONTINUE.
DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                                   LARGE_INTEGER StreamSize, LARGE_INTEGER StreamBytesTransferred,
                                   DWORD dwStreamNumber, DWORD dwCallbackReason, HANDLE hSourceFile,
                                   HANDLE hDestinationFile, LPVOID lpData);

// The handlers' pauses (per piece, per deleted file, per copied chunk):
// they keep the interface and the drive responsive. Each one is counted
// with the time it really took, so a measurement can leave them out.
void TaskPause(DWORD dwMilliseconds);
void GetTaskPauseTotals(ULONGLONG& nPauses, double& dSeconds);
void ResetTaskPauseTotals();
// The pause after a file's last piece: what the open hFile holds so far is
// written out to the drive on another thread while the handler sleeps, and
// the pause ends only once that is done, so the flush before the move into
// place (PutInPlace) finds little or nothing left to write. TRUE when that
// flush was made and succeeded; a null or invalid handle makes it a plain
// TaskPause (FALSE).
BOOL TaskPauseFlushing(DWORD dwMilliseconds, HANDLE hFile);

// Progress reports through the task's callback; nothing when it has none.
void ReportBytes(CFileTask& task, ULONGLONG nBytes);
void ReportNames(CFileTask& task, const CString& strSrc, const CString& strDst);
void ReportCancelled(CFileTask& task);
// The batch's cancel flag (the task's context); FALSE without a batch.
BOOL IsTaskCancelled(const CFileTask& task);

// One entry of a folder, "." and ".." left out.
struct FolderEntry {
    CString strName;
    BOOL bFolder;
};
// The whole listing of strFolder + "\*.*", taken before the caller changes
// anything in the folder, so what a pass creates there is not met again.
// FALSE, with the system's error, when the folder cannot be listed (or
// not to its end): an unread folder is never taken for an empty one.
BOOL ListFolder(const CString& strFolder, std::vector<FolderEntry>& entries);
// A listing that fails on purpose, for the tests: while a probe is set,
// ListFolder asks it first, and a FALSE from it fails that listing with the
// error the probe set. Null unless a test sets one.
typedef BOOL (*ListFolderProbe)(const CString& strFolder);
void SetListFolderProbe(ListFolderProbe pfnProbe);

// The folder walk of copy, compress and decompress (op names the
// operation for the messages): a source folder that is a link is skipped
// with a message naming it (the task then counts as skipped, see
// CFileTask::m_bLinkSkipped), and nothing of what it points to is read; an
// existing target folder is merged into after the folder confirmation
// (when the flags ask for it), a missing one is created; then every entry
// of a listing taken before anything is written goes to pfnDir or pfnFile
// with the mirrored target path, and the first result that is not TASK_OK
// ends the walk. A source folder that cannot be listed or a target folder
// that cannot be created fails the walk with a message (caption 114 for
// the creation, the operation's caption for the listing). A target folder
// path where a file stands is refused (RefuseFileInTheWay). Two entries of
// one folder that would be written to one name (compared without letter
// case: a.kvf and a restored, a.txt and a.txt.kvf compressed) fail the walk
// before anything of that folder is written, with a message naming both
// and their target, so no output of the task replaces another. Each file
// and folder done goes into the task's record (CFileTask::m_finished).
typedef int (CFileTask::*TaskHandler)(CString, CString);
int MirrorFolder(CFileTask& task, DWORD op, const CString& strSrc, const CString& strDst, TaskHandler pfnDir,
                 TaskHandler pfnFile);

// The full path as the user knows it (AfxFullPathForm: every name kept as
// it is, so tdfile. and tdfile stay two files); the path itself when it
// cannot be made.
CString FullPath(const CString& strPath);
// Both paths name the same file: full paths compared without letter case.
BOOL IsSamePath(const CString& strA, const CString& strB);
// The length of the file found at the path; 0 when there is none.
ULONGLONG FoundLength(const CString& strPath);

// Looks the path up: FALSE when nothing is there; else bReadOnly tells
// whether it carries the read-only attribute, and *pbFolder (when asked
// for) whether it is a folder.
BOOL FindExisting(const CString& strPath, BOOL& bReadOnly, BOOL* pbFolder = nullptr);
// What stands where a file is to be written is a folder, or where a folder
// is to be made a file: neither is ever replaced, nor asked about as if it
// could be. String 1000 + op + the path + string 195 (a folder in the way)
// or 196 (a file in the way) under the operation's caption, then
// TASK_ERROR; nothing is written.
int RefuseFolderInTheWay(DWORD op, const CString& strPath);
int RefuseFileInTheWay(DWORD op, const CString& strPath);
// Whether an existing target is to be asked about under the task's flags.
BOOL MustAskReplace(DWORD dwFlags, BOOL bReadOnly);
// The file confirmation's answer applied to the task: Yes to All clears
// TF_ASK_FILE (and TF_ASK_READONLY for a read-only target). A window that
// could not be shown counts as Cancel: nothing is replaced unasked.
int AskReplaceFile(CFileTask& task, BOOL bReadOnly, const CFileCheckInfo* pExisting,
                   const CFileCheckInfo* pIncoming);
// What a confirmation's answer means for the task: No reports the skipped
// source's bytes (the file's length, or the folder tree's total, so the bar
// still reaches its end) and gives TASK_SKIPPED, Cancel reports
// TPC_CANCELLED and gives TASK_CANCELLED; Yes and Yes to All give TASK_OK,
// to go on.
int ConfirmationResult(CFileTask& task, int nAnswer, const CString& strSrc, BOOL bFolder);
// The folder confirmation; Yes to All clears TF_ASK_FOLDER.
int AskMergeFolder(CFileTask& task, const CString& strFolder);

// The longest full path of a target (MAX_PATH less the terminator): the
// most that Windows and the programs the user opens the file with take
// without long-path support.
const int MAX_TARGET_PATH = MAX_PATH - 1;
// The full path of the target is longer than MAX_TARGET_PATH.
BOOL IsPathTooLong(const CString& strPath);
// The refusal of such a target: string 1000 + op + the path + string 192
// under the operation's caption, then TASK_ERROR.
int RefuseLongPath(DWORD op, const CString& strPath);

// An unused name in the target's folder, in the exact form
// (AfxExactPathForm). A replacement is written there and
// put in the target's place only once it is complete, so a failure or a
// cancel leaves an existing target as it was.
CString MakeTempSibling(const CString& strTarget);
// Removes a temporary file; FALSE when it is still there.
BOOL RemoveTemp(const CString& strTemp);
// A finished temporary file is on the drive before it takes its target's
// place: the list deletes a compressed or decompressed source as soon as
// its task returns, and a drive's write cache would otherwise still hold
// what was written from it. FlushToDrive writes the file's data out of the
// cache (FlushFileBuffers; a read-only file keeps that attribute);
// MoveIntoPlace moves it with MOVEFILE_WRITE_THROUGH added to dwFlags, so
// the move is on the drive when it returns. FALSE, with the system's error,
// when the step failed.
BOOL FlushToDrive(const CString& strPath);
BOOL MoveIntoPlace(const CString& strTemp, const CString& strTarget, DWORD dwFlags);
// Watches those two steps, for the tests: while a probe is set it is told
// of each flush that succeeded ("flushed", the file, 0) and of each move
// just before it is made ("move", the temporary file, the flags). A FALSE
// from it fails that step with the error the probe set. Null unless a test
// sets one.
typedef BOOL (*DriveWriteProbe)(LPCWSTR pszStep, const CString& strPath, DWORD dwFlags);
void SetDriveWriteProbe(DriveWriteProbe pfnProbe);
// Puts a finished temporary file in the target's place: it is flushed to
// the drive first (bFlushed: the caller's own flush of its write handle,
// made after the file's last change, succeeded, so the file is not opened
// again for another; the probe is still told of it); an existing target
// then loses its read-only, hidden and system attributes
// (ResetFileAttributes, op only picks its message), then is replaced. On a
// failure the message is shown (for the flush and the move: string 1000 +
// op + the target + the cause, FailureText, under strCaption), the target
// keeps its attributes,
// the temporary file is removed, and the result is FALSE.
BOOL PutInPlace(const CString& strTemp, const CString& strTarget, DWORD op, const CString& strCaption,
                BOOL bFlushed = FALSE);
// The name to show for a file named in an exception: the target for its
// temporary file, the target as well when the exception names none.
CString ShownName(const CString& strName, const CString& strTemp, const CString& strTarget);

// The password an archive's check field stands for when it is decompressed:
// its first 16 bytes up to the first zero, in the thread's ANSI code page.
// The compress handler writes the password's bytes, so for the passwords
// the dialog makes this is the password itself.
CString CheckFieldPassword(const BYTE (&field)[17]);

// What follows a file's name in a failure's message, by the system's error:
// string 186 when the write to strWritten failed for a write-protected
// drive (strWritten empty: a read, never so), 187 when the file or folder
// is not there, 129 when it is in use or not accessible, else nOther.
CString CauseText(DWORD dwError, const CString& strWritten, UINT nOther = 125);
// String 1000 + op + name + CauseText(dwError, strWritten); a write-protected
// drive names the file that could not be written (strWritten) instead.
CString FailureText(DWORD op, const CString& strName, DWORD dwError, const CString& strWritten);
// The same for a failure on the named file itself.
CString FailureText(DWORD op, const CString& strName, DWORD dwError);
// A failure with that text under the operation's caption, then TASK_ERROR.
int ShowFailure(DWORD op, const CString& strName, DWORD dwError, const CString& strWritten);
// The caption of a failed copy: string 116 when the table holds it, else
// 121, which already titles the copy handler's other failures.
CString CopyCaption();

// The caption of an operation's error box: 116 (or 121) copy, 115 delete,
// 117 compress, 118 decompress.
CString TaskCaption(DWORD op);

// A temporary file that is removed when the scope is left, unless Keep was
// called (after it was put in its target's place). Declared before the
// objects that hold the file open, so they close it first.
class CTempFileGuard {
public:
    explicit CTempFileGuard(const CString& strPath) : m_strPath(strPath), m_bKeep(FALSE) {}
    ~CTempFileGuard() { if (!m_bKeep) RemoveTemp(m_strPath); }
    const CString& Path() const { return m_strPath; }
    void Keep() { m_bKeep = TRUE; }

private:
    CString m_strPath;
    BOOL m_bKeep;
};

// The last resort of every handler: an exception that its own steps did not
// handle ends the task with string 1000 + op + the name + string 125 under
// the operation's caption, and TASK_ERROR; nothing leaves a handler.
int HandlerFailure(DWORD op, const CString& strName);
template <class Body>
int GuardHandler(DWORD op, const CString& strName, Body body) {
    try {
        return body();
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    return HandlerFailure(op, strName);
}
