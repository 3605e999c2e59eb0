// CKIVApp: the program's one application object. Start-up, installation and
// registration build on these members.
#pragma once
#include "DragFolders.h"
#include "framework/Win.h"

#define IDS_OLE_INIT_FAILED 100
#define IDS_INSERT_DRIVE 177
#define IDS_PROGRAM_RUNNING 178
#define IDS_LAUNCH_FROM_DRIVE 61204
// %s: the install folder, then the cause.
#define IDS_INSTALL_FAILED 61208
#define IDS_INSTALL_FOLDER_IS_FILE 61209
// The shell extension module the program carries and writes out.
#define IDR_SHELLEXT_MODULE 300

// How a path list from the shell extension is read: compress keeps each
// path as its target, uncompress takes the path without its extension.
enum ShellListMode { SHELL_LIST_COMPRESS = 1, SHELL_LIST_UNCOMPRESS = 2 };

class CKIVApp : public CWinApp {
public:
    CKIVApp();
    ~CKIVApp() override;

    // Decides from the command line what this process is for: the run from
    // the drive, or the installed copy's main run with the explorer window.
    BOOL InitInstance() override;

    // Undoes the main run's registrations (and removes the drag folders).
    int ExitInstance() override;
    // The exit's clean-up: the drag folders, the registrations and the
    // shell's association notice, once for a run that registered itself.
    // Called by ExitInstance and at the end of the Windows session, after
    // which the process is ended without reaching ExitInstance.
    void UndoRegistration();

    // Copies the running program into the install folder (made when
    // missing). FALSE, with the system's error, when the folder cannot be
    // made or the copy fails; so while the installed copy runs, since it
    // cannot be overwritten then.
    BOOL InstallSelf();
    // Says why InstallSelf failed with dwError: string 178 when the
    // installed program is in use (the installed copy runs); otherwise the
    // install folder and the cause, a file standing in the folder's place
    // or the system's words for the error.
    void ReportInstallFailure(DWORD dwError);
    // Writes the carried shell extension module into the install folder,
    // beside it first and then in its place; FALSE when it could not.
    BOOL WriteShellExtDll();
    // Start regsvr32 (silent) on the module; not waited for.
    BOOL RegisterShellExt();
    BOOL UnregisterShellExt();

    // Takes the path list the shell extension left on the clipboard,
    // parsed into m_ppShellSources / m_ppShellTargets; empty when it is
    // missing, already taken, chosen for the other command, or any of it is
    // malformed. A list read is marked taken on the clipboard (the taken
    // list in its place, nothing else touched), so it is never worked again
    // and the shell extension's next command may write its own.
    void ReadShellList(ShellListMode mode);
    // The parse itself, over nUnits 16-bit units; FALSE (and an empty list)
    // when the block is refused.
    BOOL ParseShellList(const WORD* pUnits, size_t nUnits, ShellListMode mode);
    void FreeShellList();
    // "compress" and "uncompress": one task per listed path, modal, no main
    // window, the sources left in place.
    void OnShellCompress();
    void OnShellUncompress();

    afx_msg void OnAppAbout();

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
    BOOL m_bShellListTaken;     // InitInstance took the list for this run's command

    HANDLE m_hMutex;            // the single-instance mutex "KIV" of the main run
    CDragFolders m_dragFolders; // the drag folders this run made; the exit removes them

protected:
    // Started from the drive: the program's drive must be removable, then
    // the user logs in (or creates the drive's first password) and the
    // installed check follows.
    BOOL DriveRun();
    BOOL IsOnRemovableDrive() const;
    // Not running from the install folder: install, then start the installed
    // copy with "-g" and the drive folder and end. Otherwise the main run.
    BOOL InstalledCheck();
    // The installed copy's run with the explorer window.
    BOOL MainRun();
    // Started by the shell with one argument: "compress", "uncompress" or
    // the path of an archive to decompress beside itself.
    BOOL ShellLaunch(const CString& strArg);
    // A "compress" or "uncompress" run takes its list first of all, before
    // anything slow: the shell extension's next command waits until then.
    void TakeShellList();
    BOOL OpenArchive(const CString& strArchive);
    void RunShellBatch(ShellListMode mode);
    // The drive folder from KVFile\ShellExecPath; FALSE when it is missing
    // or not a terminated string of 1 to 259 characters.
    static BOOL ReadShellExecPath(CString& strFolder);
    // "-g set_reg ..." or "-g del_reg " (the word, then a blank or the end).
    BOOL IsRegistrationLine(LPCWSTR pszWord) const;

    DECLARE_MESSAGE_MAP()
};
