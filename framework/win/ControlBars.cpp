#include "ControlBars.h"
#include "CmdUI.h"
#include "DockContext.h"
#include "FrameWnd.h"
#include "Module.h"
#include <windowsx.h>
#include <algorithm>

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

CControlBar::CControlBar()
    : m_dwStyle(0), m_dwDockStyle(0), m_pDockSite(nullptr), m_pDockBar(nullptr), m_pFloatFrame(nullptr),
      m_nLastDockID(0) {}

int CControlBar::CalcHeight() const {
    RECT r = {};
    ::GetWindowRect(m_hWnd, &r);
    return r.bottom - r.top;
}

SIZE CControlBar::CalcFixedLayout(BOOL bHorz) {
    int n = CalcHeight();
    return bHorz ? SIZE{0, n} : SIZE{n, 0};
}

// ---- toolbar ----------------------------------------------------------------

CToolBar::~CToolBar() {
    if (m_hbmImages) ::DeleteObject(m_hbmImages);
}

BOOL CToolBar::CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle, DWORD dwStyle, const RECT&, UINT nID) {
    AfxInitCommonControls();
    // The bar styles stay with the object; the control gets window styles.
    m_dwStyle = dwStyle & CBRS_ALL;
    DWORD ws = (dwStyle & (WS_CHILD | WS_VISIBLE)) | dwCtrlStyle | CCS_NODIVIDER | CCS_NOPARENTALIGN |
               CCS_NORESIZE;
    if (dwStyle & CBRS_TOOLTIPS) ws |= TBSTYLE_TOOLTIPS;
    RECT rc = {0, 0, 100, 24};
    if (!CWnd::CreateEx(0, TOOLBARCLASSNAMEW, nullptr, ws | WS_CHILD, rc, pParentWnd, nID)) return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT nIDResource) {
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceW(hInst, MAKEINTRESOURCEW(nIDResource), MAKEINTRESOURCEW(241));
    HGLOBAL hData = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    const WORD* p = hData ? (const WORD*)::LockResource(hData) : nullptr;
    DWORD size = hRes ? ::SizeofResource(hInst, hRes) : 0;
    if (!p || size < 8 || p[0] != 1) return FALSE;
    WORD cx = p[1], cy = p[2], count = p[3];
    if (size < 8u + 2u * count) return FALSE;

    HBITMAP hbm = (HBITMAP)::LoadImageW(hInst, MAKEINTRESOURCEW(nIDResource), IMAGE_BITMAP, 0, 0,
                                        LR_LOADMAP3DCOLORS | LR_CREATEDIBSECTION);
    if (!hbm) return FALSE;
    BITMAP bm = {};
    ::GetObjectW(hbm, sizeof bm, &bm);
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(cx, cy));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(cx + 7, cy + 7));
    TBADDBITMAP ab = {nullptr, (UINT_PTR)hbm};
    if (SendMessage(TB_ADDBITMAP, (WPARAM)(cx ? bm.bmWidth / cx : 0), (LPARAM)&ab) == -1) {
        ::DeleteObject(hbm);
        return FALSE;
    }
    if (m_hbmImages) ::DeleteObject(m_hbmImages);
    m_hbmImages = hbm;

    int image = 0;
    for (WORD i = 0; i < count; ++i) {
        TBBUTTON b = {};
        b.idCommand = p[4 + i];
        if (b.idCommand == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
        }
        if (!SendMessage(TB_ADDBUTTONSW, 1, (LPARAM)&b)) return FALSE;
    }
    return TRUE;
}

UINT CToolBar::GetItemID(int nIndex) const {
    TBBUTTON b = {};
    if (!SendMessage(TB_GETBUTTON, (WPARAM)nIndex, (LPARAM)&b)) return 0;
    return (b.fsStyle & BTNS_SEP) ? 0 : (UINT)b.idCommand;
}

namespace {
class CToolCmdUI : public CCmdUI {
public:
    void Enable(BOOL bOn) override {
        m_bEnableChanged = TRUE;
        HWND h = m_pOther->m_hWnd;
        BOOL now = (BOOL)::SendMessageW(h, TB_ISBUTTONENABLED, m_nID, 0);
        if (!now != !bOn) ::SendMessageW(h, TB_ENABLEBUTTON, m_nID, MAKELPARAM(bOn ? 1 : 0, 0));
    }
    void SetCheck(int nCheck) override {
        HWND h = m_pOther->m_hWnd;
        BOOL now = (BOOL)::SendMessageW(h, TB_ISBUTTONCHECKED, m_nID, 0);
        if (!now != !nCheck) ::SendMessageW(h, TB_CHECKBUTTON, m_nID, MAKELPARAM(nCheck ? 1 : 0, 0));
    }
    void SetRadio(BOOL bOn) override { SetCheck(bOn); }
    void SetText(LPCTSTR) override {}
};
}  // namespace

