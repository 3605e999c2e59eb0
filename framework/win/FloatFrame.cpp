#include "FloatFrame.h"
#include "DockContext.h"
#include "FrameWnd.h"
#include <windowsx.h>

IMPLEMENT_DYNAMIC(CFloatFrame, CWnd)

namespace {
const DWORD kFloatStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
const DWORD kFloatExStyle = WS_EX_TOOLWINDOW;
}  // namespace

BOOL CFloatFrame::Create(CControlBar* pBar) {
    if (!pBar || !pBar->m_pDockSite) return FALSE;
    m_pBar = pBar;
    LPCTSTR cls = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW), (HBRUSH)(COLOR_BTNFACE + 1));
    CString title;
    pBar->GetWindowText(title);
    return CWnd::CreateEx(kFloatExStyle, cls, title, kFloatStyle, 0, 0, 0, 0, pBar->m_pDockSite->m_hWnd, nullptr);
}

void CFloatFrame::TakeBar(POINT ptScreen) {
    m_pBar->m_pFloatFrame = this;
    m_pBar->m_dwStyle |= CBRS_FLOATING;
    ::SetParent(m_pBar->m_hWnd, m_hWnd);
    // No gripper in a floating window.
    ::SetWindowPos(m_pBar->m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ::SetWindowPos(m_hWnd, nullptr, ptScreen.x, ptScreen.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RecalcLayout();
    m_pBar->OnBarPlaced();
}

void CFloatFrame::RecalcLayout() {
    if (!m_pBar) return;
    SIZE sz = m_pBar->CalcFixedLayout(TRUE);
    ::MoveWindow(m_pBar->m_hWnd, 0, 0, sz.cx, sz.cy, TRUE);
    RECT rc = {0, 0, sz.cx, sz.cy};
    ::AdjustWindowRectEx(&rc, kFloatStyle, FALSE, kFloatExStyle);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CFloatFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    CFrameWnd* pSite = m_pBar ? m_pBar->m_pDockSite : nullptr;
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
        // The bar's commands and notifications belong to its frame.
        if (pSite) return pSite->SendMessage(message, wParam, lParam);
        break;
    case WM_NCLBUTTONDOWN:
        // The caption drags the bar itself, not only this window.
        if (wParam == HTCAPTION && m_pBar && m_pBar->m_dwDockStyle) {
            CDockContext drag(m_pBar);
            drag.Track(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        break;
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTCAPTION && pSite && m_pBar->m_nLastDockID) {
            pSite->DockControlBar(m_pBar, m_pBar->m_nLastDockID);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (pSite) pSite->ShowControlBar(m_pBar, FALSE, FALSE);
        return 0;
    case WM_MOUSEACTIVATE:
        // A click on the palette leaves the frame active.
        return MA_NOACTIVATE;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CFloatFrame::PostNcDestroy() {
    if (m_pBar && m_pBar->m_pFloatFrame == this) {
        m_pBar->m_pFloatFrame = nullptr;
        m_pBar->m_dwStyle &= ~CBRS_FLOATING;
    }
    delete this;
}
