#include "SkinWin.h"

namespace {
const int BUTTON_WIDTH = 19;
const int BUTTON_HEIGHT = 20;
const int CAPTION_RUN_FIRST = 24;   // the caption bitmap's repeated columns
const int CAPTION_RUN_WIDTH = 212;
const int SIDE_RUN_FIRST = 4;       // the side border's repeated rows
const int SIDE_RUN_HEIGHT = 50;
const int BOTTOM_RUN_FIRST = 2;     // the bottom border's repeated columns
const int BOTTOM_RUN_WIDTH = 53;

// One bitmap resource selected into a memory context while it is used;
// nothing is kept between paints.
class SkinBitmap {
public:
    SkinBitmap(HDC hDC, UINT nID) : m_hMem(::CreateCompatibleDC(hDC)), m_hOld(nullptr), m_bm() {
        m_hBitmap = ::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nID));
        if (m_hBitmap && m_hMem) {
            ::GetObjectW(m_hBitmap, sizeof m_bm, &m_bm);
            m_hOld = ::SelectObject(m_hMem, m_hBitmap);
        }
    }
    ~SkinBitmap() {
        if (m_hOld) ::SelectObject(m_hMem, m_hOld);
        if (m_hMem) ::DeleteDC(m_hMem);
        if (m_hBitmap) ::DeleteObject(m_hBitmap);
    }
    SkinBitmap(const SkinBitmap&) = delete;
    SkinBitmap& operator=(const SkinBitmap&) = delete;

    int Width() const { return m_bm.bmWidth; }
    int Height() const { return m_bm.bmHeight; }
    // An unscaled piece of the bitmap at (x, y).
    void Copy(HDC hDC, int x, int y, int cx, int cy, int xSrc, int ySrc) const {
        if (m_hOld && cx > 0 && cy > 0) ::BitBlt(hDC, x, y, cx, cy, m_hMem, xSrc, ySrc, SRCCOPY);
    }

private:
    HDC m_hMem;
    HGDIOBJ m_hOld;
    HBITMAP m_hBitmap;
    BITMAP m_bm;
};

// How many pieces of nPiece cover nSpan: one more when the last is partial.
int PieceCount(int nSpan, int nPiece) {
    if (nSpan <= 0) return 0;
    return nSpan / nPiece + (nSpan % nPiece ? 1 : 0);
}

void DrawButton(HDC hDC, UINT nID, const RECT& rc) {
    SkinBitmap bmp(hDC, nID);
    bmp.Copy(hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, 0, 0);
}

RECT Rect(int l, int t, int r, int b) {
    RECT rc = {l, t, r, b};
    return rc;
}
}  // namespace

void ApplySkin(CWnd* pWnd, CSkinWin* pSkin) {
    if (!pWnd || !pWnd->GetSafeHwnd() || !pSkin) return;
    pSkin->AttachTo((HWND) nullptr);
    pSkin->AttachTo(pWnd->m_hWnd);
    // Writing the style back makes the system ask for the frame again.
    ::SetWindowLongPtrW(pWnd->m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(pWnd->m_hWnd, GWL_STYLE));
}

CSkinWin::CSkinWin()
    : m_rcClose(), m_rcMax(), m_rcMin(), m_rcIcon(), m_rcCaption(), m_rcLeftBorder(), m_rcRightBorder(),
      m_rcBottomBorder(), m_rcMenu(), m_rcText(), m_rcRestore(), m_nState(0), m_bActive(FALSE) {}

POINT CSkinWin::ToWindow(POINT ptScreen) const {
    RECT rc = {};
    ::GetWindowRect(m_hWnd, &rc);
    POINT pt = {ptScreen.x - rc.left, ptScreen.y - rc.top};
    return pt;
}

