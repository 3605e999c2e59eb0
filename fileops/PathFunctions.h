// Path and folder functions used throughout the program. Paths are UTF-16
// with the backslash as the only separator; only the functions that say so
// touch the file system, and none of them throws.
#pragma once
#include "framework/Afx.h"

// winbase.h keeps a 16-bit Windows macro of this name that would swallow
// the function below.
#ifdef GetFreeSpace
#undef GetFreeSpace
#endif

// The system folder, e.g. C:\windows\system32.
CString GetSystemDir();
// The drive of the Windows folder, e.g. C:.
CString GetWindowsDrive();
// The logon name of the current user.
CString GetLoginName();
// The per-user roaming application-data folder: the one built from the
// Windows drive and the logon name where it exists; else the one the shell
// names for the user (CSIDL_APPDATA) where that exists; else the system
// folder.
CString GetAppDataDir(BOOL bVersion6);
// The value of the environment variable "temp"; empty when it is not set or
// does not fit 260 characters. Callers must not build paths from an empty
// result: they would start at the root of the current drive.
CString GetTempDir();
// The full path of the program file.
CString GetModulePath();

// The text before the last backslash: E:\dir\file gives E:\dir, E:\file and
// E:\ give E:; a path without a backslash, or whose only one is the first
// character, comes back unchanged.
CString GetFolderPart(const CString& strPath);
// The text after the last backslash (empty for E:\dir\); a path without a
// backslash, or whose only one is the first character, comes back unchanged.
CString GetFileNamePart(const CString& strPath);
// The text after the last dot of the last path component; empty when that
// component has no dot or only a leading one (.kvf, E:\x.y\file).
CString GetExtension(const CString& strPath);
// path + "." + extension; a path ending with a backslash (a folder) comes
// back unchanged.
CString AppendExtension(const CString& strPath, const CString& strExt);
// The path without its extension when that extension equals strExt in any
// letter case (one extension only); otherwise the path unchanged.
CString StripExtensionIf(const CString& strPath, const CString& strExt);
// The extension is "kvf" in any letter case.
BOOL IsKvfFile(const CString& strPath);
// The file that decompressing an archive to this target restores: the
// target less one ".kvf" (a.kvf.kvf gives a.kvf). The decompress handler
// names its file so, and whatever acts on that file afterwards (removing
// the archive, opening the file, offering it to a drop) takes the name from
// here, so the extension comes off once.
CString DecompressedPath(const CString& strTarget);
// The target of a decompress task that restores a source beside itself: an
// archive file's own path (its handler takes the ".kvf" off, as above), a
// folder's path less one ".kvf" (the folder handler mirrors into the very
// folder it is given).
CString DecompressTargetBeside(const CString& strSource, BOOL bFolder);
// A drive path (X:\...) or a network path (\\server\...): not relative to
// a current folder or drive.
BOOL IsFullPath(const CString& strPath);

// Creates the folder and its missing parents; FALSE when the folder exists
// already or cannot be created.
BOOL CreateFolderTree(const CString& strPath);
// Deletes a file or a folder with everything in it, permanently and
// silently, through the shell; 0 on success, else the shell's nonzero code.
// An empty or relative path is refused with a nonzero code. A link to a
// folder, in the tree or the path itself, is removed as itself: nothing it
// points to is touched (the tree is then removed entry by entry, and a link
// that cannot be removed as itself fails the deletion). So is a tree whose
// path or any name in it the shell's plain paths cannot name
// (AfxIsPlainPathExact): tddir. goes, never tddir beside it.
int DeleteFolderTree(const CString& strPath);

// A folder that is a symbolic link or a junction (a reparse point): what it
// shows belongs to another place, which no walk of this program enters.
inline BOOL IsFolderLink(DWORD dwAttributes) {
    const DWORD dwLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & dwLink) == dwLink;
}
// Removes a link itself, never what it points to: TRUE when it is gone;
// FALSE with the system's error when it cannot be opened as itself or
// removed.
BOOL RemoveLink(const CString& strPath);
// The free bytes of the volume that holds the path (not the caller's quota);
// nonzero on success, 0 on failure with nFree untouched.
BOOL GetFreeSpace(const CString& strPath, ULONGLONG& nFree);
