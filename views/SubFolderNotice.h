// The file list's word to the tree that a sub-folder of the shown folder was
// renamed or made: WM_SUBFOLDER_CHANGED, sent through the main window, its
// parameters the addresses of the list's own name strings. Any program can
// post that message number with any values, so the tree reads the strings
// only while the list is handing exactly those over. User-interface thread
// only.
#pragma once
#include "framework/Afx.h"

namespace SubFolderNotice {
// Sends WM_SUBFOLDER_CHANGED to the window with the new name and the old
// name (null for a folder just made); the window's answer.
LRESULT Send(HWND hWnd, const CString& strNewName, const CString* pOldName);
// TRUE when wParam and lParam are the strings of a notice being sent now,
// so that they may be read.
BOOL IsHandedOver(WPARAM wParam, LPARAM lParam);
}  // namespace SubFolderNotice
