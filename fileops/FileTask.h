// CFileTask: one queued file operation (copy, delete, compress, decompress)
// over a single file or a whole folder tree. Tasks are built on the
// user-interface thread and executed on the batch's worker thread.
#pragma once
#include "framework/Afx.h"
#include <vector>

// m_nType.
enum TaskType {
    TASK_COPY = 1,
    TASK_DELETE = 2,
    TASK_COMPRESS = 3,
    TASK_DECOMPRESS = 4,
};

// What Execute and every handler return.
enum TaskResult {
    TASK_OK = 0,
    TASK_ERROR = -1,      // failed; a failure with a message has shown it already
    TASK_SKIPPED = -2,    // the user answered No in a replace confirmation
    TASK_CANCELLED = -3,  // Cancel in a confirmation, or the batch's cancel flag
};

// m_dwFlags bits; the others have no meaning.
enum TaskFlags : DWORD {
    TF_ASK_FILE = 0x1,      // ask before replacing a file that is not read-only
    TF_ASK_READONLY = 0x2,  // ask before replacing a read-only file (0x1 asks too)
    TF_ASK_FOLDER = 0x8,    // ask before merging into an existing folder
    TF_MULTIPLE = 0x80,     // several items: the confirmation offers Yes to All
};
const DWORD TF_DEFAULT = TF_ASK_FILE | TF_ASK_READONLY | TF_ASK_FOLDER;  // 0xB

// First argument of the progress callback. Code 1 is never sent.
enum TaskProgressCode {
    TPC_BYTES = 0,      // data: ULONGLONG* bytes just finished (an increment)
    TPC_CANCELLED = 2,  // data: null
    TPC_NAMES = 3,      // data: const CString* [2] = { source, target }
};

// Size of the data pieces that the compress and decompress handlers move.
const UINT TASK_CHUNK_SIZE = 0x80000;

// Progress callback (code, data, context); the return value is ignored.
typedef int (*TaskProgressProc)(int nCode, void* pData, void* pContext);

class CFileTask {
public:
    // Empty task, type 0, flags 0xB; used only when the task list grows.
    CFileTask();
    // Stores the values, flags 0xB, and measures the source at once.
    CFileTask(CString strSrc, CString strDst, int nType, TaskProgressProc pfnProgress, void* pContext);
    virtual ~CFileTask() {}

    // Total bytes of the source (file length, or the sum over a folder
    // tree; 0 for a link to a folder); measured on first use, and again
    // while it is 0.
    ULONGLONG GetSize();
    // Total length of all files under a pattern of the form folder + "\*.*",
    // recursively; a link to a folder counts nothing, as the walks leave
    // it out.
    static ULONGLONG GetDirSize(CString strPattern);
    // Runs the task: the folder or file handler of its type. An unknown type
    // gives TASK_ERROR with no message; a source that no longer exists gives
    // TASK_ERROR after the operation's message naming it.
    int Execute();
    CString GetSrc() const { return m_strSrc; }

    // Handlers: (source, target) -> TaskResult. Delete ignores the target.
    int DoCopyFile(CString strSrc, CString strDst);
    int DoCopyDir(CString strSrc, CString strDst);
    int DoDeleteFile(CString strSrc, CString strDst);
    int DoDeleteDir(CString strSrc, CString strDst);
    int DoCompressDir(CString strSrc, CString strDst);
    int DoCompressFile(CString strSrc, CString strDst);
    int DoDecompressDir(CString strSrc, CString strDst);
    int DoDecompressFile(CString strSrc, CString strDst);

    CString m_strSrc;
    CString m_strDst;
    int m_nType;
    DWORD m_dwFlags;
    ULONGLONG m_nSize;  // 0: not measured yet
    TaskProgressProc m_pfnProgress;
    void* m_pContext;  // the owning batch, handed back to m_pfnProgress
    CString m_strPassword;  // the password the compress handler used
    // A copy, compress or decompress walk left out a link to a folder: the
    // task then ends as TASK_SKIPPED, not as a success. Cleared by Execute.
    BOOL m_bLinkSkipped = FALSE;
    // A delete failed because the drive is write-protected: its message was
    // shown once, and the walk stops there instead of failing file by file.
    BOOL m_bWriteProtected = FALSE;

    // What a folder walk finished, in the order it finished it: each file of
    // the source once its restore, archive or copy is in place (not one that
    // already was its own target), and each folder after all of its entries.
    // Whoever removes a finished folder source removes these and nothing
    // else: what came into the folder meanwhile was never taken along.
    // Cleared by Execute.
    struct Finished {
        CString strPath;
        BOOL bFolder;
        // A file's last-write time and length as the walk found them before
        // it read the file: a file that differs from them was saved anew
        // meanwhile, and what was taken along is not what is there.
        FILETIME ftLastWrite;
        ULONGLONG nLength;
    };
    std::vector<Finished> m_finished;
};

// Clears the read-only, hidden and system attributes of an existing file
// and, with bDelete, deletes it (and tells the shell). op is the caller's
// TaskType and only picks the message text. TRUE on success; FALSE after
// showing string (1000 + op) + file name + string 129, caption 121.
BOOL ResetFileAttributes(CString strPath, DWORD op, BOOL bDelete);
