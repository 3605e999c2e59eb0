#include "DockBar.h"
#include "FrameWnd.h"
#include <algorithm>

IMPLEMENT_DYNAMIC(CDockBar, CControlBar)

namespace {
struct SideId {
    DWORD dwAlign;
    UINT nID;
};
const SideId SIDES[] = {{CBRS_ALIGN_TOP, AFX_IDW_DOCKBAR_TOP},
                        {CBRS_ALIGN_BOTTOM, AFX_IDW_DOCKBAR_BOTTOM},
                        {CBRS_ALIGN_LEFT, AFX_IDW_DOCKBAR_LEFT},
                        {CBRS_ALIGN_RIGHT, AFX_IDW_DOCKBAR_RIGHT}};
}  // namespace

UINT CDockBar::IdOfSide(DWORD dwAlign) {
    for (const SideId& s : SIDES)
        if (s.dwAlign == dwAlign) return s.nID;
    return 0;
}

DWORD CDockBar::SideOfId(UINT nID) {
    for (const SideId& s : SIDES)
        if (s.nID == nID) return s.dwAlign;
    return 0;
}

BOOL CDockBar::Create(CFrameWnd* pFrame, UINT nID) {
    m_dwStyle = SideOfId(nID);
    if (!m_dwStyle || !pFrame) return FALSE;
    m_pDockSite = pFrame;
    LPCTSTR cls = AfxRegisterWndClass(0, ::LoadCursorW(nullptr, IDC_ARROW), (HBRUSH)(COLOR_BTNFACE + 1));
    RECT rc = {0, 0, 0, 0};
    return CWnd::CreateEx(0, cls, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rc, pFrame,
                          nID);
}

void CDockBar::DockControlBar(CControlBar* pBar) {
    if (std::find(m_arrBars.begin(), m_arrBars.end(), pBar) == m_arrBars.end()) m_arrBars.push_back(pBar);
    pBar->m_pDockBar = this;
    pBar->m_pDockSite = m_pDockSite;
    pBar->m_nLastDockID = GetDlgCtrlID();
    pBar->m_dwStyle = (pBar->m_dwStyle & ~(CBRS_ALIGN_ANY | CBRS_FLOATING)) | (m_dwStyle & CBRS_ALIGN_ANY);
    ::SetParent(pBar->m_hWnd, m_hWnd);
    // The gripper and the border come with the new place.
    ::SetWindowPos(pBar->m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    pBar->OnBarPlaced();
}

void CDockBar::RemoveControlBar(CControlBar* pBar) {
    m_arrBars.erase(std::remove(m_arrBars.begin(), m_arrBars.end(), pBar), m_arrBars.end());
    if (pBar->m_pDockBar == this) pBar->m_pDockBar = nullptr;
}

SIZE CDockBar::CalcFixedLayout(BOOL) {
    // Across the side the dock bar is as thick as its thickest visible bar.
    int thick = 0;
    for (CControlBar* p : m_arrBars) {
        if (!(p->GetStyle() & WS_VISIBLE)) continue;
        SIZE sz = p->CalcFixedLayout(IsHorz());
        thick = std::max(thick, (int)(IsHorz() ? sz.cy : sz.cx));
    }
    return IsHorz() ? SIZE{0, thick} : SIZE{thick, 0};
}

void CDockBar::LayoutBars() {
    int at = 0;
    for (CControlBar* p : m_arrBars) {
        if (!(p->GetStyle() & WS_VISIBLE)) continue;
        SIZE sz = p->CalcFixedLayout(IsHorz());
        if (IsHorz()) ::MoveWindow(p->m_hWnd, at, 0, sz.cx, sz.cy, TRUE);
        else ::MoveWindow(p->m_hWnd, 0, at, sz.cx, sz.cy, TRUE);
        at += IsHorz() ? sz.cx : sz.cy;
    }
}

void CDockBar::OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) {
    for (CControlBar* p : m_arrBars)
        if (p->GetStyle() & WS_VISIBLE) p->OnUpdateCmdUI(pTarget, bDisableIfNoHndler);
}

LRESULT CDockBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The bars' commands and notifications belong to the frame.
    if ((message == WM_COMMAND || message == WM_NOTIFY) && m_pDockSite)
        return m_pDockSite->SendMessage(message, wParam, lParam);
    return CControlBar::WindowProc(message, wParam, lParam);
}

void CDockBar::PostNcDestroy() {
    for (CControlBar* p : m_arrBars)
        if (p->m_pDockBar == this) p->m_pDockBar = nullptr;
    delete this;
}
