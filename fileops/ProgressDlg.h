// CProgressDlg: the advance of one batch of file tasks: caption by the
// operation, a looping animation, the current file, a From/To line, a bar in
// percent and Cancel. Everything arrives as messages posted by the worker.
#pragma once
#include "framework/Win.h"
#include "fileops/TaskThread.h"

class CProgressDlg : public CDialog {
    DECLARE_DYNAMIC(CProgressDlg)
public:
    enum { IDD = 132, IDR_ANIMATION = 159, IDC_ANIMATE = 0xE80A,
           IDC_PROGRESS = 1004, IDC_FILENAME = 1008, IDC_FROMTO = 1007 };

    CProgressDlg();
    explicit CProgressDlg(volatile BOOL* pbCancel);
    ~CProgressDlg() override;

    INT_PTR DoModal() override;

    // Called at the end of OnInitDialog, once the window exists; the batch
    // uses it to learn the window and to start its worker.
    void SetReadyHook(void (*pfn)(void* pContext, HWND hWnd), void* pContext) {
        m_pfnReady = pfn;
        m_pReadyContext = pContext;
    }

    CStatic m_stcFileName;
    CStatic m_stcFromTo;
    CProgressCtrl m_ctlProgress;
    CAnimateCtrl m_ctlAnimate;
    ULONGLONG m_nTotal;
    ULONGLONG m_nDone;
    BOOL m_bModal;
    volatile BOOL* m_pbCancel;
    CString m_strTitle;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void PostNcDestroy() override;
    BOOL OnInitDialog() override;
    void OnCancel() override;
    // Enter (the dialog has no default button, so it sends IDOK) does
    // nothing: the dialog ends only when the worker says the batch is over,
    // or through Cancel.
    void OnOK() override;

    virtual LRESULT OnProgressAdvance(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnProgressNames(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnProgressDone(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void (*m_pfnReady)(void*, HWND) = nullptr;
    void* m_pReadyContext = nullptr;
    // A modeless dialog owns itself only once its window was fully set up;
    // a window that failed while being made leaves the object to its creator.
    BOOL m_bInitDone = FALSE;
};

// Publishes the current source and target for the progress dialog (worker
// thread). Returns TRUE.
BOOL SetProgressNames(CString strSrc, CString strDst);
// Copies of the last names published (user-interface thread).
void GetProgressNames(CString& strSrc, CString& strDst);
