#include "FrameWnd.h"
#include "CmdUI.h"
#include "ControlBars.h"
#include "DockBar.h"
#include "Document.h"
#include "FloatFrame.h"
#include "Module.h"
#include "Splitter.h"
#include "WinApp.h"
#include <algorithm>

IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_SETFOCUS()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_COMMAND_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, &CFrameWnd::OnBarCheck)
    ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, &CFrameWnd::OnUpdateControlBarMenu)
    ON_COMMAND_RANGE(ID_NEXT_PANE, ID_PREV_PANE, &CFrameWnd::OnNextPane)
END_MESSAGE_MAP()

CFrameWnd* CWnd::GetParentFrame() const {
    if (!m_hWnd) return nullptr;
    for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h)) {
        CWnd* p = FromHandlePermanent(h);
        if (p && p->IsKindOf(RUNTIME_CLASS(CFrameWnd))) return static_cast<CFrameWnd*>(p);
    }
    return nullptr;
}

CFrameWnd::CFrameWnd()
    : m_hAccelTable(nullptr), m_hMenuDefault(nullptr), m_pViewActive(nullptr), m_dwDockStyle(0),
      m_nIDTracking(0), m_rectDockArea{0, 0, 0, 0} {}

CFrameWnd::~CFrameWnd() {
    if (m_hAccelTable) ::DestroyAcceleratorTable(m_hAccelTable);
}

namespace {
// The program's first icon, for a frame whose resource id has none.
BOOL CALLBACK FirstIconProc(HMODULE, LPCWSTR, LPWSTR lpName, LONG_PTR lParam) {
    *(LPCWSTR*)lParam = lpName;
    return FALSE;
}

HICON LoadFrameIcon(UINT nIDResource) {
    HINSTANCE hInst = AfxGetResourceHandle();
    HICON h = ::LoadIconW(hInst, MAKEINTRESOURCEW(nIDResource));
    if (h) return h;
    LPCWSTR name = nullptr;
    ::EnumResourceNamesW(hInst, RT_GROUP_ICON, FirstIconProc, (LONG_PTR)&name);
    // Names that are strings would have to be copied before the call returns;
    // the program's icons have numbers.
    return (name && IS_INTRESOURCE(name)) ? ::LoadIconW(hInst, name) : nullptr;
}
}  // namespace

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (!cs.lpszClass)
        cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                           (HBRUSH)(COLOR_BTNFACE + 1), LoadFrameIcon(128));
    return TRUE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext) {
    HINSTANCE hInst = AfxGetResourceHandle();
    CString all;
    all.LoadString(nIDResource);
    int nl = all.Find(L'\n');
    m_strTitle = nl < 0 ? all : all.Left(nl);
    if (m_strTitle.IsEmpty()) m_strTitle = AfxGetAppName();

    LPCTSTR cls = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                      (HBRUSH)(COLOR_BTNFACE + 1), LoadFrameIcon(nIDResource));
    m_hMenuDefault = ::LoadMenuW(hInst, MAKEINTRESOURCEW(nIDResource));
    m_hAccelTable = ::LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(nIDResource));
    DWORD style = dwDefaultStyle & ~FWS_ADDTOTITLE;
    return CWnd::CreateEx(0, cls, m_strTitle, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, pParentWnd->GetSafeHwnd(), m_hMenuDefault, pContext);
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpcs) {
    if (Default() == -1) return -1;
    auto* pContext = (CCreateContext*)lpcs->lpCreateParams;
    if (!OnCreateClient(lpcs, pContext)) return -1;
    return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* pContext) {
    if (pContext && pContext->m_pNewViewClass) return CreateView(pContext) != nullptr;
    return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* pContext, UINT nID) {
    CObject* p = pContext->m_pNewViewClass->CreateObject();
    CWnd* pView = p && p->IsKindOf(RUNTIME_CLASS(CWnd)) ? static_cast<CWnd*>(p) : nullptr;
    if (!pView) {
        delete p;
        return nullptr;
    }
    RECT rc = {0, 0, 0, 0};
    if (!pView->Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, rc, this, nID, pContext)) {
        // A view whose window existed deleted itself with it.
        return nullptr;
    }
    return pView;
}

