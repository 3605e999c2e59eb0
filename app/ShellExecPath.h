// The registry value through which the running copy tells later launches
// (the shell's open command, the shell extension's commands) where its drive
// folder is: the default value of HKEY_CLASSES_ROOT\KVFile\ShellExecPath.
#pragma once
#include "framework/Afx.h"

// Writes the drive folder as REG_SZ, creating the key when missing.
BOOL SetShellExecPath(const CString& strDrivePath);
// Removes KVFile\ShellExecPath, then KVFile when nothing else is left below
// it; a key with sub-keys stops the walk. 0 only when out of memory.
BOOL DeleteShellExecPath();
