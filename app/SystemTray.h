// CSystemTray: the program's icon in the notification area. The main frame
// adds it while it is created; the shell then posts WM_TRAY_NOTIFY to the
// owner (wParam the icon id, lParam the mouse message) for the tray menu.
#pragma once
#include "framework/Win.h"
#include <shellapi.h>

#define WM_TRAY_NOTIFY 0x8064
// The same number as the tray menu resource.
#define IDR_TRAY_ICON_ID 136
#define IDI_KIV_ICON 163

class CSystemTray : public CObject {
    DECLARE_DYNAMIC(CSystemTray)
public:
    CSystemTray();
    // Removes the icon when it is still shown.
    ~CSystemTray() override;

    // Adds the icon, without a picture yet, with the tip "KIV". 0 when the
    // OS is older than version 4, the owner is not a window, or the shell
    // refuses.
    BOOL AddTrayIcon(CWnd* pWnd);
    // Gives the shown icon the program's icon; 0 when it is not shown.
    BOOL SetTrayIcon();

    // Open to the owner: its real exit removes the icon with this same data
    // and clears m_bShown, so that the destructor then finds it gone.
    CWnd* m_pWnd;
    BOOL m_bShown;
    NOTIFYICONDATAW m_nid;
};
