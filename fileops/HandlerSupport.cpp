#include "fileops/HandlerSupport.h"
#include "drive/DriveState.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include "framework/Win.h"
#include <algorithm>
#include <atomic>
#include <cstring>
#include <shlobj.h>

namespace {

// Shown after string 1000 + op + the path of a link that a walk left out.
const UINT IDS_LINK_SKIPPED = 191;
// Shown after string 1000 + op + the path of a target that is too long.
const UINT IDS_PATH_TOO_LONG = 192;
// Shown after string 1000 + op + the path of one of two entries that one
// folder walk would write to one name; it holds the other one's path and
// the target's, in that order.
const UINT IDS_SAME_TARGET = 194;
// Shown after string 1000 + op + the path of a folder standing where a
// file is to be written.
const UINT IDS_FOLDER_IN_THE_WAY = 195;
// Shown after string 1000 + op + the path of a file standing where a
// folder is to be made.
const UINT IDS_FILE_IN_THE_WAY = 196;

// Shown after string 1000 + op + the path of a file that could not be
// written because its drive is write-protected.
const UINT IDS_WRITE_PROTECTED = 186;
// Shown after string 1000 + op + the path of a file or folder that is not
// there (anymore).
const UINT IDS_NOT_FOUND = 187;

std::atomic<ListFolderProbe> g_pfnListFolderProbe{nullptr};

std::atomic<ULONGLONG> g_nPauses{0};
std::atomic<LONGLONG> g_nPauseTicks{0};

LONGLONG Ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

}  // namespace

DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                                   LARGE_INTEGER StreamSize, LARGE_INTEGER StreamBytesTransferred,
                                   DWORD dwStreamNumber, DWORD dwCallbackReason, HANDLE hSourceFile,
                                   HANDLE hDestinationFile, LPVOID lpData) {
    if (dwCallbackReason != CALLBACK_CHUNK_FINISHED) return PROGRESS_CONTINUE;
    CopyProgressData* pData = (CopyProgressData*)lpData;
    if (!pData) return PROGRESS_CONTINUE;
    CFileTaskThread* pBatch = (CFileTaskThread*)pData->pContext;
    if (pBatch && pBatch->m_bCancel) return PROGRESS_CANCEL;
    TaskPause(100);
    // Stream 1 is the file's data, the length the task measured; the
    // system's running total also counts named streams copied after it,
    // which would carry the bar past its end.
    if (dwStreamNumber != 1) return PROGRESS_CONTINUE;
    ULONGLONG nTotal = (ULONGLONG)StreamBytesTransferred.QuadPart;
    ULONGLONG nIncrement = nTotal - pData->nLast;
    pData->nLast = nTotal;
    if (pData->pfnProgress) pData->pfnProgress(TPC_BYTES, &nIncrement, pData->pContext);
    return PROGRESS_CONTINUE;
}

void TaskPause(DWORD dwMilliseconds) {
    LONGLONG t0 = Ticks();
    Sleep(dwMilliseconds);
    g_nPauseTicks += Ticks() - t0;
    ++g_nPauses;
}

namespace {
struct EarlyFlush {
    HANDLE hFile;
    HANDLE hDone;
    BOOL bOk;
};
DWORD WINAPI EarlyFlushProc(LPVOID pParam) {
    EarlyFlush* pFlush = (EarlyFlush*)pParam;
    pFlush->bOk = FlushFileBuffers(pFlush->hFile);
    SetEvent(pFlush->hDone);
    return 0;
}
}  // namespace

BOOL TaskPauseFlushing(DWORD dwMilliseconds, HANDLE hFile) {
    // The data has to reach the drive before the move anyway: written now,
    // it costs the pause instead of the task.
    EarlyFlush flush = {hFile, nullptr, FALSE};
    if (hFile && hFile != INVALID_HANDLE_VALUE) flush.hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (flush.hDone && !QueueUserWorkItem(EarlyFlushProc, &flush, WT_EXECUTEDEFAULT)) {
        CloseHandle(flush.hDone);
        flush.hDone = nullptr;
    }
    TaskPause(dwMilliseconds);
    if (!flush.hDone) return FALSE;
    WaitForSingleObject(flush.hDone, INFINITE);
    CloseHandle(flush.hDone);
    return flush.bOk;
}

