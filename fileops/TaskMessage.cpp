#include "fileops/TaskMessage.h"
#include "framework/Win.h"

CString TaskString(UINT nID) {
    CString s;
    s.LoadString(nID);
    return s;
}

namespace {
thread_local HWND t_hTaskDialog = nullptr;
}

void SetTaskDialog(HWND hDlg) { t_hTaskDialog = hDlg; }

int ShowTaskError(const CString& strText, const CString& strCaption) {
    // Without waiting for the dialog's thread: it may be waiting for this
    // one. A window destroyed meanwhile is simply not shown.
    if (t_hTaskDialog && IsWindow(t_hTaskDialog)) ShowWindowAsync(t_hTaskDialog, SW_SHOWNA);
    // On a worker thread this is the main window the thread was started
    // with; in the runs without a main window the box has no owner.
    CWnd* pMain = AfxGetMainWnd();
    return MessageBoxExW(pMain ? pMain->GetSafeHwnd() : nullptr, strText, strCaption,
                         MB_ICONERROR | MB_SETFOREGROUND, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL));
}