void CToolBar::OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) {
    CToolCmdUI ui;
    ui.m_pOther = this;
    int n = GetCount();
    for (int i = 0; i < n; ++i) {
        ui.m_nIndex = (UINT)i;
        ui.m_nID = GetItemID(i);
        if (ui.m_nID) ui.DoUpdate(pTarget, bDisableIfNoHndler);
    }
}

int CToolBar::CalcHeight() const {
    DWORD s = (DWORD)SendMessage(TB_GETBUTTONSIZE);
    return HIWORD(s) + 4;
}

namespace {
const int kBorder = 2;   // around the buttons of a docked bar
const int kGripper = 6;  // the gripper's strip beside the border
const UINT_PTR kFlyByTimer = 0xE000;  // looks for the pointer while a prompt shows
}  // namespace

RECT CToolBar::BorderInsets() const {
    RECT r = {0, 0, 0, 0};
    if (!m_pDockBar) return r;
    r = {kBorder, kBorder, kBorder, kBorder};
    if (m_dwStyle & CBRS_GRIPPER) {
        if (IsVertDocked()) r.top += kGripper;
        else r.left += kGripper;
    }
    return r;
}

RECT CToolBar::GetGripperRect() const {
    RECT r = {0, 0, 0, 0};
    if (!m_pDockBar || !(m_dwStyle & CBRS_GRIPPER)) return r;
    RECT wr = {};
    ::GetWindowRect(m_hWnd, &wr);
    int cx = wr.right - wr.left, cy = wr.bottom - wr.top;
    if (IsVertDocked()) r = {0, 0, cx, kBorder + kGripper};
    else r = {0, 0, kBorder + kGripper, cy};
    return r;
}

SIZE CToolBar::ButtonExtent() const {
    SIZE ext = {0, 0};
    int n = GetCount();
    for (int i = 0; i < n; ++i) {
        RECT r = {};
        if (!SendMessage(TB_GETITEMRECT, (WPARAM)i, (LPARAM)&r)) continue;
        // A separator that ends a column may span the bar: it sets no width.
        if (GetItemID(i) || m_nWrapped != 1) ext.cx = std::max(ext.cx, r.right);
        ext.cy = std::max(ext.cy, r.bottom);
    }
    return ext;
}

SIZE CToolBar::CalcFixedLayout(BOOL bHorz) {
    int wrap = bHorz ? 0 : 1;
    if (wrap != m_nWrapped) {
        int n = GetCount();
        for (int i = 0; i < n; ++i) {
            TBBUTTON b = {};
            if (!SendMessage(TB_GETBUTTON, (WPARAM)i, (LPARAM)&b)) continue;
            TBBUTTONINFOW bi = {sizeof bi};
            bi.dwMask = TBIF_BYINDEX | TBIF_STATE;
            bi.fsState = wrap ? (BYTE)(b.fsState | TBSTATE_WRAP) : (BYTE)(b.fsState & ~TBSTATE_WRAP);
            SendMessage(TB_SETBUTTONINFOW, (WPARAM)i, (LPARAM)&bi);
        }
        m_nWrapped = wrap;
        SendMessage(TB_AUTOSIZE);
    }
    SIZE ext = ButtonExtent();
    RECT in = BorderInsets();
    return SIZE{ext.cx + in.left + in.right, ext.cy + in.top + in.bottom};
}

void CToolBar::OnBarPlaced() {
    // A floating window is never the active one, and a tip shows only in
    // the active window unless it is told to show always.
    HWND hTips = (HWND)SendMessage(TB_GETTOOLTIPS);
    if (!hTips) return;
    LONG_PTR style = ::GetWindowLongPtrW(hTips, GWL_STYLE);
    LONG_PTR want = IsFloating() ? (style | TTS_ALWAYSTIP) : (style & ~(LONG_PTR)TTS_ALWAYSTIP);
    if (want != style) ::SetWindowLongPtrW(hTips, GWL_STYLE, want);
}

