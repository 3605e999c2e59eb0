// CView and the control views: a child window of a frame that shows a
// document. CTreeView and CListView are the common controls themselves.
#pragma once
#include "Wnd.h"
#include "TreeCtrl.h"
#include "ListCtrl.h"

class CDocument;
class CDocTemplate;
class CView;

// What a frame passes to the views it creates.
struct CCreateContext {
    CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
    CDocTemplate* m_pNewDocTemplate = nullptr;
    CView* m_pLastView = nullptr;
    CFrameWnd* m_pCurrentFrame = nullptr;
};

// Child, visible, with a border.
#define AFX_WS_DEFAULT_VIEW (WS_CHILD | WS_VISIBLE | WS_BORDER)

class CView : public CWnd {
    DECLARE_DYNAMIC(CView)
public:
    CView();
    ~CView() override;  // leaves its document

    CDocument* GetDocument() const { return m_pDocument; }

    // Once, when the frame is first shown: OnUpdate(NULL, 0, NULL).
    virtual void OnInitialUpdate();
    // A document hint (see CDocument::UpdateAllViews). The base repaints.
    virtual void OnUpdate(CView* pSender, LPARAM lHint, void* pHint);
    // The steps of a drop onto the view (registered with a COleDropTarget):
    // the effect offered; by default none.
    virtual DWORD OnDragEnter(class COleDataObject* pDataObject, DWORD dwKeyState, POINT point) { return 0; }
    virtual DWORD OnDragOver(class COleDataObject* pDataObject, DWORD dwKeyState, POINT point) { return 0; }
    virtual void OnDragLeave() {}
    // TRUE when the drop was taken.
    virtual BOOL OnDrop(class COleDataObject* pDataObject, DWORD dropEffect, POINT point) { return FALSE; }
    // The frame's active view changed.
    virtual void OnActivateView(BOOL bActivate, CView* pActivateView, CView* pDeactiveView) {}

    // The view's own map, then its document's.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) override;

    CDocument* m_pDocument;

    afx_msg int OnCreate(LPCREATESTRUCT lpcs);
    afx_msg void OnSetFocus(CWnd* pOldWnd);
    afx_msg void OnDestroy();

protected:
    void PostNcDestroy() override;  // views are made on the heap by their frame
    afx_msg LRESULT OnInitialUpdateMsg(WPARAM, LPARAM);
    friend class CDocument;
    DECLARE_MESSAGE_MAP()
};

// A view that is a control of the given window class.
class CCtrlView : public CView {
    DECLARE_DYNAMIC(CCtrlView)
public:
    CCtrlView(LPCTSTR lpszClass, DWORD dwStyle);
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

protected:
    CString m_strClass;
    DWORD m_dwDefaultStyle;
};

class CTreeView : public CCtrlView {
    DECLARE_DYNAMIC(CTreeView)
public:
    CTreeView();
    // The view itself seen as its control (the control adds no data).
    CTreeCtrl& GetTreeCtrl() const { return *(CTreeCtrl*)this; }
};

class CListView : public CCtrlView {
    DECLARE_DYNAMIC(CListView)
public:
    CListView();
    CListCtrl& GetListCtrl() const { return *(CListCtrl*)this; }
};
