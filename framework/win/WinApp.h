// CWinThread, CWinApp and the framework's thread and application globals.
#pragma once
#include "Wnd.h"
#include <vector>

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread();
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    ~CWinThread() override;  // closes the thread handle

    // Starts the thread (suspended when dwCreateFlags has CREATE_SUSPENDED).
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
    DWORD SuspendThread() { return ::SuspendThread(m_hThread); }
    BOOL SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }
    int GetThreadPriority() const { return ::GetThreadPriority(m_hThread); }
    operator HANDLE() const { return m_hThread; }

    // For a thread without a procedure: InitInstance, then Run when it
    // returned TRUE, else ExitInstance.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message loop, with PreTranslateMessage; ends on WM_QUIT.
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Between messages; the base frees the temporary objects.
    virtual BOOL OnIdle(LONG lCount);
    virtual CWnd* GetMainWnd() { return m_pMainWnd; }
    // Deletes the object when m_bAutoDelete.
    virtual void Delete();

    CWnd* m_pMainWnd;
    BOOL m_bAutoDelete;  // delete the object when the thread ends
    HANDLE m_hThread;
    DWORD m_nThreadID;
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;

protected:
    int m_nExitCode;  // the last WM_QUIT's code
    friend struct AfxThreadInternals;
};

// A worker running pfnThreadProc(pParam); NULL when the thread cannot be
// made. Its m_pMainWnd is the calling thread's main window at this moment.
// With m_bAutoDelete (the default) the object, and with it m_hThread, is
// gone as soon as the procedure returns: a caller that waits for the end
// duplicates the handle before resuming the thread.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
// The framework thread object of the calling thread (the application on its
// thread); NULL for other threads.
CWinThread* AfxGetThread();

class CDocTemplate;
class CCommandLineInfo;

class CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
public:
    // The one application object; it registers itself here.
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;  // also deletes the document templates
    int Run() override;
    // The main frame's toolbar and status bar are brought up to date first.
    BOOL OnIdle(LONG lCount) override;

    // The application owns the template from now on.
    void AddDocTemplate(CDocTemplate* pTemplate);
    CDocTemplate* GetFirstDocTemplate() const { return m_templates.empty() ? nullptr : m_templates[0]; }
    // Splits the process's command line into arguments for rCmdInfo.
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    // FileNew opens a new document of the first template. FALSE when the
    // command failed.
    BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);
    afx_msg void OnFileNew();

    // The profile lives under HKEY_CURRENT_USER\Software\<key>\<application>.
    void SetRegistryKey(LPCTSTR lpszRegistryKey);
    // Reads the recent-file list (nMaxMRU entries) from the profile.
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    // Documents may be opened by the shell. The framework has no DDE server,
    // so this only records the wish; nothing DDE is ever registered.
    void EnableShellOpen() { m_bShellOpen = TRUE; }
    // For every template with a registry type: the type and its name, its
    // default icon, the open command (the running program's short path and
    // "%1") and the extension, unless another type owns it already. No DDE
    // and no print verbs.
    void RegisterShellFileTypes(BOOL bCompat = FALSE);
    // Removes what RegisterShellFileTypes wrote; the extension only while it
    // still names the template's type.
    void UnregisterShellFileTypes();

    LPCTSTR m_pszAppName;  // the title; AfxWinMain fills it when NULL
    HINSTANCE m_hInstance;
    LPTSTR m_lpCmdLine;
    int m_nCmdShow;

    LPCTSTR m_pszRegistryKey;   // NULL until SetRegistryKey
    LPCTSTR m_pszProfileName;
    std::vector<CString> m_recentFiles;  // the recent-file list, newest first
    UINT m_nMaxMRU;

protected:
    CString m_strAppName;  // keeps a loaded title alive
    std::vector<CDocTemplate*> m_templates;
    CString m_strRegistryKey;
    CString m_strProfileName;
    BOOL m_bShellOpen;
    friend int AfxWinMain(HINSTANCE, HINSTANCE, LPTSTR, int);
};

CWinApp* AfxGetApp();
// The calling framework thread's main window, else the application's; NULL
// when there is none (also when there is no application object).
CWnd* AfxGetMainWnd();
// The application's title: its m_pszAppName, else string 57344, else "KIV".
LPCTSTR AfxGetAppName();
// Called by the program's wWinMain: InitInstance; FALSE → ExitInstance's
// result; TRUE → Run when there is a main window, else ExitInstance.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
