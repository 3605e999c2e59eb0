// CDocTemplate and CSingleDocTemplate: what document, frame and view classes
// make up a document window, and the resource id they share (title string,
// menu, accelerators, icon).
#pragma once
#include "Document.h"

class CFrameWnd;

class CDocTemplate : public CCmdTarget {
    DECLARE_DYNAMIC(CDocTemplate)
public:
    // The parts of the template's string resource, in the order they stand
    // there, separated by '\n'.
    enum DocStringIndex {
        windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName
    };

    CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                 CRuntimeClass* pViewClass);
    ~CDocTemplate() override;

    // FALSE when the part is missing or empty.
    virtual BOOL GetDocString(CString& rString, DocStringIndex index) const;
    // A new document (lpszPathName NULL) in a new frame; NULL on failure.
    virtual CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) = 0;
    virtual void RemoveDocument(CDocument* pDoc) = 0;

    CDocument* CreateNewDocument();
    CFrameWnd* CreateNewFrame(CDocument* pDoc);

    UINT m_nIDResource;

protected:
    CRuntimeClass* m_pDocClass;
    CRuntimeClass* m_pFrameClass;
    CRuntimeClass* m_pViewClass;
    CString m_strDocStrings;
};

// One document at a time.
class CSingleDocTemplate : public CDocTemplate {
    DECLARE_DYNAMIC(CSingleDocTemplate)
public:
    CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                       CRuntimeClass* pViewClass);
    ~CSingleDocTemplate() override;  // closes the document that is still open
    CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) override;
    void RemoveDocument(CDocument* pDoc) override;
    CDocument* GetOnlyDocument() const { return m_pOnlyDoc; }

protected:
    CDocument* m_pOnlyDoc;
};
