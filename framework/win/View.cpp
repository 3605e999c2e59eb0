#include "View.h"
#include "Document.h"
#include "FrameWnd.h"

IMPLEMENT_DYNAMIC(CView, CWnd)
IMPLEMENT_DYNAMIC(CCtrlView, CView)
IMPLEMENT_DYNAMIC(CTreeView, CCtrlView)
IMPLEMENT_DYNAMIC(CListView, CCtrlView)

BEGIN_MESSAGE_MAP(CView, CWnd)
    ON_WM_CREATE()
    ON_WM_SETFOCUS()
    ON_WM_DESTROY()
    ON_MESSAGE(WM_INITIALUPDATE, &CView::OnInitialUpdateMsg)
END_MESSAGE_MAP()

CView::CView() : m_pDocument(nullptr) {}

CView::~CView() {
    if (m_pDocument) m_pDocument->RemoveView(this);
}

int CView::OnCreate(LPCREATESTRUCT lpcs) {
    if (Default() == -1) return -1;
    auto* pContext = lpcs ? (CCreateContext*)lpcs->lpCreateParams : nullptr;
    if (pContext && pContext->m_pCurrentDoc) pContext->m_pCurrentDoc->AddView(this);
    return 0;
}

void CView::OnSetFocus(CWnd*) {
    Default();
    if (CFrameWnd* f = GetParentFrame()) f->SetActiveView(this, FALSE);
}

void CView::OnDestroy() {
    CFrameWnd* f = GetParentFrame();
    if (f && f->GetActiveView() == this) f->SetActiveView(nullptr, FALSE);
    Default();
}

LRESULT CView::OnInitialUpdateMsg(WPARAM, LPARAM) {
    OnInitialUpdate();
    return 0;
}

void CView::OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }

void CView::OnUpdate(CView*, LPARAM, void*) { Invalidate(); }

BOOL CView::OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
    return m_pDocument && m_pDocument->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

void CView::PostNcDestroy() { delete this; }

CCtrlView::CCtrlView(LPCTSTR lpszClass, DWORD dwStyle) : m_strClass(lpszClass), m_dwDefaultStyle(dwStyle) {}

BOOL CCtrlView::PreCreateWindow(CREATESTRUCT& cs) {
    AfxInitCommonControls();
    cs.lpszClass = m_strClass;
    cs.style |= m_dwDefaultStyle;
    return CView::PreCreateWindow(cs);
}

CTreeView::CTreeView() : CCtrlView(WC_TREEVIEWW, AFX_WS_DEFAULT_VIEW) {}
CListView::CListView() : CCtrlView(WC_LISTVIEWW, AFX_WS_DEFAULT_VIEW) {}