void CSkinWin::ComputeFrameMetrics() {
    RECT rc = {};
    ::GetWindowRect(m_hWnd, &rc);
    int W = rc.right - rc.left, H = rc.bottom - rc.top;
    int cxF = ::GetSystemMetrics(SM_CXFRAME), cyF = ::GetSystemMetrics(SM_CYFRAME);
    int cyCap = ::GetSystemMetrics(SM_CYCAPTION), cyMenu = ::GetSystemMetrics(SM_CYMENU);
    m_rcCaption = Rect(cxF, 0, W - cxF, cyF + cyCap);
    m_rcIcon = Rect(cxF + 2, cyF, cxF + 18, cyF + 16);
    m_rcMenu = Rect(cxF, m_rcCaption.bottom, m_rcCaption.right, m_rcCaption.bottom + cyMenu);
    m_rcBottomBorder = Rect(0, H - cyF, W, cyF);
    m_rcLeftBorder = Rect(0, 0, cxF, H);
    m_rcRightBorder = Rect(W - cxF, 0, W, H);
    int r = m_rcCaption.right;
    m_rcClose = Rect(r - BUTTON_WIDTH, cyF, r, cyF + BUTTON_HEIGHT);
    m_rcMax = Rect(r - 2 * BUTTON_WIDTH, cyF, r - BUTTON_WIDTH, cyF + BUTTON_HEIGHT);
    m_rcMin = Rect(r - 3 * BUTTON_WIDTH, cyF, r - 2 * BUTTON_WIDTH, cyF + BUTTON_HEIGHT);
    m_rcText = Rect(m_rcCaption.left, m_rcCaption.top, r - 125, m_rcCaption.bottom);
}

void CSkinWin::PaintFrame() {
    HDC hDC = ::GetWindowDC(m_hWnd);
    if (!hDC) return;
    DrawFrameParts(!m_bActive, hDC);
    DrawCaptionButtons(hDC);
    ::ReleaseDC(m_hWnd, hDC);
}

void CSkinWin::DrawFrameParts(BOOL bInactive, HDC hDC) {
    ComputeFrameMetrics();
    DrawCaptionBar(hDC, bInactive, m_rcCaption);
    DrawSideBorder(hDC, m_rcLeftBorder);
    DrawSideBorder(hDC, m_rcRightBorder);
    DrawBottomBorder(hDC);
    HICON hIcon = (HICON)::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_SKIN_ICON), IMAGE_ICON, 16, 16, 0);
    if (hIcon) {
        ::DrawIconEx(hDC, m_rcIcon.left, m_rcIcon.top, hIcon, 16, 16, 0, nullptr, DI_NORMAL);
        ::DestroyIcon(hIcon);
    }
}

void CSkinWin::DrawCaptionBar(HDC hDC, BOOL bInactive, const RECT& rc) {
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    UINT nID = h <= 23 ? (bInactive ? IDB_SKIN_CAPTION_INACTIVE : IDB_SKIN_CAPTION)
                       : (bInactive ? IDB_SKIN_CAPTION_TALL_INACTIVE : IDB_SKIN_CAPTION_TALL);
    SkinBitmap bmp(hDC, nID);
    int bw = bmp.Width();
    // No deeper than the caption: the menu bar lies right below it.
    int bh = bmp.Height() < h ? bmp.Height() : h;
    int runEnd = CAPTION_RUN_FIRST + CAPTION_RUN_WIDTH;
    bmp.Copy(hDC, rc.left, rc.top, CAPTION_RUN_FIRST, bh, 0, 0);
    // The middle run stretches the bar to the caption's width by copies.
    int span = w - bw + CAPTION_RUN_WIDTH;
    int x = rc.left + CAPTION_RUN_FIRST;
    int n = PieceCount(span, CAPTION_RUN_WIDTH);
    for (int i = 0; i < n; ++i) {
        int cx = (i == n - 1 && span % CAPTION_RUN_WIDTH) ? span % CAPTION_RUN_WIDTH : CAPTION_RUN_WIDTH;
        bmp.Copy(hDC, x, rc.top, cx, bh, CAPTION_RUN_FIRST, 0);
        x += cx;
    }
    bmp.Copy(hDC, x, rc.top, bw - runEnd, bh, runEnd, 0);
    DrawCaptionText(hDC);
}

void CSkinWin::DrawCaptionText(HDC hDC) {
    RECT rc = m_rcText;
    int h = m_rcCaption.bottom - m_rcCaption.top;
    rc.left += 23;
    rc.top += h > 23 ? 6 : 3;
    int nOldMode = ::SetBkMode(hDC, TRANSPARENT);
    COLORREF crOld = ::SetTextColor(hDC, m_bActive ? RGB(0, 0, 0) : RGB(0xFF, 0xFF, 0xFF));
    ::SelectObject(hDC, ::GetStockObject(DEVICE_DEFAULT_FONT));
    WCHAR text[256] = {0};
    ::GetWindowTextW(m_hWnd, text, 256);
    ::DrawTextW(hDC, text, -1, &rc, 0);
    ::SetTextColor(hDC, crOld);
    ::SetBkMode(hDC, nOldMode);
}

