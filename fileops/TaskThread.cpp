#include "fileops/TaskThread.h"
#include "fileops/HandlerSupport.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskMessage.h"
#include <exception>

// The current source and target of any batch. The worker writes both under
// the lock and the dialog copies both under it: every copy is a deep one, so
// the dialog never reads a string while the worker reassigns it, and it
// always gets a pair from the same call. Nothing else is shared with it.
CString g_strProgressSource;
CString g_strProgressTarget;

namespace {
CRITICAL_SECTION& ProgressNamesLock() {
    // Made on first use and never deleted, so it outlives every global.
    static CRITICAL_SECTION* pcs = [] {
        CRITICAL_SECTION* p = new CRITICAL_SECTION;
        InitializeCriticalSection(p);
        return p;
    }();
    return *pcs;
}
}  // namespace

BOOL SetProgressNames(CString strSrc, CString strDst) {
    EnterCriticalSection(&ProgressNamesLock());
    g_strProgressSource = strSrc;
    g_strProgressTarget = strDst;
    LeaveCriticalSection(&ProgressNamesLock());
    return TRUE;
}

void GetProgressNames(CString& strSrc, CString& strDst) {
    EnterCriticalSection(&ProgressNamesLock());
    strSrc = g_strProgressSource;
    strDst = g_strProgressTarget;
    LeaveCriticalSection(&ProgressNamesLock());
}

int (*CFileTaskThread::s_pfnRunTask)(CFileTask& task) = nullptr;

