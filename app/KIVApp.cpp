#include "KIVApp.h"
#include "fileops/PathFunctions.h"
#include "password/PwdDlg.h"
#include <commctrl.h>
#include <shlwapi.h>

// No application name: the framework takes the title from string 57344.
CKIVApp::CKIVApp()
    : CWinApp(nullptr), m_bRegistered(FALSE), m_bVista(FALSE), m_ppShellSources(nullptr),
      m_ppShellTargets(nullptr), m_nShellCount(0), m_nShellHeader(0) {}

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

    // The "-g" runs, the shell's commands and archives opened from the shell
    // need the installation and the main window, which this build lacks.
    CString cmdLine(m_lpCmdLine ? m_lpCmdLine : L"");
    cmdLine.Trim();
    if (!cmdLine.IsEmpty()) return FALSE;
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
    // Installing and handing over to the installed copy come next; until
    // they exist the run ends after the login.
    return FALSE;
}