void GetTaskPauseTotals(ULONGLONG& nPauses, double& dSeconds) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    nPauses = g_nPauses;
    dSeconds = (double)g_nPauseTicks / (double)f.QuadPart;
}

void ResetTaskPauseTotals() {
    g_nPauses = 0;
    g_nPauseTicks = 0;
}

void ReportBytes(CFileTask& task, ULONGLONG nBytes) {
    if (task.m_pfnProgress) task.m_pfnProgress(TPC_BYTES, &nBytes, task.m_pContext);
}

void ReportNames(CFileTask& task, const CString& strSrc, const CString& strDst) {
    if (!task.m_pfnProgress) return;
    const CString* names[2] = {&strSrc, &strDst};
    task.m_pfnProgress(TPC_NAMES, names, task.m_pContext);
}

void ReportCancelled(CFileTask& task) {
    if (task.m_pfnProgress) task.m_pfnProgress(TPC_CANCELLED, nullptr, task.m_pContext);
}

BOOL IsTaskCancelled(const CFileTask& task) {
    const CFileTaskThread* pBatch = (const CFileTaskThread*)task.m_pContext;
    return pBatch && pBatch->m_bCancel;
}

void SetListFolderProbe(ListFolderProbe pfnProbe) { g_pfnListFolderProbe = pfnProbe; }

BOOL ListFolder(const CString& strFolder, std::vector<FolderEntry>& entries) {
    entries.clear();
    if (g_pfnListFolderProbe && !g_pfnListFolderProbe(strFolder)) return FALSE;
    CFileFind finder;
    BOOL bMore = finder.FindFile(strFolder + L"\\*.*");
    if (!bMore) {
        // A drive root has no "." entry: an empty one matches nothing.
        return GetLastError() == ERROR_FILE_NOT_FOUND &&
               GetFileAttributesW(AfxExactPathForm(strFolder)) != INVALID_FILE_ATTRIBUTES;
    }
    DWORD dwEnd = ERROR_NO_MORE_FILES;
    while (bMore) {
        bMore = finder.FindNextFile();
        if (!bMore) dwEnd = GetLastError();
        if (finder.IsDots()) continue;
        entries.push_back(FolderEntry{finder.GetFileName(), finder.IsDirectory()});
    }
    finder.Close();
    if (dwEnd == ERROR_NO_MORE_FILES) return TRUE;
    entries.clear();
    SetLastError(dwEnd);
    return FALSE;
}

CString FullPath(const CString& strPath) { return AfxFullPathForm(strPath); }

BOOL IsSamePath(const CString& strA, const CString& strB) {
    return FullPath(strA).CompareNoCase(FullPath(strB)) == 0;
}

ULONGLONG FoundLength(const CString& strPath) {
    CFileFind finder;
    if (!finder.FindFile(strPath)) return 0;
    finder.FindNextFile();
    ULONGLONG n = finder.IsDirectory() ? 0 : finder.GetLength();
    finder.Close();
    return n;
}

BOOL FindExisting(const CString& strPath, BOOL& bReadOnly, BOOL* pbFolder) {
    bReadOnly = FALSE;
    if (pbFolder) *pbFolder = FALSE;
    CFileFind finder;
    if (!finder.FindFile(strPath)) return FALSE;
    finder.FindNextFile();
    bReadOnly = finder.IsReadOnly();
    if (pbFolder) *pbFolder = finder.IsDirectory();
    finder.Close();
    return TRUE;
}