void CSkinWin::DrawSideBorder(HDC hDC, const RECT& rc) {
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    SkinBitmap bmp(hDC, w <= 4 ? IDB_SKIN_BORDER : IDB_SKIN_BORDER_WIDE);
    int bw = bmp.Width(), bh = bmp.Height();
    int runEnd = SIDE_RUN_FIRST + SIDE_RUN_HEIGHT;
    bmp.Copy(hDC, rc.left, rc.top, bw, SIDE_RUN_FIRST, 0, 0);
    int y = rc.top + SIDE_RUN_FIRST;
    // One copy more than the extra height needs: the window clips the rest.
    int n = (h - bh) / SIDE_RUN_HEIGHT + 1 + ((h - bh) % SIDE_RUN_HEIGHT ? 1 : 0);
    for (int i = 0; i < n; ++i, y += SIDE_RUN_HEIGHT) bmp.Copy(hDC, rc.left, y, bw, SIDE_RUN_HEIGHT, 0, SIDE_RUN_FIRST);
    bmp.Copy(hDC, rc.left, y, bw, bh - runEnd, 0, runEnd);
}

void CSkinWin::DrawBottomBorder(HDC hDC) {
    int x = m_rcBottomBorder.left, y = m_rcBottomBorder.top;
    int w = m_rcBottomBorder.right - x;
    SkinBitmap bmp(hDC, IDB_SKIN_BOTTOM);
    int bw = bmp.Width(), bh = bmp.Height();
    int runEnd = BOTTOM_RUN_FIRST + BOTTOM_RUN_WIDTH;
    bmp.Copy(hDC, x, y, BOTTOM_RUN_FIRST, bh, 0, 0);
    int cx = x + BOTTOM_RUN_FIRST;
    int n = (w - bw) / BOTTOM_RUN_WIDTH + 1 + ((w - bw) % BOTTOM_RUN_WIDTH ? 1 : 0);
    for (int i = 0; i < n; ++i, cx += BOTTOM_RUN_WIDTH) bmp.Copy(hDC, cx, y, BOTTOM_RUN_WIDTH, bh, BOTTOM_RUN_FIRST, 0);
    bmp.Copy(hDC, cx, y, bw - runEnd, bh, runEnd, 0);
}

void CSkinWin::DrawCaptionButtons(HDC hDC) {
    ComputeFrameMetrics();
    DrawButton(hDC, IDB_SKIN_CLOSE, m_rcClose);
    DrawButton(hDC, m_nState == 1 ? IDB_SKIN_RESTORE : IDB_SKIN_MAX, m_rcMax);
    DrawButton(hDC, IDB_SKIN_MIN, m_rcMin);
}

void CSkinWin::DrawButtonStates(int nKind, POINT pt) {
    ComputeFrameMetrics();
    HDC hDC = ::GetWindowDC(m_hWnd);
    if (!hDC) return;
    struct Button {
        const RECT& rc;
        UINT normal, hover, pressed;
    } buttons[] = {
        {m_rcClose, IDB_SKIN_CLOSE, IDB_SKIN_CLOSE_HOVER, IDB_SKIN_CLOSE_PRESSED},
        {m_rcMax, m_nState == 1 ? (UINT)IDB_SKIN_RESTORE : (UINT)IDB_SKIN_MAX,
         m_nState == 1 ? (UINT)IDB_SKIN_RESTORE_HOVER : (UINT)IDB_SKIN_MAX_HOVER,
         m_nState == 1 ? (UINT)IDB_SKIN_RESTORE_PRESSED : (UINT)IDB_SKIN_MAX_PRESSED},
        {m_rcMin, IDB_SKIN_MIN, IDB_SKIN_MIN_HOVER, IDB_SKIN_MIN_PRESSED},
    };
    for (const Button& b : buttons) {
        BOOL in = ::PtInRect(&b.rc, pt);
        UINT nID = in && nKind == SKIN_HOVER ? b.hover : (in && nKind == SKIN_PRESSED ? b.pressed : b.normal);
        DrawButton(hDC, nID, b.rc);
    }
    ::ReleaseDC(m_hWnd, hDC);
}

