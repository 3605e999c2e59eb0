// CDocument: the hub the views of one document talk through.
#pragma once
#include "Wnd.h"
#include <vector>

class CView;
class CDocTemplate;

class CDocument : public CCmdTarget {
    DECLARE_DYNAMIC(CDocument)
public:
    CDocument();
    ~CDocument() override;  // the views still attached forget it

    // Every view but pSender gets OnUpdate(pSender, lHint, pHint). pHint's
    // type depends on the hint; it lives only for the call.
    void UpdateAllViews(CView* pSender, LPARAM lHint = 0, void* pHint = nullptr);
    void AddView(CView* pView);
    void RemoveView(CView* pView);
    POSITION GetFirstViewPosition() const;
    CView* GetNextView(POSITION& rPosition) const;

    const CString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(LPCTSTR lpszTitle);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

    virtual BOOL OnNewDocument();
    // Destroys the frames of its views, then the document itself when
    // m_bAutoDelete.
    virtual void OnCloseDocument();
    virtual void DeleteContents() {}

    // The document's own map, then its template's.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) override;

    BOOL m_bAutoDelete;
    CDocTemplate* m_pDocTemplate;

protected:
    CString m_strTitle;
    std::vector<CView*> m_viewList;
    BOOL m_bClosing;
};
