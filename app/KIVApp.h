// CKIVApp: the program's one application object. Start-up, installation and
// registration build on these members.
#pragma once
#include "framework/Win.h"

class CKIVApp : public CWinApp {
public:
    CKIVApp();
    ~CKIVApp() override;

    // The drive folder the program was started from, as E: or E:\tools
    // (no trailing backslash); empty when not known.
    CString GetDrivePath() const;

    CString m_strInstallDir;    // the per-user install folder ...\KIV
    CString m_strModulePath;    // the running program file
    CString m_strInstalledExe;  // the program file in the install folder
    CString m_strShellExtDll;   // the shell extension module in the install folder
    CString m_strDrivePath;     // see GetDrivePath
    CString m_strPwdFile;       // the drive's password file (main run)
    BOOL m_bRegistered;         // this run registered itself; the exit undoes it
    BOOL m_bVista;              // the OS major version is exactly 6

    // The path list handed over by the shell extension.
    LPWSTR* m_ppShellSources;
    LPWSTR* m_ppShellTargets;
    UINT m_nShellCount;
    UINT m_nShellHeader;
};
