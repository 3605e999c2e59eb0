#include "Controls.h"
#include "Module.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CAnimateCtrl, CWnd)

BOOL CAnimateCtrl::Open(UINT nID) {
    return (BOOL)SendMessage(ACM_OPENW, (WPARAM)AfxGetResourceHandle(), (LPARAM)MAKEINTRESOURCEW(nID));
}
