#include "KIVApp.h"
#include "AboutDlg.h"
#include "KIVDoc.h"
#include "MainFrame.h"
#include "ResourceIds.h"
#include "ShellExecPath.h"
#include "drive/DriveState.h"
#include "fileops/FileTask.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include "password/PwdDlg.h"
#include "views/DriveView.h"
#include "views/FileView.h"
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <new>

BEGIN_MESSAGE_MAP(CKIVApp, CWinApp)
    ON_COMMAND(ID_APP_ABOUT, &CKIVApp::OnAppAbout)
    ON_COMMAND(ID_FILE_NEW, &CWinApp::OnFileNew)
END_MESSAGE_MAP()

// No application name: the framework takes the title from string 57344.
CKIVApp::CKIVApp()
    : CWinApp(nullptr), m_bRegistered(FALSE), m_bVista(FALSE), m_ppShellSources(nullptr),
      m_ppShellTargets(nullptr), m_nShellCount(0), m_nShellHeader(0), m_bShellListTaken(FALSE), m_hMutex(nullptr) {}

CKIVApp::~CKIVApp() { FreeShellList(); }

CString CKIVApp::GetDrivePath() const { return m_strDrivePath; }

BOOL CKIVApp::InitInstance() {
    TakeShellList();

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
    SetRegistryKey(L"本機 AppWizard 所產生的應用程式");
    LoadStdProfileSettings(4);

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
    if (!cmdInfo.m_strFileName.IsEmpty()) return ShellLaunch(cmdInfo.m_strFileName);
    return DriveRun();
}

namespace {
// Whether the drive folder's drive holds its password file; FALSE with the
// text that names the missing drive. A file that is there but cannot be
// opened is left to the tasks, which say why.
BOOL PasswordDriveThere(CString& strMissing) {
    CPwdDlg dlg;
    if (!dlg.PreparePasswordPath(FALSE)) {
        strMissing = PwdDriveMissingText(CString());
        return FALSE;
    }
    if (GetFileAttributesW(dlg.m_strPwdPath) != INVALID_FILE_ATTRIBUTES || !IsPwdFileMissing(GetLastError()))
        return TRUE;
    // A file where the password folder belongs is no missing drive.
    strMissing = PwdPathBlockedText(dlg.m_strPwdPath);
    if (strMissing.IsEmpty()) strMissing = PwdDriveMissingText(dlg.m_strPwdPath);
    return FALSE;
}
}  // namespace

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
        // A locked card cannot take its first password: said as such, and
        // the installation is not the drive's fault, so it stays as it is.
        if (IsWriteProtected(m_strDrivePath, GetLastError())) {
            AfxMessageBox(WriteProtectedText(m_strDrivePath));
            return FALSE;
        }
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

BOOL CKIVApp::IsRegistrationLine(LPCWSTR pszWord) const {
    int n = lstrlenW(pszWord);
    return m_strDrivePath.Left(n) == pszWord && (m_strDrivePath.GetLength() == n || m_strDrivePath[n] == L' ');
}

