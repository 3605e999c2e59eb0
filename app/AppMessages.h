// The program's private window messages among the main frame, the views, the
// tray icon and the floating drop window. Those that carry a string pass the
// address of a string that lives only while the message is handled, so they
// are always sent, never posted; the frame's sends hold their addresses for
// that time (CHandOver), and their receivers take no other.
#pragma once
#include "framework/Afx.h"

// The shell's change notification (wParam the shell's block of the event,
// lParam the id of the process that made it: see CShellChangeEvent), and
// the frame's relays of it to both views, one per event (wParam the event's
// item-ID list pair, lParam the event).
const UINT WM_SHELL_CHANGE_NOTIFY = 0x464;
const UINT WM_SHELL_RENAME_ITEM = 0x465;
const UINT WM_SHELL_CREATE = 0x466;
const UINT WM_SHELL_DELETE = 0x467;
const UINT WM_SHELL_MKDIR = 0x468;
const UINT WM_SHELL_RMDIR = 0x469;
const UINT WM_SHELL_MEDIA_INSERTED = 0x46A;
const UINT WM_SHELL_MEDIA_REMOVED = 0x46B;
const UINT WM_SHELL_DRIVE_REMOVED = 0x46C;
const UINT WM_SHELL_DRIVE_ADDED = 0x46D;
const UINT WM_SHELL_UPDATE_DIR = 0x46E;
const UINT WM_SHELL_UPDATE_ITEM = 0x46F;
const UINT WM_SHELL_RENAME_FOLDER = 0x470;

// From the file list through the frame to the tree: wParam the folder's new
// name, lParam its old name or 0 for a new folder (both CString*, sent by
// SubFolderNotice::Send).
const UINT WM_SUBFOLDER_CHANGED = 0x8190;

// Between the frame and the floating drop window.
const UINT WM_DROPWIN_CLICK = 0x81F4;          // wParam 1: bring a visible frame forward
const UINT WM_DROPWIN_DRIVE_ARRIVED = 0x81F5;  // wParam CString*: drive root
const UINT WM_DROPWIN_DRIVE_REMOVED = 0x81F6;  // wParam CString*: drive root
const UINT WM_SHOW_MAIN = 0x81F7;              // show and restore a hidden frame

// Posted by the file list to itself: restarts the label edit of the item
// whose record is lParam after a refused name. Restarting from inside the end-of-edit notification
// would re-enter the control while it is still closing the old edit.
const UINT WM_RESTART_RENAME = 0x8191;