namespace {
// Nothing may leave the worker: the process would end with the dialog still
// open. The handlers catch their own failures; what is left (memory running
// out before a handler is entered) fails the task as a handler's last resort.
int RunTask(CFileTask& task) {
    try {
        return CFileTaskThread::s_pfnRunTask ? CFileTaskThread::s_pfnRunTask(task) : task.Execute();
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    if (task.m_nType < TASK_COPY || task.m_nType > TASK_DECOMPRESS) return TASK_ERROR;
    return HandlerFailure(task.m_nType, task.m_strSrc);
}

// The starter's per-task callback: its failure leaves the task's result as
// it is.
void CallTaskDone(TaskDoneProc pfnTaskDone, int nResult, CFileTask& task) {
    try {
        pfnTaskDone(nResult, &task);
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
}
}  // namespace

CFileTaskThread::CFileTaskThread()
    : m_pWorker(nullptr),
      m_bRunning(FALSE),
      m_bModal(FALSE),
      m_bCancel(0),
      m_pfnTaskDone(nullptr),
      m_pProgressDlg(nullptr),
      m_hDlgWnd(nullptr),
      m_hWorker(nullptr),
      m_bResumed(FALSE),
      m_bAbandoned(FALSE),
      m_bDlgWindow(FALSE),
      m_bWorkerDone(0),
      m_bWorkerAllOk(0) {}

CFileTaskThread::~CFileTaskThread() {
    // The worker is done with the batch once it has flagged so; until then
    // (a cancelled modal Start returns while it finishes its piece) wait.
    if (m_hWorker && !m_bWorkerDone) WaitForWorker();
    if (m_hWorker) CloseHandle(m_hWorker);
    m_hWorker = nullptr;
    m_arrTasks.RemoveAll();
    // A modeless dialog whose window came up deletes itself.
    if (m_pProgressDlg && (m_bModal || !m_bDlgWindow)) delete m_pProgressDlg;
    m_pProgressDlg = nullptr;
}

BOOL CFileTaskThread::AddTask(CString strSrc, CString strDst, int nType) {
    if (m_bRunning) return FALSE;
    CFileTask task(strSrc, strDst, nType, &CFileTaskThread::FileTaskProgressCallback, this);
    m_arrTasks.Add(task);
    return TRUE;
}

int CFileTaskThread::Start(BOOL bModal) {
    m_bRunning = TRUE;
    m_bModal = bModal;

    // The title comes from the first task; an empty batch throws here,
    // before anything is made.
    UINT nTitle = 0;
    switch (m_arrTasks.GetAt(0).m_nType) {
    case TASK_COPY: nTitle = 137; break;
    case TASK_DELETE: nTitle = 138; break;
    case TASK_COMPRESS: nTitle = 139; break;
    case TASK_DECOMPRESS: nTitle = 140; break;
    }

    m_pProgressDlg = new CProgressDlg(&m_bCancel);
    if (nTitle) m_pProgressDlg->m_strTitle = TaskString(nTitle);
    ULONGLONG nTotal = 0;
    for (int i = 0; i < m_arrTasks.GetSize(); ++i) nTotal += m_arrTasks[i].GetSize();
    m_pProgressDlg->m_nTotal = nTotal;
    m_pProgressDlg->SetReadyHook(&CFileTaskThread::OnDialogReady, this);

    m_pWorker = AfxBeginThread(&CFileTaskThread::FileTaskThreadProc, this, THREAD_PRIORITY_BELOW_NORMAL, 0,
                               CREATE_SUSPENDED, nullptr);
    if (!m_pWorker) {
        // Nothing will run. The owner still hears of the batch's end as
        // usual, so it frees the batch the way it always does.
        delete m_pProgressDlg;
        m_pProgressDlg = nullptr;
        m_bWorkerDone = 1;
        CWnd* pMain = AfxGetMainWnd();
        if (pMain && pMain->GetSafeHwnd()) ::PostMessageW(pMain->GetSafeHwnd(), WM_TASKTHREAD_DONE, (WPARAM)this, 0);
        return 0;
    }
    m_pWorker->m_bAutoDelete = TRUE;
    // The thread object deletes itself (and closes its handle) when the
    // thread ends; our own handle lets WaitForWorker wait for that end.
    DuplicateHandle(GetCurrentProcess(), m_pWorker->m_hThread, GetCurrentProcess(), &m_hWorker, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);

    if (!bModal) {
        if (!m_pProgressDlg->Create(CProgressDlg::IDD, nullptr)) {
            if (!m_hDlgWnd) delete m_pProgressDlg;
            m_pProgressDlg = nullptr;
            m_hDlgWnd = nullptr;
            m_bAbandoned = TRUE;
            ResumeWorker();
            return 0;
        }
        m_bDlgWindow = TRUE;
        m_pProgressDlg->ShowWindow(SW_HIDE);
        ResumeWorker();
        return 1;
    }

    // The worker is resumed from the dialog's OnInitDialog (OnDialogReady):
    // its first post then has a window to go to, and a batch that ends at
    // once cannot leave the modal loop waiting for a lost WM_TASK_DONE.
    INT_PTR nResult = m_pProgressDlg->DoModal();
    if (!m_bResumed) {
        // The window never came up: let the worker end without running.
        m_bAbandoned = TRUE;
        ResumeWorker();
        return 0;
    }
    // Success is the worker's word alone: the dialog also ends on a
    // WM_TASK_DONE that another program posts while the tasks still run.
    if (nResult == IDOK && !(m_bWorkerDone && m_bWorkerAllOk)) nResult = IDCANCEL;
    return (int)nResult;
}

void CFileTaskThread::OnDialogReady(void* pContext, HWND hWnd) {
    CFileTaskThread* pBatch = static_cast<CFileTaskThread*>(pContext);
    pBatch->m_hDlgWnd = hWnd;
    if (pBatch->m_bModal && !pBatch->m_bResumed) pBatch->ResumeWorker();
}

void CFileTaskThread::ResumeWorker() {
    m_bResumed = TRUE;
    // Through our own handle: once resumed, the thread object may delete
    // itself at any moment.
    ::ResumeThread(m_hWorker ? m_hWorker : m_pWorker->m_hThread);
}

BOOL CFileTaskThread::WaitForWorker(DWORD dwTimeout) {
    if (!m_hWorker) return TRUE;
    if (!m_bResumed) return FALSE;  // a worker that was never started cannot end
    DWORD dwStart = GetTickCount();
    BOOL bQuit = FALSE;
    WPARAM nQuitCode = 0;
    BOOL bEnded = FALSE;
    for (;;) {
        DWORD dwWait = INFINITE;
        if (dwTimeout != INFINITE) {
            DWORD dwElapsed = GetTickCount() - dwStart;
            dwWait = dwElapsed >= dwTimeout ? 0 : dwTimeout - dwElapsed;
        }
        // Pumping keeps the worker's sent messages (UpdateWindow on the
        // dialog, its boxes' owner) and this thread's windows alive.
        DWORD r = MsgWaitForMultipleObjects(1, &m_hWorker, FALSE, dwWait, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            bEnded = TRUE;
            break;
        }
        if (r != WAIT_OBJECT_0 + 1) break;  // timed out or failed
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = TRUE;  // handed back to the loop that owns it
                nQuitCode = msg.wParam;
                continue;
            }
            if (!AfxPreTranslateMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    if (bQuit) PostQuitMessage((int)nQuitCode);
    if (bEnded) {
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
    return bEnded;
}

UINT CFileTaskThread::FileTaskThreadProc(LPVOID pParam) {
    CFileTaskThread* pBatch = static_cast<CFileTaskThread*>(pParam);
    HWND hDlg = pBatch->m_hDlgWnd;
    BOOL bAllOk = TRUE;
    if (pBatch->m_bAbandoned) {
        bAllOk = FALSE;
    } else {
        SetTaskDialog(hDlg);
        DWORD dwFlags = pBatch->m_arrTasks.GetSize() > 1 ? (TF_DEFAULT | TF_MULTIPLE) : TF_DEFAULT;
        for (int i = 0; i < pBatch->m_arrTasks.GetSize(); ++i) {
            CFileTask& task = pBatch->m_arrTasks[i];
            task.m_dwFlags = dwFlags;
            int nResult = RunTask(task);
            Sleep(10);
            if (hDlg) ::UpdateWindow(hDlg);
            if (pBatch->m_pfnTaskDone) CallTaskDone(pBatch->m_pfnTaskDone, nResult, task);
            if (nResult != TASK_OK) {
                bAllOk = FALSE;
                if (nResult == TASK_ERROR || nResult == TASK_CANCELLED) break;
            }
            // Yes to All and a folder's TF_MULTIPLE carry on to the next task.
            dwFlags = task.m_dwFlags;
        }
        SetTaskDialog(nullptr);
    }

    CWnd* pMain = AfxGetMainWnd();
    HWND hMain = pMain ? pMain->GetSafeHwnd() : nullptr;
    // From here on the batch may be deleted at any moment (the modal dialog
    // ends on WM_TASK_DONE and its starter may free the batch).
    pBatch->m_bWorkerAllOk = bAllOk ? 1 : 0;
    InterlockedExchange(&pBatch->m_bWorkerDone, 1);
    if (hDlg) ::PostMessageW(hDlg, WM_TASK_DONE, bAllOk ? 1 : 0, 0);
    if (hMain) ::PostMessageW(hMain, WM_TASKTHREAD_DONE, (WPARAM)pBatch, 0);
    return 0;
}

int CFileTaskThread::FileTaskProgressCallback(int nCode, void* pData, void* pContext) {
    CFileTaskThread* pBatch = static_cast<CFileTaskThread*>(pContext);
    HWND hDlg = pBatch ? pBatch->m_hDlgWnd : nullptr;
    if (!hDlg) return 0;
    switch (nCode) {
    case TPC_BYTES: {
        ULONGLONG n = *static_cast<const ULONGLONG*>(pData);
        ::PostMessageW(hDlg, WM_TASK_PROGRESS, (WPARAM)(DWORD)(n >> 32), (LPARAM)(DWORD)n);
        break;
    }
    case TPC_NAMES: {
        // Only a signal: the dialog reads the shared names, never these
        // pointers into the worker's stack.
        void* const* pNames = static_cast<void* const*>(pData);
        ::PostMessageW(hDlg, WM_TASK_NAMES, (WPARAM)pNames[0], (LPARAM)pNames[1]);
        break;
    }
    default:
        break;
    }
    return 0;
}
