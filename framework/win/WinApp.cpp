#include "WinApp.h"
#include "ThreadState.h"
#include "CommandLine.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include <shellapi.h>
#include <process.h>

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

namespace {
CWinApp* g_pApp = nullptr;
}

struct AfxThreadInternals {
    static unsigned __stdcall Entry(void* pv) {
        CWinThread* pThread = static_cast<CWinThread*>(pv);
        AfxGetThreadState()->pThread = pThread;
        UINT nResult;
        if (pThread->m_pfnThreadProc)
            nResult = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
        else if (pThread->InitInstance())
            nResult = (UINT)pThread->Run();
        else
            nResult = (UINT)pThread->ExitInstance();
        AfxGetThreadState()->pThread = nullptr;
        pThread->Delete();
        AfxTermThreadState();
        return nResult;
    }
};

CWinThread::CWinThread()
    : m_pMainWnd(nullptr), m_bAutoDelete(TRUE), m_hThread(nullptr), m_nThreadID(0),
      m_pfnThreadProc(nullptr), m_pThreadParams(nullptr), m_nExitCode(0) {}

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam) : CWinThread() {
    m_pfnThreadProc = pfnThreadProc;
    m_pThreadParams = pParam;
}

CWinThread::~CWinThread() {
    if (m_hThread && m_hThread != ::GetCurrentThread()) ::CloseHandle(m_hThread);
    m_hThread = nullptr;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize,
                              LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (m_hThread) return FALSE;
    // Always made suspended, so that the handle and id are stored before it runs.
    unsigned id = 0;
    uintptr_t h = _beginthreadex(lpSecurityAttrs, nStackSize, &AfxThreadInternals::Entry, this,
                                 CREATE_SUSPENDED, &id);
    if (!h) return FALSE;
    m_hThread = (HANDLE)h;
    m_nThreadID = id;
    if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(m_hThread);
    return TRUE;
}

BOOL CWinThread::InitInstance() { return FALSE; }
int CWinThread::ExitInstance() { return m_nExitCode; }

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) { return AfxPreTranslateMessage(pMsg); }

BOOL CWinThread::OnIdle(LONG) {
    AfxDeleteTempMaps();
    return FALSE;
}

int CWinThread::Run() {
    MSG msg;
    LONG lIdle = 0;
    for (;;) {
        while (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(lIdle++)) break;
        }
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            m_nExitCode = (int)msg.wParam;
            return ExitInstance();
        }
        if (r == -1) continue;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        lIdle = 0;
    }
}

void CWinThread::Delete() {
    if (m_bAutoDelete) delete this;
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                           UINT nStackSize, DWORD dwCreateFlags,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (!pfnThreadProc) return nullptr;
    CWinThread* pThread = new (std::nothrow) CWinThread(pfnThreadProc, pParam);
    if (!pThread) return nullptr;
    pThread->m_pMainWnd = AfxGetMainWnd();
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return nullptr;
    }
    pThread->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED)) pThread->ResumeThread();
    return pThread;
}

CWinThread* AfxGetThread() {
    AfxThreadState* st = AfxGetThreadState();
    if (st->pThread) return st->pThread;
    if (g_pApp && g_pApp->m_nThreadID == ::GetCurrentThreadId()) return g_pApp;
    return nullptr;
}

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(nullptr), m_lpCmdLine(nullptr), m_nCmdShow(SW_SHOWNORMAL),
      m_pszRegistryKey(nullptr), m_pszProfileName(nullptr), m_nMaxMRU(0), m_bShellOpen(FALSE) {
    g_pApp = this;
    m_bAutoDelete = FALSE;
    m_nThreadID = ::GetCurrentThreadId();
    m_hThread = ::GetCurrentThread();
    m_hInstance = ::GetModuleHandleW(nullptr);
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() {
    for (CDocTemplate* t : m_templates) delete t;
    m_templates.clear();
    return m_nExitCode;
}

BOOL CWinApp::OnIdle(LONG lCount) {
    if (lCount == 0) {
        CWnd* pMain = m_pMainWnd;
        if (pMain && pMain->m_hWnd && pMain->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
            static_cast<CFrameWnd*>(pMain)->OnIdleUpdateCmdUI();
    }
    return CWinThread::OnIdle(lCount);
}

void CWinApp::AddDocTemplate(CDocTemplate* pTemplate) {
    if (pTemplate) m_templates.push_back(pTemplate);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
    // The text after the program's name, behind a stand-in for the name.
    CString line = CString(L"x ") + (m_lpCmdLine ? m_lpCmdLine : L"");
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line, &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        LPCWSTR p = argv[i];
        BOOL bFlag = (p[0] == L'-' || p[0] == L'/');
        rCmdInfo.ParseParam(bFlag ? p + 1 : p, bFlag, i == argc - 1);
    }
    ::LocalFree(argv);
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
    switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        OnFileNew();
        return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileNothing:
        return TRUE;
    default:
        return FALSE;
    }
}

void CWinApp::OnFileNew() {
    if (CDocTemplate* t = GetFirstDocTemplate()) t->OpenDocumentFile(nullptr);
}
int CWinApp::Run() { return CWinThread::Run(); }

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() {
    AfxThreadState* st = AfxGetThreadState();
    if (st->pThread) return st->pThread->GetMainWnd();
    return g_pApp ? g_pApp->GetMainWnd() : nullptr;
}

LPCTSTR AfxGetAppName() {
    if (g_pApp && g_pApp->m_pszAppName) return g_pApp->m_pszAppName;
    // The framework's application-title string, else the product name.
    static const CString* title = [] {
        CString* s = new CString;
        if (!s->LoadString(57344) || s->IsEmpty()) *s = L"KIV";
        return s;
    }();
    return *title;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPTSTR lpCmdLine, int nCmdShow) {
    CWinApp* pApp = AfxGetApp();
    if (!pApp) return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->m_nCmdShow = nCmdShow;
    if (!pApp->m_pszAppName) {
        pApp->m_strAppName = AfxGetAppName();
        pApp->m_pszAppName = pApp->m_strAppName;
    }
    int nResult;
    if (!pApp->InitInstance())
        nResult = pApp->ExitInstance();
    else if (pApp->m_pMainWnd)
        nResult = pApp->Run();
    else
        nResult = pApp->ExitInstance();
    AfxDeleteTempMaps();
    return nResult;
}
