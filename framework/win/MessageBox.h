// The framework's standard message box.
#pragma once
#include "../Afx.h"

// Caption: the application's title. Owner: the main window (its active popup),
// else the thread's active window. No icon named in nType: the exclamation icon.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// The text is string nIDPrompt.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
