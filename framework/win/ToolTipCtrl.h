// CToolTipCtrl: a tooltip control whose tools the owner adds by rectangle
// and feeds with relayed mouse messages.
#pragma once
#include "Wnd.h"

class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    // A popup tooltip owned by pParentWnd, plus dwStyle (TTS_...).
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);

    // A tool of pWnd over lpRectTool (pWnd's client coordinates) with the
    // text lpszText; the mouse messages reach it through RelayEvent.
    BOOL AddTool(CWnd* pWnd, LPCTSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool);
    void DelTool(CWnd* pWnd, UINT_PTR nIDTool);
    void RelayEvent(LPMSG lpMsg) { SendMessage(TTM_RELAYEVENT, 0, (LPARAM)lpMsg); }

    void SetTipBkColor(COLORREF clr) { SendMessage(TTM_SETTIPBKCOLOR, (WPARAM)clr); }
    void SetTipTextColor(COLORREF clr) { SendMessage(TTM_SETTIPTEXTCOLOR, (WPARAM)clr); }
    int SetMaxTipWidth(int iWidth) { return (int)SendMessage(TTM_SETMAXTIPWIDTH, 0, (LPARAM)iWidth); }
    // dwDuration is a TTDT_ kind, iTime in milliseconds.
    void SetDelayTime(DWORD dwDuration, int iTime) {
        SendMessage(TTM_SETDELAYTIME, (WPARAM)dwDuration, MAKELPARAM(iTime, 0));
    }
};
