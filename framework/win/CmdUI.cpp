#include "CmdUI.h"

CCmdUI::CCmdUI() : m_nID(0), m_nIndex(0), m_hMenu(nullptr), m_pOther(nullptr), m_bEnableChanged(FALSE) {}

void CCmdUI::Enable(BOOL bOn) {
    if (m_hMenu)
        ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
    if (m_hMenu) ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetRadio(BOOL bOn) {
    if (!m_hMenu) {
        SetCheck(bOn);
        return;
    }
    MENUITEMINFOW mii = {sizeof mii};
    mii.fMask = MIIM_FTYPE;
    ::GetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mii);
    mii.fType = bOn ? (mii.fType | MFT_RADIOCHECK) : (mii.fType & ~MFT_RADIOCHECK);
    ::SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mii);
    ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(LPCTSTR lpszText) {
    if (m_hMenu) {
        MENUITEMINFOW mii = {sizeof mii};
        mii.fMask = MIIM_STRING;
        mii.dwTypeData = const_cast<LPWSTR>(lpszText);
        ::SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mii);
    }
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    if (m_nID == 0 || !pTarget) return TRUE;
    m_bEnableChanged = FALSE;
    BOOL bHandled = pTarget->OnCmdMsg(m_nID, (int)CN_UPDATE_COMMAND_UI, this, nullptr);
    if (bDisableIfNoHandler && !m_bEnableChanged) {
        int info = 0;
        Enable(pTarget->OnCmdMsg(m_nID, CN_COMMAND, this, &info));
    }
    return bHandled;
}
