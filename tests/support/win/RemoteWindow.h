// Reading another process's windows: the control texts that need a buffer
// in the owning process go through memory allocated there.
#pragma once
#include "framework/Afx.h"
#include <commctrl.h>
#include <functional>

// The first visible top-level window of the process for which pred holds;
// NULL when none does before the timeout (this thread's messages are pumped).
HWND WaitForProcessWindow(DWORD pid, const std::function<bool(HWND)>& pred, DWORD timeoutMs);
// Any process other than this one.
HWND WaitForForeignWindow(const std::function<bool(HWND)>& pred, DWORD timeoutMs);
CString WindowTextOf(HWND h);
CString ClassNameOf(HWND h);
// The first descendant of the window with this class; NULL when none.
HWND FindDescendant(HWND hParent, LPCWSTR cls);

CString RemoteTreeItemText(HWND hTree, HTREEITEM hItem);
CString RemoteListItemText(HWND hList, int nItem, int nSubItem);
CString RemoteStatusText(HWND hStatus, int nPart);
// The item's rectangle of that part (LVIR_BOUNDS, LVIR_LABEL, ...), in the
// list's client coordinates; empty when the list has no such item.
RECT RemoteListItemRect(HWND hList, int nItem, int nPart);