void CFrameWnd::InitialUpdateFrame(CDocument*, BOOL) {
    SendMessageToDescendants(WM_INITIALUPDATE, 0, 0, TRUE);
    if (!m_pViewActive) {
        CWnd* pPane = GetPaneWindow();
        // A splitter's first pane carries the same id one level down.
        if (pPane && !pPane->IsKindOf(RUNTIME_CLASS(CView))) pPane = pPane->GetDlgItem(AFX_IDW_PANE_FIRST);
        CWnd* pPerm = pPane ? FromHandlePermanent(pPane->m_hWnd) : nullptr;
        if (pPerm && pPerm->IsKindOf(RUNTIME_CLASS(CView))) SetActiveView(static_cast<CView*>(pPerm), FALSE);
    }
    RecalcLayout();
}

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL bNotify) {
    CView* pOld = m_pViewActive;
    if (pOld == pViewNew) return;
    m_pViewActive = pViewNew;
    if (pOld) pOld->OnActivateView(FALSE, pViewNew, pOld);
    if (pViewNew) {
        pViewNew->OnActivateView(TRUE, pViewNew, pOld);
        if (bNotify && ::GetFocus() != pViewNew->m_hWnd) pViewNew->SetFocus();
    }
}

CDocument* CFrameWnd::GetActiveDocument() {
    return m_pViewActive ? m_pViewActive->GetDocument() : nullptr;
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle) {
    m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
    // Made in this order, so that the top and bottom sites span the frame
    // and the left and right ones fit between them.
    for (DWORD side : {CBRS_ALIGN_TOP, CBRS_ALIGN_BOTTOM, CBRS_ALIGN_LEFT, CBRS_ALIGN_RIGHT}) {
        UINT nID = CDockBar::IdOfSide(side);
        if (!(m_dwDockStyle & side) || !m_hWnd || ::GetDlgItem(m_hWnd, (int)nID)) continue;
        auto* pDock = new CDockBar;
        if (!pDock->Create(this, nID)) delete pDock;
    }
    RecalcLayout();
}

void CFrameWnd::DockControlBar(CControlBar* pBar, UINT nDockBarID) {
    if (!pBar || !pBar->m_hWnd) return;
    if (std::find(m_listControlBars.begin(), m_listControlBars.end(), pBar) == m_listControlBars.end())
        m_listControlBars.push_back(pBar);
    CDockBar* pDock = nullptr;
    if (nDockBarID) {
        if (pBar->m_dwDockStyle & CDockBar::SideOfId(nDockBarID)) {
            CWnd* p = FromHandlePermanent(::GetDlgItem(m_hWnd, (int)nDockBarID));
            if (p && p->IsKindOf(RUNTIME_CLASS(CDockBar))) pDock = static_cast<CDockBar*>(p);
        }
    } else {
        for (DWORD side : {CBRS_ALIGN_TOP, CBRS_ALIGN_BOTTOM, CBRS_ALIGN_LEFT, CBRS_ALIGN_RIGHT}) {
            if (!(pBar->m_dwDockStyle & side)) continue;
            CWnd* p = FromHandlePermanent(::GetDlgItem(m_hWnd, (int)CDockBar::IdOfSide(side)));
            if (p && p->IsKindOf(RUNTIME_CLASS(CDockBar))) {
                pDock = static_cast<CDockBar*>(p);
                break;
            }
        }
    }
    if (pDock) {
        BOOL bVisible = (pBar->GetStyle() & WS_VISIBLE) != 0;
        CFloatFrame* pFloat = pBar->m_pFloatFrame;
        if (pBar->m_pDockBar && pBar->m_pDockBar != pDock) pBar->m_pDockBar->RemoveControlBar(pBar);
        pBar->m_pFloatFrame = nullptr;
        pDock->DockControlBar(pBar);
        if (pFloat) pFloat->DestroyWindow();
        if (bVisible) pBar->ShowWindow(SW_SHOWNOACTIVATE);
    }
    RecalcLayoutAndRepaint();
}