int RefuseFolderInTheWay(DWORD op, const CString& strPath) {
    ShowTaskError(TaskString(1000 + op) + strPath + TaskString(IDS_FOLDER_IN_THE_WAY), TaskCaption(op));
    return TASK_ERROR;
}

int RefuseFileInTheWay(DWORD op, const CString& strPath) {
    ShowTaskError(TaskString(1000 + op) + strPath + TaskString(IDS_FILE_IN_THE_WAY), TaskCaption(op));
    return TASK_ERROR;
}

BOOL MustAskReplace(DWORD dwFlags, BOOL bReadOnly) {
    if (bReadOnly) return (dwFlags & (TF_ASK_FILE | TF_ASK_READONLY)) != 0;
    return (dwFlags & TF_ASK_FILE) != 0;
}

int AskReplaceFile(CFileTask& task, BOOL bReadOnly, const CFileCheckInfo* pExisting,
                   const CFileCheckInfo* pIncoming) {
    CFilesCheckDlg dlg(!(task.m_dwFlags & TF_MULTIPLE));
    if (pExisting) dlg.SetExistingFile(*pExisting);
    if (pIncoming) dlg.SetNewFile(*pIncoming);
    int nResult = (int)dlg.DoModal();
    if (nResult == IDYESTOALL)
        task.m_dwFlags &= bReadOnly ? ~(DWORD)(TF_ASK_FILE | TF_ASK_READONLY) : ~(DWORD)TF_ASK_FILE;
    else if (nResult == -1)
        nResult = IDCANCEL;
    return nResult;
}

int AskMergeFolder(CFileTask& task, const CString& strFolder) {
    CDirCheckDlg dlg;
    dlg.m_strFolder = strFolder;
    int nResult = (int)dlg.DoModal();
    if (nResult == IDYESTOALL)
        task.m_dwFlags &= ~(DWORD)TF_ASK_FOLDER;
    else if (nResult == -1)
        nResult = IDCANCEL;
    return nResult;
}

CString MakeTempSibling(const CString& strTarget) {
    static std::atomic<unsigned> s_nSerial{0};
    int nSlash = strTarget.ReverseFind(L'\\');
    CString strFolder = nSlash >= 0 ? strTarget.Left(nSlash + 1) : CString();
    CString strPath;
    for (int nTry = 0; nTry < 0x10000; ++nTry) {
        CString strName;
        strName.Format(L"~kiv%04lx%04x.tmp", GetCurrentProcessId() & 0xFFFF, (++s_nSerial) & 0xFFFF);
        // Its name may be longer than the target's: in the exact form a
        // target that fits is never refused because of it, and a folder
        // whose name ends in a dot or a space is that very folder.
        strPath = AfxExactPathForm(strFolder + strName);
        if (GetFileAttributesW(strPath) == INVALID_FILE_ATTRIBUTES) break;
    }
    return strPath;
}

