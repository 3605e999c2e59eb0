#include "Menu.h"
#include "Module.h"

BOOL CMenu::LoadMenu(UINT nIDResource) {
    DestroyMenu();
    m_hMenu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
    m_bOwned = m_hMenu != nullptr;
    return m_hMenu != nullptr;
}

BOOL CMenu::Attach(HMENU hMenu) {
    if (!hMenu || m_hMenu) return FALSE;
    m_hMenu = hMenu;
    m_bOwned = FALSE;
    return TRUE;
}

HMENU CMenu::Detach() {
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    m_bOwned = FALSE;
    delete[] m_pSubMenus;
    m_pSubMenus = nullptr;
    m_nSubMenus = 0;
    return h;
}

BOOL CMenu::DestroyMenu() {
    HMENU h = m_hMenu;
    BOOL bOwned = m_bOwned;
    Detach();
    return (h && bOwned) ? ::DestroyMenu(h) : FALSE;
}

CMenu* CMenu::GetSubMenu(int nPos) {
    HMENU h = ::GetSubMenu(m_hMenu, nPos);
    if (!h) return nullptr;
    if (!m_pSubMenus) {
        m_nSubMenus = ::GetMenuItemCount(m_hMenu);
        if (m_nSubMenus <= 0) return nullptr;
        m_pSubMenus = new CMenu[m_nSubMenus];
    }
    if (nPos < 0 || nPos >= m_nSubMenus) return nullptr;
    CMenu& sub = m_pSubMenus[nPos];
    if (sub.m_hMenu != h) {
        sub.Detach();
        sub.Attach(h);
    }
    return &sub;
}