LRESULT CSkinWin::HitTestFrame(POINT ptScreen) {
    POINT pt = ToWindow(ptScreen);
    if (::PtInRect(&m_rcClose, pt)) return HTCLOSE;
    if (::PtInRect(&m_rcMin, pt)) return HTMINBUTTON;
    if (::PtInRect(&m_rcMax, pt)) return HTMAXBUTTON;
    if (::PtInRect(&m_rcIcon, pt)) return HTSYSMENU;
    if (::PtInRect(&m_rcMenu, pt)) return HTMENU;
    RECT rcCaption = m_rcCaption;
    rcCaption.top += 4;
    if (::PtInRect(&rcCaption, pt)) return HTCAPTION;
    if (m_nState != 1) {
        RECT w = {};
        ::GetWindowRect(m_hWnd, &w);
        int cxF = ::GetSystemMetrics(SM_CXFRAME), cyF = ::GetSystemMetrics(SM_CYFRAME);
        struct Edge {
            RECT rc;
            LRESULT code;
        } edges[] = {
            {Rect(w.left, w.top, w.left + cxF, w.top + cyF), HTTOPLEFT},
            {Rect(w.left, w.bottom - cyF, w.left + cxF, w.bottom), HTBOTTOMLEFT},
            {Rect(w.right - cxF, w.top, w.right, w.top + cyF), HTTOPRIGHT},
            {Rect(w.right - cxF, w.bottom - cyF, w.right, w.bottom), HTBOTTOMRIGHT},
            {Rect(w.left + cxF, w.top, w.right - cxF, w.top + cyF), HTTOP},
            {Rect(w.left + cxF, w.bottom - cyF, w.right - cxF, w.bottom), HTBOTTOM},
            {Rect(w.left, w.top + cyF, w.left + cxF, w.bottom - cyF), HTLEFT},
            {Rect(w.right - cxF, w.top + cyF, w.right, w.bottom - cyF), HTRIGHT},
        };
        for (const Edge& e : edges)
            if (::PtInRect(&e.rc, ptScreen)) return e.code;
    }
    return HTCLIENT;
}

void CSkinWin::MaximizeToWorkArea() {
    if (m_nState != 0) return;
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(m_hWnd, &m_rcRestore);
    m_nState = 1;
    ::MoveWindow(m_hWnd, work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
    ::UpdateWindow(m_hWnd);
}

void CSkinWin::RestoreFromMaximize() {
    if (m_nState != 1) return;
    // The state goes first, so that the repaint of the move shows the
    // maximise button again.
    m_nState = 0;
    ::MoveWindow(m_hWnd, m_rcRestore.left, m_rcRestore.top, m_rcRestore.right - m_rcRestore.left,
                 m_rcRestore.bottom - m_rcRestore.top, TRUE);
    ::UpdateWindow(m_hWnd);
}

void CSkinWin::ShowSystemMenu(POINT ptScreen) {
    HMENU hMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!hMenu) return;
    const UINT ON = MF_BYCOMMAND | MF_ENABLED, OFF = MF_BYCOMMAND | MF_DISABLED | MF_GRAYED;
    if (m_nState == 0) {
        ::EnableMenuItem(hMenu, SC_MINIMIZE, ON);
        ::EnableMenuItem(hMenu, SC_MAXIMIZE, ON);
        ::EnableMenuItem(hMenu, SC_RESTORE, OFF);
    } else {
        ::EnableMenuItem(hMenu, SC_MAXIMIZE, OFF);
        ::EnableMenuItem(hMenu, SC_RESTORE, ON);
    }
    ::TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_LEFTBUTTON, ptScreen.x, ptScreen.y, 0, m_hWnd, nullptr);
}

