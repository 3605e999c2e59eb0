#include "SystemTray.h"
#include <cstring>

IMPLEMENT_DYNAMIC(CSystemTray, CObject)

CSystemTray::CSystemTray() : m_pWnd(nullptr), m_bShown(FALSE) { memset(&m_nid, 0, sizeof m_nid); }

CSystemTray::~CSystemTray() {
    if (m_bShown) {
        m_nid.uFlags = 0;
        Shell_NotifyIconW(NIM_DELETE, &m_nid);
        m_bShown = FALSE;
    }
}

BOOL CSystemTray::AddTrayIcon(CWnd* pWnd) {
    if (LOBYTE(LOWORD(GetVersion())) < 4) {
        m_bShown = FALSE;
        return FALSE;
    }
    if (!pWnd || !::IsWindow(pWnd->GetSafeHwnd())) {
        m_bShown = FALSE;
        return FALSE;
    }
    // The layout up to the item GUID, without the balloon icon: the size the
    // shell of this platform expects for that set of fields.
    m_nid.cbSize = NOTIFYICONDATAW_V3_SIZE;
    m_nid.hWnd = pWnd->GetSafeHwnd();
    m_nid.uID = IDR_TRAY_ICON_ID;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    m_nid.hIcon = nullptr;
    lstrcpynW(m_nid.szTip, L"KIV", 64);
    m_pWnd = pWnd;
    m_bShown = Shell_NotifyIconW(NIM_ADD, &m_nid);
    return m_bShown;
}

BOOL CSystemTray::SetTrayIcon() {
    HICON hIcon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_KIV_ICON));
    if (!m_bShown) return FALSE;
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = hIcon;
    return Shell_NotifyIconW(NIM_MODIFY, &m_nid);
}
