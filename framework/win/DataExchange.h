// Dialog data exchange: DoDataExchange binds control members to dialog items.
#pragma once
#include "Wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
    // The dialog item's handle; NULL when the dialog has no such item.
    HWND PrepareCtrl(int nIDC);
};

// Subclasses dialog item nIDC into rControl the first time (later calls keep it).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
