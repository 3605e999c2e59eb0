// CMenu: a menu handle with the framework's members.
#pragma once
#include "../Afx.h"

class CMenu {
public:
    CMenu() : m_hMenu(nullptr), m_bOwned(FALSE) {}
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu;
    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }

    // The menu resource nIDResource of the resource module; the object owns it.
    BOOL LoadMenu(UINT nIDResource);
    BOOL Attach(HMENU hMenu);  // not owned: DestroyMenu only lets go
    HMENU Detach();
    // Destroys an owned menu (with its sub-menus), lets go of an attached one.
    BOOL DestroyMenu();

    // A view of sub-menu nPos that lives as long as this object; NULL when none.
    CMenu* GetSubMenu(int nPos);
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
        return ::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable);
    }
    UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck) {
        return (UINT)::CheckMenuItem(m_hMenu, nIDCheckItem, nCheck);
    }
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, HWND hOwner, LPCRECT lpRect = nullptr) {
        return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, hOwner, lpRect);
    }

private:
    BOOL m_bOwned;
    CMenu* m_pSubMenus = nullptr;  // views handed out by GetSubMenu
    int m_nSubMenus = 0;
};
