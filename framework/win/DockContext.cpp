#include "DockContext.h"
#include "DockBar.h"
#include "FloatFrame.h"
#include "FrameWnd.h"
#include <algorithm>
#include <cstdlib>
#include <windowsx.h>

DWORD CDockContext::DockSideAt(const RECT& rcDock, POINT pt, int nMargin, DWORD dwAllowed) {
    RECT outer = rcDock;
    ::InflateRect(&outer, nMargin, nMargin);
    if (!::PtInRect(&outer, pt)) return 0;
    const struct {
        DWORD dwSide;
        int nDist;
    } edges[] = {{CBRS_ALIGN_TOP, std::abs(pt.y - rcDock.top)},
                 {CBRS_ALIGN_BOTTOM, std::abs(pt.y - rcDock.bottom)},
                 {CBRS_ALIGN_LEFT, std::abs(pt.x - rcDock.left)},
                 {CBRS_ALIGN_RIGHT, std::abs(pt.x - rcDock.right)}};
    DWORD side = 0;
    int best = nMargin + 1;
    for (const auto& e : edges) {
        if ((dwAllowed & e.dwSide) && e.nDist < best) {
            best = e.nDist;
            side = e.dwSide;
        }
    }
    return side;
}

DWORD CDockContext::Target(POINT pt, RECT* pRect) const {
    CFrameWnd* pSite = m_pBar->m_pDockSite;
    RECT dock = pSite->GetDockingArea();
    DWORD allowed = m_pBar->m_dwDockStyle & pSite->GetDockStyle();
    DWORD side = DockSideAt(dock, pt, std::max((int)m_sizeHorz.cy, (int)m_sizeVert.cx), allowed);
    switch (side) {
    case CBRS_ALIGN_TOP:
        *pRect = {dock.left, dock.top, dock.left + m_sizeHorz.cx, dock.top + m_sizeHorz.cy};
        break;
    case CBRS_ALIGN_BOTTOM:
        *pRect = {dock.left, dock.bottom - m_sizeHorz.cy, dock.left + m_sizeHorz.cx, dock.bottom};
        break;
    case CBRS_ALIGN_LEFT:
        *pRect = {dock.left, dock.top, dock.left + m_sizeVert.cx, dock.top + m_sizeVert.cy};
        break;
    case CBRS_ALIGN_RIGHT:
        *pRect = {dock.right - m_sizeVert.cx, dock.top, dock.right, dock.top + m_sizeVert.cy};
        break;
    default:
        *pRect = {pt.x - m_ptOffset.x, pt.y - m_ptOffset.y, pt.x - m_ptOffset.x + m_sizeFloat.cx,
                  pt.y - m_ptOffset.y + m_sizeFloat.cy};
        break;
    }
    return side;
}

void CDockContext::DrawOutline(const RECT& rc, BOOL bFloat) {
    HDC dc = ::GetDC(nullptr);
    if (!dc) return;
    // Inverted, so that drawing the same outline again takes it away.
    HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(GRAY_BRUSH));
    int t = bFloat ? 3 : 1;
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    ::PatBlt(dc, rc.left, rc.top, cx, t, PATINVERT);
    ::PatBlt(dc, rc.left, rc.bottom - t, cx, t, PATINVERT);
    ::PatBlt(dc, rc.left, rc.top + t, t, cy - 2 * t, PATINVERT);
    ::PatBlt(dc, rc.right - t, rc.top + t, t, cy - 2 * t, PATINVERT);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
}

void CDockContext::Track(POINT ptScreen) {
    CFrameWnd* pSite = m_pBar->m_pDockSite;
    if (!pSite || !m_pBar->m_hWnd) return;
    HWND hDragged = m_pBar->IsFloating() ? m_pBar->m_pFloatFrame->m_hWnd : m_pBar->m_hWnd;
    RECT wr = {};
    ::GetWindowRect(hDragged, &wr);

    // Both shapes the bar can take; its own layout is put back at once.
    BOOL bHorz = !m_pBar->IsVertDocked();
    m_sizeHorz = m_pBar->CalcFixedLayout(TRUE);
    m_sizeVert = m_pBar->CalcFixedLayout(FALSE);
    m_pBar->CalcFixedLayout(bHorz);
    RECT fr = {0, 0, m_sizeHorz.cx, m_sizeHorz.cy};
    ::AdjustWindowRectEx(&fr, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
    m_sizeFloat = {fr.right - fr.left, fr.bottom - fr.top};
    // The pointer keeps its place on the outline, inside the floating shape.
    m_ptOffset = {std::min((int)(ptScreen.x - wr.left), (int)m_sizeFloat.cx - 1),
                  std::min((int)(ptScreen.y - wr.top), (int)m_sizeFloat.cy - 1)};

    HWND hCapture = m_pBar->m_hWnd;
    ::SetCapture(hCapture);
    const int cxDrag = ::GetSystemMetrics(SM_CXDRAG), cyDrag = ::GetSystemMetrics(SM_CYDRAG);
    BOOL bMoved = FALSE, bDone = FALSE, bCancel = FALSE, bDrawn = FALSE, bLastFloat = FALSE;
    RECT rcLast = {};
    POINT ptEnd = ptScreen;
    while (!bDone && !bCancel) {
        MSG msg;
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            ::PostQuitMessage((int)msg.wParam);  // the quit belongs to the outer loop
            bCancel = TRUE;
            break;
        }
        if (r == -1) break;
        switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            // In the capturing window's client coordinates.
            ptEnd = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            ::ClientToScreen(msg.hwnd, &ptEnd);
            if (msg.message == WM_LBUTTONUP) bDone = TRUE;
            if (!bMoved && std::abs(ptEnd.x - ptScreen.x) < cxDrag && std::abs(ptEnd.y - ptScreen.y) < cyDrag)
                break;
            bMoved = TRUE;
            if (bDone) break;
            RECT rc = {};
            BOOL bFloat = Target(ptEnd, &rc) == 0;
            if (bDrawn) DrawOutline(rcLast, bLastFloat);
            DrawOutline(rc, bFloat);
            rcLast = rc;
            bLastFloat = bFloat;
            bDrawn = TRUE;
            break;
        }
        case WM_KEYDOWN:
            if (msg.wParam == VK_ESCAPE) bCancel = TRUE;
            break;
        case WM_RBUTTONDOWN:
            bCancel = TRUE;
            break;
        default:
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            break;
        }
        if (::GetCapture() != hCapture) bCancel = TRUE;
    }
    if (bDrawn) DrawOutline(rcLast, bLastFloat);
    if (::GetCapture() == hCapture) ::ReleaseCapture();
    if (bCancel || !bMoved) return;

    RECT rc = {};
    DWORD side = Target(ptEnd, &rc);
    if (side) pSite->DockControlBar(m_pBar, CDockBar::IdOfSide(side));
    else pSite->FloatControlBar(m_pBar, POINT{rc.left, rc.top});
}