void CToolBar::SetFlyBy(UINT nID) {
    if (nID == m_nFlyByID) return;
    m_nFlyByID = nID;
    if (nID) ::SetTimer(m_hWnd, kFlyByTimer, 200, nullptr);
    else ::KillTimer(m_hWnd, kFlyByTimer);
    CFrameWnd* pFrame = m_pDockSite ? m_pDockSite : GetParentFrame();
    if (pFrame) pFrame->SetFlyByPrompt(nID);
}

void CToolBar::OnNcPaint() {
    HDC dc = ::GetWindowDC(m_hWnd);
    if (!dc) return;
    RECT wr = {}, cr = {};
    ::GetWindowRect(m_hWnd, &wr);
    ::GetClientRect(m_hWnd, &cr);
    POINT origin = {0, 0};
    ::ClientToScreen(m_hWnd, &origin);
    ::OffsetRect(&cr, origin.x - wr.left, origin.y - wr.top);
    ::OffsetRect(&wr, -wr.left, -wr.top);
    ::ExcludeClipRect(dc, cr.left, cr.top, cr.right, cr.bottom);
    ::FillRect(dc, &wr, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT g = GetGripperRect();
    if (!::IsRectEmpty(&g)) {
        // A raised ridge three pixels wide along the leading edge.
        RECT line = g;
        if (IsVertDocked()) line = {g.left + kBorder, g.top + kBorder + 1, g.right - kBorder, g.top + kBorder + 4};
        else line = {g.left + kBorder + 1, g.top + kBorder, g.left + kBorder + 4, g.bottom - kBorder};
        ::DrawEdge(dc, &line, BDR_RAISEDINNER, BF_RECT);
    }
    ::ReleaseDC(m_hWnd, dc);
}

LRESULT CToolBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCALCSIZE: {
        LRESULT r = CControlBar::WindowProc(message, wParam, lParam);
        // Both forms of the message start with the rectangle to shrink.
        RECT* rc = (RECT*)lParam;
        RECT in = BorderInsets();
        rc->left += in.left;
        rc->top += in.top;
        rc->right = std::max(rc->left, rc->right - in.right);
        rc->bottom = std::max(rc->top, rc->bottom - in.bottom);
        return r;
    }
    case WM_NCPAINT:
        CControlBar::WindowProc(message, wParam, lParam);
        OnNcPaint();
        return 0;
    case WM_NCHITTEST: {
        RECT wr = {}, g = GetGripperRect();
        ::GetWindowRect(m_hWnd, &wr);
        POINT pt = {GET_X_LPARAM(lParam) - wr.left, GET_Y_LPARAM(lParam) - wr.top};
        if (::PtInRect(&g, pt)) return HTCAPTION;
        break;
    }
    case WM_NCLBUTTONDOWN:
        // The gripper drags the bar; a bar that may not dock stays put.
        if (wParam == HTCAPTION) {
            if (m_pDockSite && m_dwDockStyle) {
                CDockContext drag(this);
                drag.Track(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            }
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (m_dwStyle & CBRS_FLYBY) {
            POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            int i = (int)SendMessage(TB_HITTEST, 0, (LPARAM)&pt);
            SetFlyBy(i >= 0 ? GetItemID(i) : 0);
        }
        break;
    case WM_MOUSELEAVE:
        SetFlyBy(0);
        break;
    case WM_TIMER:
        if (wParam == kFlyByTimer) {
            // The control's own leave message does not come in every case
            // (a pointer that jumps away, a capture elsewhere): the timer
            // looks for the pointer. A tracking request of our own would
            // end the control's, and its tooltips with it (seen under Wine).
            POINT pt = {};
            ::GetCursorPos(&pt);
            if (::WindowFromPoint(pt) != m_hWnd) SetFlyBy(0);
            return 0;
        }
        break;
    }
    return CControlBar::WindowProc(message, wParam, lParam);
}

// ---- status bar ---------------------------------------------------------------

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
    AfxInitCommonControls();
    m_dwStyle = dwStyle & CBRS_ALL;
    DWORD ws = (dwStyle & (WS_CHILD | WS_VISIBLE)) | WS_CHILD | CCS_NOPARENTALIGN | CCS_NORESIZE |
               CCS_NODIVIDER;
    RECT rc = {0, 0, 100, 22};
    return CWnd::CreateEx(0, STATUSCLASSNAMEW, nullptr, ws, rc, pParentWnd, nID);
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
    if (nIDCount <= 0 || nIDCount > 255) return FALSE;
    m_panes.clear();
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, (HGDIOBJ)SendMessage(WM_GETFONT));
    BOOL ok = TRUE;
    for (int i = 0; i < nIDCount; ++i) {
        Pane p = {lpIDArray[i], SBPS_NORMAL, 0, CString()};
        if (p.nID != 0) {
            if (!p.strText.LoadString(p.nID)) ok = FALSE;
            SIZE sz = {};
            ::GetTextExtentPoint32W(dc, p.strText, p.strText.GetLength(), &sz);
            p.cxText = sz.cx;
        } else {
            p.cxText = 240;
        }
        m_panes.push_back(p);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    UpdatePanes();
    for (int i = 0; i < nIDCount; ++i) SetPaneText(i, m_panes[i].strText, FALSE);
    return ok;
}

