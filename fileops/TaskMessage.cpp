#include "fileops/TaskMessage.h"
#include "framework/Win.h"

CString TaskString(UINT nID) {
    CString s;
    s.LoadString(nID);
    return s;
}

int ShowTaskError(const CString& strText, const CString& strCaption) {
    // On a worker thread this is the main window the thread was started
    // with; in the runs without a main window the box has no owner.
    CWnd* pMain = AfxGetMainWnd();
    return MessageBoxExW(pMain ? pMain->GetSafeHwnd() : nullptr, strText, strCaption,
                         MB_ICONERROR | MB_SETFOREGROUND, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL));
}