LRESULT CSkinWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!::IsWindow(m_hWnd)) return 0;
    POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    switch (message) {
    case WM_SIZE:
        CallDefault();
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        PaintFrame();
        ::SetWindowRgn(m_hWnd, nullptr, TRUE);
        return 0;
    case WM_ACTIVATE:
        m_bActive = LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE;
        PaintFrame();
        // Passed on: the default handling gives the keyboard back to the
        // frame, which hands it to its active view.
        CallDefault();
        return 0;
    case WM_SETTEXT: {
        LRESULT r = CallDefault();
        PaintFrame();
        return r;
    }
    case WM_NCPAINT:
    case WM_INITMENUPOPUP:
        CallDefault();
        PaintFrame();
        return 0;
    case WM_SHOWWINDOW:
        if (wParam) ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED);
        CallDefault();
        return 0;
    case WM_NCCALCSIZE:
        CallDefault();
        return 0;
    case WM_GETMINMAXINFO: {
        RECT rcWindow = {}, rcClient = {};
        ::GetWindowRect(m_hWnd, &rcWindow);
        ::GetClientRect(m_hWnd, &rcClient);
        auto* mmi = (MINMAXINFO*)lParam;
        mmi->ptMinTrackSize.x = (rcWindow.right - rcWindow.left) - (rcClient.right - rcClient.left) + 500;
        mmi->ptMinTrackSize.y = (rcWindow.bottom - rcWindow.top) - (rcClient.bottom - rcClient.top) + 300;
        return 0;
    }
    case WM_NCHITTEST:
        return HitTestFrame(pt);
    case WM_NCACTIVATE:
        m_bActive = (BOOL)wParam;
        PaintFrame();
        return wParam ? 0 : 1;
    case WM_NCMOUSEMOVE:
        DrawButtonStates(SKIN_HOVER, ToWindow(pt));
        return 0;
    case WM_NCLBUTTONDOWN:
        OnNcLButtonDown((UINT)wParam, pt);
        return 0;
    case WM_NCLBUTTONUP:
        OnNcLButtonUp((UINT)wParam, pt);
        return 0;
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTCAPTION) {
            if (m_nState == 1) RestoreFromMaximize();
            else MaximizeToWorkArea();
        }
        PaintFrame();
        return 0;
    case WM_COMMAND:
        if (!OnSysMenuCommand(wParam, lParam)) CallDefault();
        return 0;
    case WM_SYSCOMMAND:
        OnSysCommand(wParam, lParam);
        return 0;
    case WM_INITMENU:
        CallDefault();
        return 0;
    default:
        return CallDefault();
    }
}

void CSkinWin::OnNcLButtonDown(UINT nHitTest, POINT ptScreen) {
    if (nHitTest >= HTLEFT && nHitTest <= HTBOTTOMRIGHT) {
        if (m_nState == 0) CallDefault();
        return;
    }
    POINT pt = ToWindow(ptScreen);
    if (::PtInRect(&m_rcMin, pt) || ::PtInRect(&m_rcMax, pt) || ::PtInRect(&m_rcClose, pt)) {
        DrawButtonStates(SKIN_PRESSED, pt);
        return;
    }
    if (nHitTest == HTSYSMENU) {
        ShowSystemMenu(ptScreen);
        return;
    }
    // While maximised a press on the caption does not start a move.
    if (m_nState == 0 || (nHitTest & 1) || (nHitTest & 4)) CallDefault();
}

void CSkinWin::OnNcLButtonUp(UINT nHitTest, POINT ptScreen) {
    POINT pt = ToWindow(ptScreen);
    DrawButtonStates(SKIN_RELEASED, pt);
    if (::PtInRect(&m_rcClose, pt) || ::PtInRect(&m_rcMin, pt)) {
        // The frame hides on a close request without arguments.
        ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
    } else if (::PtInRect(&m_rcMax, pt)) {
        if (m_nState == 1) RestoreFromMaximize();
        else MaximizeToWorkArea();
        PaintFrame();
    } else if ((nHitTest & 1) || (nHitTest & 4)) {
        CallDefault();
    }
}

BOOL CSkinWin::OnSysMenuCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam) return FALSE;  // a control's notification
    UINT nID = LOWORD(wParam);
    HMENU hMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!hMenu || ::GetMenuState(hMenu, nID, MF_BYCOMMAND) == (UINT)-1) return FALSE;
    switch (nID) {
    case SC_MAXIMIZE:
        MaximizeToWorkArea();
        break;
    case SC_MINIMIZE:
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        break;
    case SC_RESTORE:
        if (m_nState == 1) RestoreFromMaximize();
        else ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
        break;
    default:
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, nID, 0);
        break;
    }
    return TRUE;
}

void CSkinWin::OnSysCommand(WPARAM wParam, LPARAM) {
    // The system adds the hit code in the low four bits of maximise and
    // restore (a double click on the caption gives 0xF032): those two are
    // compared masked. The sizing and moving commands below carry their
    // direction there and are compared whole.
    UINT nCmd = (UINT)wParam;
    if ((nCmd & 0xFFF0) == SC_MAXIMIZE) {
        MaximizeToWorkArea();
        return;
    }
    if ((nCmd & 0xFFF0) == SC_RESTORE && m_nState == 1) {
        RestoreFromMaximize();
        return;
    }
    switch (nCmd) {
    case 0xF001:  // size from the left
    case 0xF002:  // right
    case 0xF003:  // top
    case 0xF006:  // bottom
    case 0xF012:  // move by the caption
        PaintFrame();
        break;
    }
    CallDefault();
}