void CStatusBar::SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth) {
    if (nIndex < 0 || nIndex >= GetCount()) return;
    m_panes[nIndex].nID = nID;
    m_panes[nIndex].nStyle = nStyle;
    m_panes[nIndex].cxText = cxWidth;
    UpdatePanes();
}

void CStatusBar::GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const {
    if (nIndex < 0 || nIndex >= GetCount()) return;
    nID = m_panes[nIndex].nID;
    nStyle = m_panes[nIndex].nStyle;
    cxWidth = m_panes[nIndex].cxText;
}

UINT CStatusBar::GetPaneStyle(int nIndex) const {
    return (nIndex >= 0 && nIndex < GetCount()) ? m_panes[nIndex].nStyle : 0;
}

void CStatusBar::SetPaneStyle(int nIndex, UINT nStyle) {
    if (nIndex < 0 || nIndex >= GetCount()) return;
    m_panes[nIndex].nStyle = nStyle;
    UpdatePanes();
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL bUpdate) {
    if (nIndex < 0 || nIndex >= GetCount()) return FALSE;
    CString text(lpszNewText ? lpszNewText : L"");
    // Idle updates set the same text again and again: no repaint for those.
    if (text == m_panes[nIndex].strText && bUpdate) return TRUE;
    m_panes[nIndex].strText = text;
    return (BOOL)SendMessage(SB_SETTEXTW, (WPARAM)nIndex, (LPARAM)(LPCWSTR)m_panes[nIndex].strText);
}

CString CStatusBar::GetPaneText(int nIndex) const {
    return (nIndex >= 0 && nIndex < GetCount()) ? m_panes[nIndex].strText : CString();
}

void CStatusBar::UpdatePanes() {
    int n = GetCount();
    if (!n || !m_hWnd) return;
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    const int pad = 12;
    int fixed = 0, stretch = 0;
    for (auto& p : m_panes) {
        if (p.nStyle & SBPS_STRETCH) ++stretch;
        else fixed += p.cxText + pad;
    }
    int spare = rc.right - fixed;
    if (spare < 0) spare = 0;
    std::vector<int> rights;
    int x = 0;
    for (auto& p : m_panes) {
        x += (p.nStyle & SBPS_STRETCH) ? spare / stretch : p.cxText + pad;
        rights.push_back(x);
    }
    if (stretch) rights.back() = -1;
    SendMessage(SB_SETPARTS, (WPARAM)n, (LPARAM)rights.data());
}

namespace {
class CStatusCmdUI : public CCmdUI {
public:
    CStatusBar* Bar() const { return static_cast<CStatusBar*>(m_pOther); }
    void Enable(BOOL bOn) override { m_bEnableChanged = TRUE; }
    void SetCheck(int) override {}
    void SetRadio(BOOL) override {}
    void SetText(LPCTSTR lpszText) override { Bar()->SetPaneText((int)m_nIndex, lpszText); }
};
}  // namespace

void CStatusBar::OnUpdateCmdUI(CFrameWnd* pTarget, BOOL) {
    CStatusCmdUI ui;
    ui.m_pOther = this;
    for (int i = 0; i < GetCount(); ++i) {
        ui.m_nIndex = (UINT)i;
        ui.m_nID = m_panes[i].nID;
        // Panes keep their text when nothing handles them.
        if (ui.m_nID) ui.DoUpdate(pTarget, FALSE);
    }
}

int CStatusBar::CalcHeight() const {
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, (HGDIOBJ)SendMessage(WM_GETFONT));
    TEXTMETRICW tm = {};
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    return tm.tmHeight + 8;
}
