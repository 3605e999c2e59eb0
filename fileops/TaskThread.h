// CFileTaskThread: a batch of file tasks run in order on a worker thread of
// its own behind a progress dialog. The worker reports to the user-interface
// thread only by posted window messages.
#pragma once
#include "fileops/FileTask.h"

class CWinThread;
class CProgressDlg;

// Posted by the worker (WM_APP is 0x8000).
const UINT WM_TASK_PROGRESS = 0x812C;    // to the dialog: wParam high, lParam low 32 bits of a byte increment
const UINT WM_TASK_NAMES = 0x812D;       // to the dialog: the shared progress names changed
const UINT WM_TASK_DONE = 0x812E;        // to the dialog: wParam 1 when every task succeeded, else 0
const UINT WM_TASKTHREAD_DONE = 0x80C8;  // to the main window: wParam the finished CFileTaskThread

// Per-task callback (result, task), called on the worker after every task;
// the task pointer is valid only during the call.
typedef void (*TaskDoneProc)(int nResult, CFileTask* pTask);

// The current source and target, written by SetProgressNames on the worker
// and read by the progress dialog through GetProgressNames (ProgressDlg.h).
extern CString g_strProgressSource;
extern CString g_strProgressTarget;

class CFileTaskThread {
public:
    CFileTaskThread();
    // Waits for a worker that still runs (pumping messages) before the
    // tasks go; a modal dialog is deleted here, a modeless one deletes itself.
    virtual ~CFileTaskThread();

    // Queues CFileTask(source, target, type), which measures the source at
    // once. FALSE, and nothing queued, once the batch has been started.
    BOOL AddTask(CString strSrc, CString strDst, int nType);
    // Starts the batch (at least one task). Modeless: 1, the dialog hidden
    // until the bar moves. Modal: the dialog's result, IDOK only when the
    // worker has reported that every task succeeded, IDCANCEL after a
    // failure or Cancel (or a dialog ended otherwise). 0 when nothing could be
    // run (no worker thread or no dialog window); WM_TASKTHREAD_DONE is then
    // posted all the same, so the batch's owner frees it as usual.
    int Start(BOOL bModal);
    // Waits, pumping this thread's messages, until the worker has ended.
    // A modal Start may return after Cancel while the worker still finishes
    // its current piece: an owner that deletes the batch itself calls this
    // first (the destructor does it too). TRUE when no worker runs anymore.
    BOOL WaitForWorker(DWORD dwTimeout = INFINITE);
    // TRUE once the worker reads nothing more of the batch (or none was
    // made): only then may its owner free it.
    BOOL HasEnded() const { return m_bWorkerDone != 0; }

    static UINT FileTaskThreadProc(LPVOID pParam);
    static int FileTaskProgressCallback(int nCode, void* pData, void* pContext);

    CWinThread* m_pWorker;  // deletes itself when the thread ends: do not touch after Start
    CArray<CFileTask, CFileTask&> m_arrTasks;
    BOOL m_bRunning;
    BOOL m_bModal;
    // Set to 1 by the dialog's Cancel on the user-interface thread, read by
    // the handlers on the worker: one aligned 32-bit store, and volatile so
    // every read goes to memory; nothing else is ordered by it.
    volatile BOOL m_bCancel;
    TaskDoneProc m_pfnTaskDone;
    CProgressDlg* m_pProgressDlg;

    // Tests replace how the worker runs one task (null: CFileTask::Execute).
    static int (*s_pfnRunTask)(CFileTask& task);

private:
    static void OnDialogReady(void* pContext, HWND hWnd);
    void ResumeWorker();

    // The dialog's window, written on the user-interface thread before the
    // worker is resumed (ResumeThread orders it) and only read by the worker
    // afterwards. The worker never touches the dialog object: a modeless one
    // deletes itself, and posts to a destroyed window simply fail.
    HWND m_hDlgWnd;
    HANDLE m_hWorker;      // our own duplicate of the thread handle, for waiting
    BOOL m_bResumed;
    BOOL m_bAbandoned;     // the worker is to run nothing (the dialog failed)
    BOOL m_bDlgWindow;     // a modeless dialog window was created (it then owns itself)
    volatile LONG m_bWorkerDone;  // set by the worker once it reads nothing more of the batch
    volatile LONG m_bWorkerAllOk; // the worker's verdict, written before m_bWorkerDone
};
