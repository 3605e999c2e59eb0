// The explorer window inside a test process, made as the installed copy's
// main run makes it: the drive's password file (abc123), the common
// controls and OLE, the document template, then the application's MainRun.
#pragma once
#include "framework/Afx.h"
#include <functional>
#include <vector>
#include <commctrl.h>

// strDrivePath is the drive folder the run is for ("E:", or "e:" to check
// letter case). A fatal test failure when the window was not made.
void OpenMainWindow(class CKIVApp& app, const CString& strDrivePath, const std::function<BOOL()>& mainRun);

// The main window's folder tree (pane 0, 0).
class CTreeCtrl& MainTree();
// The first child of parent with this text; NULL when none.
HTREEITEM TreeChildNamed(HTREEITEM parent, LPCWSTR name);
// The texts of parent's children, in the tree's order.
std::vector<CString> TreeChildTexts(HTREEITEM parent);
