// CDialog: modal and modeless dialogs from a template, with our own modal
// loop so a dialog can run modally on any thread (the task workers show
// their confirmations that way while the interface thread runs its loop).
#pragma once
#include "Wnd.h"
#include "DataExchange.h"

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    explicit CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Modal: the result given to EndDialog, or -1 when the window could not
    // be made (or went away without EndDialog, or WM_QUIT ended the loop).
    virtual INT_PTR DoModal();
    // Modeless: the window exists when this returns TRUE; it is shown only if
    // the template says WS_VISIBLE.
    virtual BOOL Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    // The same from a template in memory (it must outlive the call).
    BOOL InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr);
    virtual BOOL CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr);

    // Modal: ends the loop with nResult. Modeless: only hides the window
    // (the owner destroys it).
    void EndDialog(int nResult);

    // UpdateData(FALSE), then TRUE (focus to the first tab stop).
    virtual BOOL OnInitDialog();
    // UpdateData(TRUE), then EndDialog(IDOK).
    virtual void OnOK();
    // EndDialog(IDCANCEL).
    virtual void OnCancel();

    BOOL PreTranslateMessage(MSG* pMsg) override;

    LPCTSTR m_lpszTemplateName;
    UINT m_nIDHelp;
    LPCDLGTEMPLATE m_lpDialogTemplate;
    CWnd* m_pParentWnd;

protected:
    // The owner for a dialog of this thread: the parent's top-level window,
    // else the thread's main window; NULL when there is neither.
    HWND PreModalOwner() const;
    LPCDLGTEMPLATE LoadTemplate() const;
    BOOL CreateFromTemplate(LPCDLGTEMPLATE lpTemplate, HWND hWndOwner);

    volatile LONG m_bInModalLoop;  // EndDialog may come from a handler or another thread
    INT_PTR m_nModalResult;

    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()
};
