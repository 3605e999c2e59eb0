#include "Splitter.h"
#include "View.h"
#include "FrameWnd.h"

IMPLEMENT_DYNAMIC(CSplitterWnd, CWnd)

BEGIN_MESSAGE_MAP(CSplitterWnd, CWnd)
    ON_WM_SIZE()
END_MESSAGE_MAP()

CSplitterWnd::CSplitterWnd() : m_nRows(0), m_nCols(0), m_cxBar(6), m_nDragBar(-1) {}

BOOL CSplitterWnd::CreateStatic(CWnd* pParentWnd, int nRows, int nCols, DWORD dwStyle, UINT nID) {
    if (nRows != 1 || nCols < 1 || nCols > 16) return FALSE;
    m_nRows = nRows;
    m_nCols = nCols;
    m_colWidths.assign((size_t)nCols, 0);
    LPCTSTR cls = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_SIZEWE),
                                      (HBRUSH)(COLOR_BTNFACE + 1));
    RECT rc = {0, 0, 0, 0};
    return CWnd::CreateEx(0, cls, nullptr, dwStyle | WS_CHILD | WS_CLIPCHILDREN, rc, pParentWnd, nID);
}

BOOL CSplitterWnd::CreateView(int row, int col, CRuntimeClass* pViewClass, SIZE sizeInit,
                              CCreateContext* pContext) {
    if (row != 0 || col < 0 || col >= m_nCols || GetPane(row, col)) return FALSE;
    CObject* p = pViewClass ? pViewClass->CreateObject() : nullptr;
    CWnd* pWnd = p && p->IsKindOf(RUNTIME_CLASS(CWnd)) ? static_cast<CWnd*>(p) : nullptr;
    if (!pWnd) {
        delete p;
        return FALSE;
    }
    m_colWidths[(size_t)col] = sizeInit.cx;
    RECT rc = {0, 0, sizeInit.cx, sizeInit.cy};
    // A view that fails after its window existed deletes itself with it.
    if (!pWnd->Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, rc, this, (UINT)IdFromRowCol(row, col),
                      pContext))
        return FALSE;
    RecalcLayout();
    return TRUE;
}

CWnd* CSplitterWnd::GetPane(int row, int col) const {
    HWND h = ::GetDlgItem(m_hWnd, IdFromRowCol(row, col));
    if (!h) return nullptr;
    CWnd* p = FromHandlePermanent(h);
    return p ? p : FromHandle(h);
}

void CSplitterWnd::RecalcLayout() {
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    int x = 0;
    for (int c = 0; c < m_nCols; ++c) {
        HWND h = ::GetDlgItem(m_hWnd, IdFromRowCol(0, c));
        int cx = (c == m_nCols - 1) ? rc.right - x : m_colWidths[(size_t)c];
        if (cx < 0) cx = 0;
        if (h) ::MoveWindow(h, x, 0, cx, rc.bottom, TRUE);
        x += cx + m_cxBar;
    }
}

void CSplitterWnd::OnSize(UINT, int, int) {
    Default();
    RecalcLayout();
}

int CSplitterWnd::BarHitTest(int x) const {
    int left = 0;
    for (int c = 0; c + 1 < m_nCols; ++c) {
        left += m_colWidths[(size_t)c];
        if (x >= left && x < left + m_cxBar) return c;
        left += m_cxBar;
    }
    return -1;
}

void CSplitterWnd::ActivateNext(BOOL bPrev) {
    HWND focus = ::GetFocus();
    int cur = -1;
    for (int c = 0; c < m_nCols; ++c) {
        HWND h = ::GetDlgItem(m_hWnd, IdFromRowCol(0, c));
        if (h && (h == focus || ::IsChild(h, focus))) cur = c;
    }
    int next = cur < 0 ? 0 : (cur + (bPrev ? m_nCols - 1 : 1)) % m_nCols;
    if (HWND h = ::GetDlgItem(m_hWnd, IdFromRowCol(0, next))) ::SetFocus(h);
}

LRESULT CSplitterWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN: {
        m_nDragBar = BarHitTest((short)LOWORD(lParam));
        if (m_nDragBar >= 0) ::SetCapture(m_hWnd);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_nDragBar >= 0 && ::GetCapture() == m_hWnd) {
            int x = (short)LOWORD(lParam);
            int left = 0;
            for (int c = 0; c < m_nDragBar; ++c) left += m_colWidths[(size_t)c] + m_cxBar;
            RECT rc = {};
            ::GetClientRect(m_hWnd, &rc);
            int cx = x - left;
            if (cx < 0) cx = 0;
            if (cx > rc.right - left - m_cxBar) cx = rc.right - left - m_cxBar;
            m_colWidths[(size_t)m_nDragBar] = cx;
            RecalcLayout();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CANCELMODE:
        if (::GetCapture() == m_hWnd) ::ReleaseCapture();
        m_nDragBar = -1;
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
