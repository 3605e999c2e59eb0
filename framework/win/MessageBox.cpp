#include "MessageBox.h"
#include "WinApp.h"

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT) {
    HWND hOwner = nullptr;
    CWnd* pMain = AfxGetMainWnd();
    if (pMain && ::IsWindow(pMain->m_hWnd)) {
        hOwner = pMain->GetTopLevelParent()->GetSafeHwnd();
        // Over the main window's active dialog rather than under it.
        HWND hPopup = ::GetLastActivePopup(hOwner);
        if (hPopup && ::IsWindowVisible(hPopup) && ::IsWindowEnabled(hPopup)) hOwner = hPopup;
    } else {
        hOwner = ::GetActiveWindow();
    }
    if (!(nType & MB_ICONMASK)) nType |= MB_ICONEXCLAMATION;
    return ::MessageBoxW(hOwner, lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
    CString text;
    text.LoadString(nIDPrompt);
    if (nIDHelp == (UINT)-1) nIDHelp = nIDPrompt;
    return AfxMessageBox(text, nType, nIDHelp);
}
