// CCmdUI: one command's user interface (a menu item, a toolbar button or a
// status-bar pane) while its update handler decides its state.
#pragma once
#include "Wnd.h"

class CCmdUI {
public:
    CCmdUI();
    virtual ~CCmdUI() {}

    UINT m_nID;
    UINT m_nIndex;       // position in the menu, toolbar or status bar
    HMENU m_hMenu;       // the menu of a menu item, else NULL
    CWnd* m_pOther;      // the toolbar or status bar, else NULL
    BOOL m_bEnableChanged;

    virtual void Enable(BOOL bOn = TRUE);
    virtual void SetCheck(int nCheck = 1);  // 0 off, 1 on
    virtual void SetRadio(BOOL bOn = TRUE);
    virtual void SetText(LPCTSTR lpszText);

    // Asks pTarget's routing for the update handler; with no handler and
    // bDisableIfNoHandler, the item is enabled only when a command handler exists.
    BOOL DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);
};
