#include "KIVApp.h"
#include "AboutDlg.h"
#include "KIVDoc.h"
#include "MainFrame.h"
#include "ResourceIds.h"
#include "fileops/PathFunctions.h"
#include "password/PwdDlg.h"
#include "views/DriveView.h"
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

BEGIN_MESSAGE_MAP(CKIVApp, CWinApp)
    ON_COMMAND(ID_APP_ABOUT, &CKIVApp::OnAppAbout)
    ON_COMMAND(ID_FILE_NEW, &CWinApp::OnFileNew)
END_MESSAGE_MAP()

// No application name: the framework takes the title from string 57344.
CKIVApp::CKIVApp()
    : CWinApp(nullptr), m_bRegistered(FALSE), m_bVista(FALSE), m_ppShellSources(nullptr),
      m_ppShellTargets(nullptr), m_nShellCount(0), m_nShellHeader(0), m_hMutex(nullptr) {}

CKIVApp::~CKIVApp() {}

CString CKIVApp::GetDrivePath() const { return m_strDrivePath; }

BOOL CKIVApp::InitInstance() {
    OSVERSIONINFOW vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExW(&vi);
    m_bVista = vi.dwMajorVersion == 6;

    m_strInstallDir = (m_bVista ? GetAppDataDir(TRUE) : GetSystemDir()) + L"\\KIV";
    m_strModulePath = GetModulePath();
    m_strInstalledExe = m_strInstallDir + L"\\" + GetFileNamePart(GetModulePath());
    m_strShellExtDll = m_strInstallDir + L"\\KIVShellExt.dll";
    m_strDrivePath.Empty();

    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    if (FAILED(OleInitialize(nullptr))) {
        AfxMessageBox(IDS_OLE_INIT_FAILED);
        return FALSE;
    }
    COleMessageFilter* pFilter = AfxOleGetMessageFilter();
    pFilter->EnableBusyDialog(FALSE);
    pFilter->EnableNotRespondingDialog(FALSE);
    pFilter->Register();
    // The profile key and the recent-file list come with the registration
    // of the file type.

    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CKIVDoc), RUNTIME_CLASS(CMainFrame),
                                          RUNTIME_CLASS(CDriveView)));

    // Not trimmed: the unregistration line "-g del_reg " ends in a blank.
    CString cmdLine(m_lpCmdLine ? m_lpCmdLine : L"");
    if (cmdLine.GetLength() >= 2 && cmdLine.Left(2) == L"-g") {
        m_strDrivePath = cmdLine.Mid(3);
        return InstalledCheck();
    }
    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    // A file name is the shell's start of the program ("compress",
    // "uncompress" or an archive), which needs the file type registered;
    // until the program registers it such a run ends here.
    if (!cmdInfo.m_strFileName.IsEmpty()) return FALSE;
    return DriveRun();
}

BOOL CKIVApp::IsOnRemovableDrive() const {
    CString letter = m_strModulePath.Left(1);
    letter.MakeUpper();
    WCHAR roots[120] = {0};
    DWORD n = GetLogicalDriveStringsW(120, roots);
    if (n == 0 || n >= 120 || letter.IsEmpty()) return FALSE;
    for (const WCHAR* p = roots; *p; p += lstrlenW(p) + 1) {
        if (GetDriveTypeW(p) != DRIVE_REMOVABLE) continue;
        CString root(p);
        root.MakeUpper();
        if (root[0] == letter[0]) return TRUE;
    }
    return FALSE;
}

BOOL CKIVApp::DriveRun() {
    if (!IsOnRemovableDrive()) {
        CString text;
        text.LoadString(IDS_LAUNCH_FROM_DRIVE);
        MessageBoxW(nullptr, text, L"KIV", MB_ICONERROR);
        return FALSE;
    }
    m_strDrivePath = GetFolderPart(m_strModulePath);

    CPwdDlg dlg;
    if (!dlg.PreparePasswordPath()) {
        AfxMessageBox(IDS_INSERT_DRIVE);
        if (PathFileExistsW(m_strShellExtDll)) DeleteFileW(m_strShellExtDll);
        return FALSE;
    }
    m_strPwdFile = dlg.m_strPwdPath;
    dlg.m_nMode = PathFileExistsW(m_strPwdFile) ? PWD_MODE_LOGIN : PWD_MODE_CREATE;
    dlg.DoModal();
    if (!dlg.m_bSucceeded) return FALSE;
    return InstalledCheck();
}

BOOL CKIVApp::InstallSelf() {
    if (!PathIsDirectoryW(m_strInstallDir) && !CreateDirectoryW(m_strInstallDir, nullptr)) return FALSE;
    m_strInstalledExe = m_strInstallDir + L"\\" + GetFileNamePart(m_strModulePath);
    return CopyFileW(m_strModulePath, m_strInstalledExe, FALSE);
}

BOOL CKIVApp::InstalledCheck() {
    // Without regard to case: the system may spell the same folder
    // C:\users\... in one answer and C:\Users\... in another.
    if (GetFolderPart(m_strModulePath).CompareNoCase(m_strInstallDir) != 0) {
        if (!InstallSelf()) {
            AfxMessageBox(IDS_PROGRAM_RUNNING);
            return FALSE;
        }
        // Writing out the shell extension and the elevated registration run
        // come with the registration of the file type.
        CString params;
        params.Format(L"-g %s", (LPCWSTR)GetFolderPart(GetModulePath()));
        ShellExecuteW(nullptr, L"open", m_strInstalledExe, params, nullptr, SW_SHOWNORMAL);
        return TRUE;
    }
    return MainRun();
}

BOOL CKIVApp::MainRun() {
    HANDLE h = CreateMutexW(nullptr, FALSE, L"KIV");
    if (h && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        AfxMessageBox(IDS_PROGRAM_RUNNING);
        return FALSE;
    }
    m_hMutex = h;
    // Registering the file type, the drive folder and the shell extension
    // (and undoing that at exit) come here with the registration work.

    // e:\KIV\KIV.pwd for the drive folder E: or E:\tools. A folder without
    // a drive letter names no drive: no password file.
    m_strPwdFile.Empty();
    if (m_strDrivePath.GetLength() >= 2 && m_strDrivePath[1] == L':') {
        CString root = m_strDrivePath.Left(2) + L"\\";
        root.MakeLower();
        m_strPwdFile = root + L"KIV\\KIV.pwd";
    }

    CCommandLineInfo cmdInfo;
    if (!ProcessShellCommand(cmdInfo)) return FALSE;
    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();
    return TRUE;
}

void CKIVApp::OnAppAbout() {
    CAboutDlg dlg;
    dlg.DoModal();
}
