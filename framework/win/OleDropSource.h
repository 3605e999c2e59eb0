// COleDropSource: the drag loop's questions to the side the drag started
// from, and COleDropTarget: a window's registration as a place to drop, which
// hands the drag's steps to the window's view.
#pragma once
#include "Wnd.h"
#include <oleidl.h>

class COleDropSource : public IDropSource {
public:
    COleDropSource() {}
    virtual ~COleDropSource() {}

    // IDropSource (the object lives on the stack of the drag's starter).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // Esc cancels; releasing the left button drops; otherwise go on.
    STDMETHODIMP QueryContinueDrag(BOOL bEscapePressed, DWORD dwKeyState) override;
    // The system's default cursors.
    STDMETHODIMP GiveFeedback(DWORD dropEffect) override;
};

class CView;

class COleDropTarget : public IDropTarget {
public:
    // Made with new: the maker holds the first reference and releases it
    // when its window goes. OLE holds its own while the window is
    // registered and while a drag is over it, so a drag that outlives the
    // window still reaches a live object, which then refuses the drop.
    COleDropTarget();
    // Registers the window; its steps go to pWnd's OnDragEnter, OnDragOver,
    // OnDragLeave and OnDrop (a CView's; a plain window refuses drops).
    BOOL Register(CWnd* pWnd);
    // Ends the registration and lets go of the window and the drag's data.
    void Revoke();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Each step runs as a handler (CHandlerScope): OLE calls them from
    // outside any window procedure of the program.
    STDMETHODIMP DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
    STDMETHODIMP DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

    HWND m_hWnd;

protected:
    virtual ~COleDropTarget();  // by the last Release only

private:
    CView* View() const;
    IDataObject* m_pDataObject;  // held from DragEnter to DragLeave or Drop
    LONG m_nRefs;
};