BOOL CKIVApp::InstalledCheck() {
    // The registration lines do their registration and nothing else: never
    // a window, the mutex or an installation.
    BOOL bSetReg = IsRegistrationLine(L"set_reg"), bDelReg = IsRegistrationLine(L"del_reg");
    // Without regard to case: the system may spell the same folder
    // C:\users\... in one answer and C:\Users\... in another.
    if (GetFolderPart(m_strModulePath).CompareNoCase(m_strInstallDir) != 0) {
        // Only the installed copy registers: the open command names the
        // program that writes it.
        if (bSetReg || bDelReg) return FALSE;
        if (!InstallSelf()) {
            ReportInstallFailure(GetLastError());
            return FALSE;
        }
        WriteShellExtDll();
        CString folder = GetFolderPart(GetModulePath());
        CString params;
        if (m_bVista) {
            params.Format(L"-g set_reg %s", (LPCWSTR)folder);
            ShellExecuteW(nullptr, L"runas", m_strInstalledExe, params, nullptr, SW_SHOWNORMAL);
        }
        params.Format(L"-g %s", (LPCWSTR)folder);
        ShellExecuteW(nullptr, L"open", m_strInstalledExe, params, nullptr, SW_SHOWNORMAL);
        return TRUE;
    }
    if (bSetReg) {
        RegisterShellFileTypes(TRUE);
        SetShellExecPath(m_strDrivePath.Mid(8));
        RegisterShellExt();
        return TRUE;
    }
    if (bDelReg) {
        DeleteShellExecPath();
        UnregisterShellFileTypes();
        UnregisterShellExt();
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
    EnableShellOpen();
    RegisterShellFileTypes(TRUE);
    SetShellExecPath(m_strDrivePath);
    RegisterShellExt();
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    m_bRegistered = TRUE;

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

int CKIVApp::ExitInstance() {
    UndoRegistration();
    return CWinApp::ExitInstance();
}

void CKIVApp::UndoRegistration() {
    if (m_bRegistered) {
        // Cleared first, so that a second call, even one made while this
        // one runs, finds nothing left to do.
        m_bRegistered = FALSE;
        // Only the drag folders this run made: <temp>\KIV itself may be the
        // drive's password folder (the temporary folder at the drive's root),
        // or hold another program's files.
        m_dragFolders.RemoveAll(m_strDrivePath.Left(2), m_strPwdFile);
        if (m_bVista) {
            // The trailing blank belongs to the line: it marks the word's end.
            ShellExecuteW(nullptr, L"runas", m_strInstalledExe, L"-g del_reg ", nullptr, SW_SHOWNORMAL);
        } else {
            DeleteShellExecPath();
            UnregisterShellFileTypes();
            UnregisterShellExt();
        }
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    }
}

BOOL CKIVApp::ReadShellExecPath(CString& strFolder) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"KVFile\\ShellExecPath", 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    WCHAR buf[261] = {0};
    DWORD cb = 260 * sizeof(WCHAR), type = 0;
    LONG r = RegQueryValueExW(hKey, nullptr, nullptr, &type, (BYTE*)buf, &cb);
    RegCloseKey(hKey);
    // A value another program wrote is taken only as a terminated string
    // that a path can be built from.
    if (r != ERROR_SUCCESS || type != REG_SZ || cb < 2 * sizeof(WCHAR) || cb % sizeof(WCHAR)) return FALSE;
    size_t n = cb / sizeof(WCHAR);
    if (buf[n - 1] != 0 || wcslen(buf) != n - 1 || n - 1 > 259) return FALSE;
    strFolder = buf;
    return TRUE;
}

BOOL CKIVApp::ShellLaunch(const CString& strArg) {
    if (!ReadShellExecPath(m_strDrivePath)) {
        AfxMessageBox(L"Open Register Failed");
        return FALSE;
    }
    // The record outlives a run whose exit never undid it (declined
    // elevation, a killed process, a power cut), and its letter may now
    // name another drive or none. A drive without the password file is not
    // the program's: nothing is done or made there, and the user learns
    // which drive the program needs.
    CString strMissing;
    if (!PasswordDriveThere(strMissing)) {
        AfxMessageBox(strMissing);
        return FALSE;
    }
    if (strArg == L"uncompress") {
        OnShellUncompress();
        return TRUE;
    }
    if (strArg == L"compress") {
        OnShellCompress();
        return TRUE;
    }
    return OpenArchive(strArg);
}

BOOL CKIVApp::OpenArchive(const CString& strArchive) {
    // Only an existing archive file, named by its full path, is opened: the
    // archive is deleted after its batch, so nothing else may get that far.
    DWORD attrs = GetFileAttributesW(AfxExactPathForm(strArchive));
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY) || !IsFullPath(strArchive) ||
        strArchive.Right(4).CompareNoCase(L".kvf") != 0)
        return FALSE;
    // Decompressed only into a file of its own beside it: a name with
    // nothing before ".kvf" has no name to restore, and its task would copy
    // the archive onto itself and succeed.
    CString written = DecompressedPath(strArchive);
    if (GetFileNamePart(strArchive).GetLength() <= 4 || IsSamePath(written, strArchive)) return FALSE;
    CFileTaskThread* pBatch = new (std::nothrow) CFileTaskThread;
    if (!pBatch) return FALSE;
    pBatch->AddTask(strArchive, DecompressTargetBeside(strArchive, FALSE), TASK_DECOMPRESS);
    int result = pBatch->Start(TRUE);
    delete pBatch;
    // Only a decompress that succeeded wrote the file: after a failure or a
    // No, a file of that name is an older one, which is neither opened as
    // the archive's content nor a reason to delete the archive.
    if (result != IDOK || GetFileAttributesW(AfxExactPathForm(written)) == INVALID_FILE_ATTRIBUTES) return TRUE;
    DeleteFolderTree(strArchive);
    // The program that opens it gets a plain path, by which it would open
    // another file (tdo. would be tdo) or a device: said, not opened.
    if (!AfxIsPlainPathExact(written)) {
        ShowTaskError(written + TaskString(IDS_NAME_NOT_PLAIN), L"KIV");
        return TRUE;
    }
    ShellExecuteW(nullptr, L"open", written, nullptr, nullptr, SW_SHOWNORMAL);
    return TRUE;
}

void CKIVApp::OnAppAbout() {
    CAboutDlg dlg;
    dlg.DoModal();
}
