#include "Document.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "View.h"
#include <algorithm>

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)

CDocument::CDocument() : m_bAutoDelete(TRUE), m_pDocTemplate(nullptr), m_bClosing(FALSE) {}

CDocument::~CDocument() {
    for (CView* v : m_viewList) v->m_pDocument = nullptr;
    m_viewList.clear();
    if (m_pDocTemplate) m_pDocTemplate->RemoveDocument(this);
}

void CDocument::UpdateAllViews(CView* pSender, LPARAM lHint, void* pHint) {
    // A view may go away while it is told; walk a copy and skip the gone.
    std::vector<CView*> views = m_viewList;
    for (CView* v : views) {
        if (v == pSender) continue;
        if (std::find(m_viewList.begin(), m_viewList.end(), v) == m_viewList.end()) continue;
        v->OnUpdate(pSender, lHint, pHint);
    }
}

void CDocument::AddView(CView* pView) {
    if (!pView || std::find(m_viewList.begin(), m_viewList.end(), pView) != m_viewList.end()) return;
    m_viewList.push_back(pView);
    pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView) {
    auto it = std::find(m_viewList.begin(), m_viewList.end(), pView);
    if (it == m_viewList.end()) return;
    m_viewList.erase(it);
    pView->m_pDocument = nullptr;
    if (m_viewList.empty() && m_bAutoDelete && !m_bClosing) OnCloseDocument();
}

POSITION CDocument::GetFirstViewPosition() const {
    return m_viewList.empty() ? nullptr : (POSITION)(UINT_PTR)1;
}

CView* CDocument::GetNextView(POSITION& rPosition) const {
    size_t i = (size_t)(UINT_PTR)rPosition - 1;
    if (!rPosition || i >= m_viewList.size()) {
        rPosition = nullptr;
        return nullptr;
    }
    rPosition = i + 1 < m_viewList.size() ? (POSITION)(UINT_PTR)(i + 2) : nullptr;
    return m_viewList[i];
}

void CDocument::SetTitle(LPCTSTR lpszTitle) { m_strTitle = lpszTitle; }

BOOL CDocument::OnNewDocument() {
    DeleteContents();
    return TRUE;
}

void CDocument::OnCloseDocument() {
    if (m_bClosing) return;
    m_bClosing = TRUE;
    std::vector<CFrameWnd*> frames;
    for (CView* v : m_viewList) {
        CFrameWnd* f = v->GetParentFrame();
        if (f && std::find(frames.begin(), frames.end(), f) == frames.end()) frames.push_back(f);
    }
    for (CFrameWnd* f : frames) f->DestroyWindow();
    DeleteContents();
    m_bClosing = FALSE;
    if (m_bAutoDelete) delete this;
}

BOOL CDocument::OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) {
    if (CCmdTarget::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
    return m_pDocTemplate && m_pDocTemplate->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}