void CFrameWnd::FloatControlBar(CControlBar* pBar, POINT ptScreen) {
    if (!pBar || !pBar->m_hWnd) return;
    if (std::find(m_listControlBars.begin(), m_listControlBars.end(), pBar) == m_listControlBars.end())
        m_listControlBars.push_back(pBar);
    pBar->m_pDockSite = this;
    CFloatFrame* pFloat = pBar->m_pFloatFrame;
    if (!pFloat) {
        pFloat = new CFloatFrame;
        if (!pFloat->Create(pBar)) {
            delete pFloat;
            return;
        }
    }
    if (pBar->m_pDockBar) pBar->m_pDockBar->RemoveControlBar(pBar);
    pFloat->TakeBar(ptScreen);
    if (pBar->GetStyle() & WS_VISIBLE) pFloat->ShowWindow(SW_SHOWNOACTIVATE);
    RecalcLayoutAndRepaint();
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL) {
    if (!pBar || !pBar->m_hWnd) return;
    pBar->ShowWindow(bShow ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (pBar->m_pFloatFrame) pBar->m_pFloatFrame->ShowWindow(bShow ? SW_SHOWNOACTIVATE : SW_HIDE);
    RecalcLayoutAndRepaint();
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const {
    for (CControlBar* p : m_listControlBars)
        if (p->m_hWnd && (UINT)p->GetDlgCtrlID() == nID) return p;
    CWnd* p = FromHandlePermanent(::GetDlgItem(m_hWnd, (int)nID));
    return p && p->IsKindOf(RUNTIME_CLASS(CControlBar)) ? static_cast<CControlBar*>(p) : nullptr;
}

CWnd* CFrameWnd::GetPaneWindow() const {
    HWND h = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST);
    return h ? FromHandle(h) : nullptr;
}

void CFrameWnd::RecalcLayout(BOOL) {
    if (!m_hWnd) return;
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    BOOL bDockAreaSet = FALSE;
    // Bars are found among the children, so one created but not yet docked
    // is laid out too.
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        CWnd* p = FromHandlePermanent(h);
        if (!p || !p->IsKindOf(RUNTIME_CLASS(CControlBar)) || !::IsWindowVisible(h)) continue;
        auto* bar = static_cast<CControlBar*>(p);
        BOOL bDock = bar->IsKindOf(RUNTIME_CLASS(CDockBar));
        if (bDock && !bDockAreaSet) {
            m_rectDockArea = rc;
            bDockAreaSet = TRUE;
        }
        DWORD align = bar->m_dwStyle & CBRS_ALIGN_ANY;
        BOOL bHorz = !(align & CBRS_ORIENT_VERT);
        SIZE sz = bar->CalcFixedLayout(bHorz);
        int cx = (int)sz.cx, cy = (int)sz.cy;
        if (align & CBRS_ALIGN_BOTTOM) {
            ::MoveWindow(h, rc.left, rc.bottom - cy, rc.right - rc.left, cy, TRUE);
            rc.bottom -= cy;
        } else if (align & CBRS_ALIGN_LEFT) {
            ::MoveWindow(h, rc.left, rc.top, cx, rc.bottom - rc.top, TRUE);
            rc.left += cx;
        } else if (align & CBRS_ALIGN_RIGHT) {
            ::MoveWindow(h, rc.right - cx, rc.top, cx, rc.bottom - rc.top, TRUE);
            rc.right -= cx;
        } else {
            ::MoveWindow(h, rc.left, rc.top, rc.right - rc.left, cy, TRUE);
            rc.top += cy;
        }
        if (rc.bottom < rc.top) rc.bottom = rc.top;
        if (rc.right < rc.left) rc.right = rc.left;
        if (bar->IsKindOf(RUNTIME_CLASS(CStatusBar))) static_cast<CStatusBar*>(bar)->UpdatePanes();
        if (bDock) static_cast<CDockBar*>(bar)->LayoutBars();
    }
    if (!bDockAreaSet) m_rectDockArea = rc;
    if (HWND hPane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST))
        ::MoveWindow(hPane, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void CFrameWnd::RecalcLayoutAndRepaint() {
    RecalcLayout();
    // Panes moved by a bar that came, went or changed sides can keep stale
    // pixels where the bar was (seen under Wine): everything is repainted.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

RECT CFrameWnd::GetDockingArea() const {
    RECT rc = m_rectDockArea;
    ClientToScreen(&rc);
    return rc;
}

void CFrameWnd::OnSize(UINT nType, int, int) {
    Default();
    if (nType != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(CWnd* pOldWnd) {
    // The keyboard belongs to the active view.
    if (m_pViewActive && m_pViewActive->m_hWnd) m_pViewActive->SetFocus();
    else Default();
}

void CFrameWnd::OnClose() {
    // Closing the frame closes its document, which destroys the frame.
    CDocument* pDoc = GetActiveDocument();
    if (pDoc && pDoc->m_bAutoDelete) pDoc->OnCloseDocument();
    else DestroyWindow();
}

void CFrameWnd::OnDestroy() {
    m_pViewActive = nullptr;
    Default();
}

void CFrameWnd::PostNcDestroy() { delete this; }

BOOL CFrameWnd::OnBarCheck(UINT nID) {
    CControlBar* pBar = GetControlBar(nID);
    if (!pBar) return FALSE;
    ShowControlBar(pBar, !(pBar->GetStyle() & WS_VISIBLE), FALSE);
    return TRUE;
}

void CFrameWnd::OnUpdateControlBarMenu(CCmdUI* pCmdUI) {
    CControlBar* pBar = GetControlBar(pCmdUI->m_nID);
    pCmdUI->Enable(pBar != nullptr);
    pCmdUI->SetCheck(pBar && (pBar->GetStyle() & WS_VISIBLE));
}

void CFrameWnd::OnNextPane(UINT nID) {
    CWnd* pPane = GetPaneWindow();
    CWnd* pPerm = pPane ? FromHandlePermanent(pPane->m_hWnd) : nullptr;
    if (pPerm && pPerm->IsKindOf(RUNTIME_CLASS(CSplitterWnd)))
        static_cast<CSplitterWnd*>(pPerm)->ActivateNext(nID == ID_PREV_PANE);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) {
    if (m_pViewActive && m_pViewActive->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
    CWinApp* pApp = AfxGetApp();
    return pApp && pApp->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hAccelTable)
        return ::TranslateAcceleratorW(m_hWnd, m_hAccelTable, pMsg);
    return FALSE;
}

BOOL CFrameWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    auto* n = (NMHDR*)lParam;
    // The toolbar's tooltips: the part of the command's string after '\n'.
    if (n && n->code == TTN_GETDISPINFOW) {
        auto* di = (NMTTDISPINFOW*)lParam;
        UINT nID = (UINT)n->idFrom;
        if (di->uFlags & TTF_IDISHWND) nID = (UINT)::GetDlgCtrlID((HWND)n->idFrom);
        CString s;
        s.LoadString(nID);
        int nl = s.Find(L'\n');
        s = nl < 0 ? CString() : s.Mid(nl + 1);
        lstrcpynW(di->szText, s, (int)(sizeof di->szText / sizeof di->szText[0]));
        di->lpszText = di->szText;
        *pResult = 0;
        return TRUE;
    }
    return CWnd::OnNotify(wParam, lParam, pResult);
}

CString CFrameWnd::GetMessageString(UINT nID) const {
    CString s;
    if (nID && s.LoadString(nID)) {
        int nl = s.Find(L'\n');
        if (nl >= 0) s = s.Left(nl);
    }
    return s;
}

void CFrameWnd::SetMessageText(LPCTSTR lpszText) {
    HWND h = ::GetDlgItem(m_hWnd, AFX_IDW_STATUS_BAR);
    CWnd* p = h ? FromHandlePermanent(h) : nullptr;
    if (p && p->IsKindOf(RUNTIME_CLASS(CStatusBar))) static_cast<CStatusBar*>(p)->SetPaneText(0, lpszText);
}

void CFrameWnd::OnIdleUpdateCmdUI() {
    if (!m_hWnd || !::IsWindowVisible(m_hWnd)) return;
    // The dock sites update the bars docked in them.
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        CWnd* p = FromHandlePermanent(h);
        if (p && p->IsKindOf(RUNTIME_CLASS(CControlBar)) && ::IsWindowVisible(h))
            static_cast<CControlBar*>(p)->OnUpdateCmdUI(this, TRUE);
    }
    for (CControlBar* p : m_listControlBars)
        if (p->m_pFloatFrame && p->IsWindowVisible()) p->OnUpdateCmdUI(this, TRUE);
    if (!m_nIDTracking) SetMessageText(GetMessageString(AFX_IDS_IDLEMESSAGE));
}

void CFrameWnd::SetFlyByPrompt(UINT nID) {
    m_nIDTracking = nID;
    SetMessageText(GetMessageString(nID ? nID : AFX_IDS_IDLEMESSAGE));
}

void CFrameWnd::OnInitMenuPopup(HMENU hMenu) {
    CCmdUI ui;
    ui.m_hMenu = hMenu;
    int n = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        UINT id = ::GetMenuItemID(hMenu, i);
        if (id == 0 || id == (UINT)-1) continue;  // separators and sub-menus
        ui.m_nIndex = (UINT)i;
        ui.m_nID = id;
        ui.DoUpdate(this, TRUE);
    }
}

void CFrameWnd::OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hMenu) {
    if (nFlags == 0xFFFF && !hMenu) {
        m_nIDTracking = 0;  // the menu closed
        SetMessageText(GetMessageString(AFX_IDS_IDLEMESSAGE));
        return;
    }
    if (nFlags & (MF_POPUP | MF_SEPARATOR)) return;
    m_nIDTracking = nItemID ? nItemID : AFX_IDS_IDLEMESSAGE;
    SetMessageText(GetMessageString(m_nIDTracking));
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITMENUPOPUP:
        if (!HIWORD(lParam)) OnInitMenuPopup((HMENU)wParam);
        break;
    case WM_MENUSELECT:
        OnMenuSelect(LOWORD(wParam), HIWORD(wParam), (HMENU)lParam);
        break;
    case WM_SHOWWINDOW:
        // Floating bars come and go with their frame (a status 0 is ShowWindow's own).
        if (lParam == 0) {
            for (CControlBar* p : m_listControlBars)
                if (p->m_pFloatFrame && (p->GetStyle() & WS_VISIBLE))
                    p->m_pFloatFrame->ShowWindow(wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
        }
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