BOOL RemoveTemp(const CString& strTemp) {
    if (strTemp.IsEmpty()) return TRUE;
    CString strExact = AfxExactPathForm(strTemp);
    DWORD dwAttr = GetFileAttributesW(strExact);
    if (dwAttr == INVALID_FILE_ATTRIBUTES) return TRUE;
    if (dwAttr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(strExact, dwAttr & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(strExact) || GetFileAttributesW(strExact) == INVALID_FILE_ATTRIBUTES;
}

namespace {
DriveWriteProbe g_pfnDriveWriteProbe = nullptr;
}  // namespace

void SetDriveWriteProbe(DriveWriteProbe pfnProbe) { g_pfnDriveWriteProbe = pfnProbe; }

BOOL FlushToDrive(const CString& strPath) {
    // Flushing needs a handle with write access, which a read-only file
    // (a restored entry may be one) does not give until the bit is off.
    CString strExact = AfxExactPathForm(strPath);
    DWORD dwAttr = GetFileAttributesW(strExact);
    BOOL bReadOnly = dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_READONLY);
    if (bReadOnly && !SetFileAttributesW(strExact, dwAttr & ~FILE_ATTRIBUTE_READONLY)) return FALSE;
    HANDLE h = CreateFileW(strExact, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    BOOL bOk = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    DWORD dwError = bOk ? ERROR_SUCCESS : GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (bReadOnly) SetFileAttributesW(strExact, dwAttr);
    if (bOk && g_pfnDriveWriteProbe && !g_pfnDriveWriteProbe(L"flushed", strPath, 0)) return FALSE;
    SetLastError(dwError);
    return bOk;
}

BOOL MoveIntoPlace(const CString& strTemp, const CString& strTarget, DWORD dwFlags) {
    dwFlags |= MOVEFILE_WRITE_THROUGH;
    if (g_pfnDriveWriteProbe && !g_pfnDriveWriteProbe(L"move", strTemp, dwFlags)) return FALSE;
    return MoveFileExW(AfxExactPathForm(strTemp), AfxExactPathForm(strTarget), dwFlags);
}

BOOL PutInPlace(const CString& strTemp, const CString& strTarget, DWORD op, const CString& strCaption,
                BOOL bFlushed) {
    // On the drive before anything of the target is touched.
    BOOL bOnDrive = bFlushed ? !g_pfnDriveWriteProbe || g_pfnDriveWriteProbe(L"flushed", strTemp, 0)
                             : FlushToDrive(strTemp);
    if (!bOnDrive) {
        DWORD dwError = GetLastError();
        RemoveTemp(strTemp);
        ShowTaskError(FailureText(op, strTarget, dwError), strCaption);
        return FALSE;
    }
    DWORD dwOldAttr = GetFileAttributesW(AfxExactPathForm(strTarget));
    if (dwOldAttr != INVALID_FILE_ATTRIBUTES && !ResetFileAttributes(strTarget, op, FALSE)) {
        RemoveTemp(strTemp);
        return FALSE;
    }
    if (MoveIntoPlace(strTemp, strTarget, MOVEFILE_REPLACE_EXISTING)) return TRUE;
    DWORD dwError = GetLastError();
    if (dwOldAttr != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(AfxExactPathForm(strTarget), dwOldAttr);
    RemoveTemp(strTemp);
    ShowTaskError(FailureText(op, strTarget, dwError), strCaption);
    return FALSE;
}

BOOL IsPathTooLong(const CString& strPath) { return FullPath(strPath).GetLength() > MAX_TARGET_PATH; }

int RefuseLongPath(DWORD op, const CString& strPath) {
    ShowTaskError(TaskString(1000 + op) + strPath + TaskString(IDS_PATH_TOO_LONG), TaskCaption(op));
    return TASK_ERROR;
}

CString ShownName(const CString& strName, const CString& strTemp, const CString& strTarget) {
    if (strName.IsEmpty() || (!strTemp.IsEmpty() && IsSamePath(strName, strTemp))) return strTarget;
    return strName;
}

CString CheckFieldPassword(const BYTE (&field)[17]) {
    char bytes[17];
    memcpy(bytes, field, 16);
    bytes[16] = 0;
    int nLength = (int)strlen(bytes);
    if (nLength == 0) return CString();
    WCHAR wide[17] = {0};
    int n = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, nLength, wide, 16);
    return CString(wide, n > 0 ? n : 0);
}

CString CauseText(DWORD dwError, const CString& strWritten, UINT nOther) {
    if (IsWriteProtected(strWritten, dwError)) return TaskString(IDS_WRITE_PROTECTED);
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return TaskString(IDS_NOT_FOUND);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_USER_MAPPED_FILE:
        return TaskString(129);
    default:
        return TaskString(nOther);
    }
}

CString FailureText(DWORD op, const CString& strName, DWORD dwError, const CString& strWritten) {
    if (IsWriteProtected(strWritten, dwError))
        return TaskString(1000 + op) + strWritten + TaskString(IDS_WRITE_PROTECTED);
    return TaskString(1000 + op) + strName + CauseText(dwError, CString());
}

CString FailureText(DWORD op, const CString& strName, DWORD dwError) {
    return FailureText(op, strName, dwError, strName);
}

int ShowFailure(DWORD op, const CString& strName, DWORD dwError, const CString& strWritten) {
    ShowTaskError(FailureText(op, strName, dwError, strWritten), TaskCaption(op));
    return TASK_ERROR;
}

CString CopyCaption() {
    CString strCaption = TaskString(116);
    return strCaption.IsEmpty() ? TaskString(121) : strCaption;
}

CString TaskCaption(DWORD op) {
    switch (op) {
    case TASK_COPY: return CopyCaption();
    case TASK_DELETE: return TaskString(115);
    case TASK_COMPRESS: return TaskString(117);
    default: return TaskString(118);
    }
}

int HandlerFailure(DWORD op, const CString& strName) {
    ShowTaskError(TaskString(1000 + op) + strName + TaskString(125), TaskCaption(op));
    return TASK_ERROR;
}

namespace {

// What the walk of op writes for an entry of the folder (child source and
// mirrored child target), as the file handlers name it: compress adds kvf
// to a file that is no archive, decompress takes it off an archive, every
// other file is copied and a folder keeps its name.
CString WrittenPath(DWORD op, const CString& strChildSrc, const CString& strChildDst, BOOL bFolder) {
    if (bFolder) return strChildDst;
    if (op == TASK_COMPRESS && !IsKvfFile(strChildSrc)) return AppendExtension(strChildDst, L"kvf");
    if (op == TASK_DECOMPRESS && IsKvfFile(strChildSrc)) return DecompressedPath(strChildDst);
    return strChildDst;
}

// Letter case aside, as the file system compares names.
int CompareNoCaseOrdinal(const CString& a, const CString& b) {
    return ::CompareStringOrdinal(a, a.GetLength(), b, b.GetLength(), TRUE) - CSTR_EQUAL;
}

// Two entries of the folder that the walk would write to one target fail
// it, naming both and the target (the first such pair in listing order):
// TASK_ERROR after the message, else TASK_OK. An entry that the walk leaves
// out (the tree built inside its own source) takes no part.
int CheckOneTargetEach(const CFileTask& task, DWORD op, const CString& strSrc, const CString& strDst,
                       const std::vector<FolderEntry>& entries) {
    std::vector<CString> written;
    std::vector<size_t> order;
    written.reserve(entries.size());
    order.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        CString strChildSrc = strSrc + L"\\" + entries[i].strName;
        BOOL bLeftOut = entries[i].bFolder && IsSamePath(strChildSrc, task.m_strDst);
        written.push_back(bLeftOut ? CString()
                                   : WrittenPath(op, strChildSrc, strDst + L"\\" + entries[i].strName, entries[i].bFolder));
        if (!bLeftOut) order.push_back(i);
    }
    // Stable: equal targets stay in listing order, and lie side by side.
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return CompareNoCaseOrdinal(written[a], written[b]) < 0; });
    size_t nFirst = entries.size(), nSecond = 0;
    for (size_t k = 1; k < order.size(); ++k) {
        if (CompareNoCaseOrdinal(written[order[k - 1]], written[order[k]]) != 0 || order[k - 1] > nFirst) continue;
        nFirst = order[k - 1];
        nSecond = order[k];
    }
    if (nFirst == entries.size()) return TASK_OK;
    CString strTail;
    strTail.Format(TaskString(IDS_SAME_TARGET), (LPCWSTR)(strSrc + L"\\" + entries[nSecond].strName),
                   (LPCWSTR)written[nFirst]);
    ShowTaskError(TaskString(1000 + op) + strSrc + L"\\" + entries[nFirst].strName + strTail, TaskCaption(op));
    return TASK_ERROR;
}

}  // namespace

