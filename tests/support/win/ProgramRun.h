// Starting the program (or its installed copy) as its own process from a
// test, waiting for it, and the registry and Wine settings around it.
#pragma once
#include "framework/Afx.h"

// A file beside the test program (the build folder): KIV.exe, KIVShellExt.dll.
CString BuiltFile(LPCWSTR pszName);
// Starts exe with the arguments, in E:\; the process handle (NULL on failure).
HANDLE StartProgram(const CString& strExe, const CString& strArgs, DWORD* pPid = nullptr);
// Waits (pumping this thread's messages) for the process to end and closes
// the handle; its exit code, or -1 on timeout.
int WaitExit(HANDLE hProcess, DWORD timeoutMs);
CString ProcessImage(DWORD pid);
// Whether a process with this file name (e.g. "regsvr32.exe") runs.
bool ProcessRunning(LPCWSTR pszExeName);
// The Windows version Wine reports to programs of this file name
// ("winxp64"); empty restores the prefix's default.
void SetWineVersion(LPCWSTR pszExeName, LPCWSTR pszVersion);
// The default (or named) value of a key under HKEY_CLASSES_ROOT or
// HKEY_LOCAL_MACHINE; "<missing>" when it cannot be read.
CString RegText(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszValue = nullptr);
bool RegKeyExists(HKEY hRoot, LPCWSTR pszKey);
