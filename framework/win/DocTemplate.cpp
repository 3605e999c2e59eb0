#include "DocTemplate.h"
#include "FrameWnd.h"
#include "View.h"
#include "WinApp.h"

IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)
IMPLEMENT_DYNAMIC(CSingleDocTemplate, CDocTemplate)

CDocTemplate::CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                           CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass) {
    m_strDocStrings.LoadString(nIDResource);
}

CDocTemplate::~CDocTemplate() {}

BOOL CDocTemplate::GetDocString(CString& rString, DocStringIndex index) const {
    rString.Empty();
    int start = 0;
    for (int i = 0; i < (int)index; ++i) {
        int nl = m_strDocStrings.Find(L'\n', start);
        if (nl < 0) return FALSE;
        start = nl + 1;
    }
    int end = m_strDocStrings.Find(L'\n', start);
    rString = m_strDocStrings.Mid(start, (end < 0 ? m_strDocStrings.GetLength() : end) - start);
    return !rString.IsEmpty();
}

CDocument* CDocTemplate::CreateNewDocument() {
    CObject* p = m_pDocClass ? m_pDocClass->CreateObject() : nullptr;
    CDocument* pDoc = p && p->IsKindOf(RUNTIME_CLASS(CDocument)) ? static_cast<CDocument*>(p) : nullptr;
    if (!pDoc) {
        delete p;
        return nullptr;
    }
    pDoc->m_pDocTemplate = this;
    return pDoc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc) {
    CObject* p = m_pFrameClass ? m_pFrameClass->CreateObject() : nullptr;
    CFrameWnd* pFrame = p && p->IsKindOf(RUNTIME_CLASS(CFrameWnd)) ? static_cast<CFrameWnd*>(p) : nullptr;
    if (!pFrame) {
        delete p;
        return nullptr;
    }
    CCreateContext context;
    context.m_pCurrentFrame = nullptr;
    context.m_pCurrentDoc = pDoc;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pNewDocTemplate = this;
    if (!pFrame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context)) {
        // A window that got as far as WM_CREATE deleted the object with
        // itself; one that never existed is left, as the framework does.
        return nullptr;
    }
    return pFrame;
}

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass,
                                       CRuntimeClass* pFrameClass, CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass), m_pOnlyDoc(nullptr) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    if (m_pOnlyDoc) {
        m_pOnlyDoc->m_pDocTemplate = nullptr;
        delete m_pOnlyDoc;
    }
}

void CSingleDocTemplate::RemoveDocument(CDocument* pDoc) {
    if (m_pOnlyDoc == pDoc) m_pOnlyDoc = nullptr;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(LPCTSTR, BOOL bMakeVisible) {
    if (m_pOnlyDoc) {
        // The one document is reused for a new one.
        return m_pOnlyDoc->OnNewDocument() ? m_pOnlyDoc : nullptr;
    }
    CDocument* pDoc = CreateNewDocument();
    if (!pDoc) return nullptr;
    m_pOnlyDoc = pDoc;
    CString title;
    if (GetDocString(title, docName)) pDoc->SetTitle(title);
    // The frame's views hold the document; while none exists it must not go.
    BOOL bAutoDelete = pDoc->m_bAutoDelete;
    pDoc->m_bAutoDelete = FALSE;
    CFrameWnd* pFrame = CreateNewFrame(pDoc);
    pDoc->m_bAutoDelete = bAutoDelete;
    if (!pFrame || !pDoc->OnNewDocument()) {
        if (pFrame) pFrame->DestroyWindow();
        if (m_pOnlyDoc == pDoc) {
            m_pOnlyDoc = nullptr;
            pDoc->m_pDocTemplate = nullptr;
            delete pDoc;
        }
        return nullptr;
    }
    CWinThread* pThread = AfxGetThread();
    if (pThread && !pThread->m_pMainWnd) pThread->m_pMainWnd = pFrame;
    pFrame->InitialUpdateFrame(pDoc, bMakeVisible);
    return pDoc;
}