int MirrorFolder(CFileTask& task, DWORD op, const CString& strSrc, const CString& strDst, TaskHandler pfnDir,
                 TaskHandler pfnFile) {
    // What a link shows belongs to another place: it is neither written
    // into the target nor counted as done, so its source is never removed
    // as finished (the task reports the skip).
    if (IsFolderLink(GetFileAttributesW(AfxExactPathForm(strSrc)))) {
        ShowTaskError(TaskString(1000 + op) + strSrc + TaskString(IDS_LINK_SKIPPED), TaskCaption(op));
        task.m_bLinkSkipped = TRUE;
        return TASK_OK;
    }

    // Listed before anything is written: a folder worked on in place does
    // not meet its new files again, and a target inside the source is not
    // walked into. A folder that cannot be read is not done.
    std::vector<FolderEntry> entries;
    if (!ListFolder(strSrc, entries)) return ShowFailure(op, strSrc, GetLastError(), CString());

    // Two entries that become one file would have the second replace what
    // the task has just written from the first (asked about as if it were
    // the user's, or silently after Yes to All), and the source folder
    // then be removed as done: neither is written, and the folder stays.
    if (CheckOneTargetEach(task, op, strSrc, strDst, entries) != TASK_OK) return TASK_ERROR;

    // A missing target folder is made in the exact form: Windows makes one by
    // its plain path only below 248 characters, and files that fit can go
    // in a longer one; nor would the plain path keep a trailing dot or space.
    BOOL bReadOnly = FALSE, bFolder = FALSE;
    if (FindExisting(strDst, bReadOnly, &bFolder)) {
        if (!bFolder) return RefuseFileInTheWay(op, strDst);
        if (task.m_dwFlags & TF_ASK_FOLDER) {
            int nAnswer = AskMergeFolder(task, strDst);
            if (int nResult = ConfirmationResult(task, nAnswer, strSrc, TRUE)) return nResult;
        }
    } else if (!CreateDirectoryW(AfxExactPathForm(strDst), nullptr)) {
        ShowTaskError(FailureText(op, strSrc, GetLastError(), strDst), TaskString(114));
        return TASK_ERROR;
    }

    // Worked on in place, a file copied onto itself was not taken anywhere.
    BOOL bInPlace = IsSamePath(strSrc, strDst);
    for (const FolderEntry& entry : entries) {
        CString strChildSrc = strSrc + L"\\" + entry.strName;
        CString strChildDst = strDst + L"\\" + entry.strName;
        // The tree being built inside its own source is output, not input.
        if (entry.bFolder && IsSamePath(strChildSrc, task.m_strDst)) continue;
        WIN32_FILE_ATTRIBUTE_DATA found = {};
        BOOL bFound = !entry.bFolder && GetFileAttributesExW(AfxExactPathForm(strChildSrc), GetFileExInfoStandard, &found);
        int nResult = (task.*(entry.bFolder ? pfnDir : pfnFile))(strChildSrc, strChildDst);
        if (nResult != TASK_OK) return nResult;
        if (bFound && !bInPlace)
            task.m_finished.push_back(CFileTask::Finished{
                strChildSrc, FALSE, found.ftLastWriteTime,
                ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow});
    }
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, (LPCWSTR)strDst, nullptr);
    task.m_finished.push_back(CFileTask::Finished{strSrc, TRUE, FILETIME{}, 0});
    return TASK_OK;
}

int ConfirmationResult(CFileTask& task, int nAnswer, const CString& strSrc, BOOL bFolder) {
    switch (nAnswer) {
    case IDNO:
        ReportBytes(task, bFolder ? CFileTask::GetDirSize(FullPath(strSrc) + L"\\*.*") : FoundLength(strSrc));
        return TASK_SKIPPED;
    case IDCANCEL:
        ReportCancelled(task);
        return TASK_CANCELLED;
    default:
        return TASK_OK;
    }
}
