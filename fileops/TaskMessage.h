// The task handlers' error box and string loading, shared so that every
// handler shows its failures the same way.
#pragma once
#include "framework/Afx.h"

// String-table text of nID (empty when the string is missing).
CString TaskString(UINT nID);

// MessageBoxExW owned by the application's main window as the calling
// thread sees it (no owner when there is none), MB_ICONERROR |
// MB_SETFOREGROUND, buttons in language 0x0404. Returns the box's result.
// On a batch's worker its progress dialog is shown first, hidden or not:
// the batch that failed can still be cancelled.
int ShowTaskError(const CString& strText, const CString& strCaption);

// The progress dialog of the batch that the calling thread runs (null when
// it runs none): the worker sets it for its whole run.
void SetTaskDialog(HWND hDlg);
