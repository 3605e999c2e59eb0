// CMainFrame: the program's one top-level window and its message hub. It
// carries the toolbar, the status bar, the splitter with the folder tree and
// the file list, and the tray icon; it relays the shell's change
// notifications and volume changes to the views, deletes finished task
// batches, and decides what closing means: closing and minimising only hide
// it, a close request with a non-zero argument ends the program.
#pragma once
#include "framework/Win.h"
#include "SkinWin.h"
#include "SplashDlg.h"
#include "SystemTray.h"
#include <vector>

class CFileTaskThread;

class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame();
    ~CMainFrame() override;  // withdraws the shell registration

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCreateClient(LPCREATESTRUCT lpcs, CCreateContext* pContext) override;

    CSplitterWnd m_wndSplitter;
    CSystemTray m_wndTray;
    ULONG m_nShellNotifyId;   // the desktop-wide shell registration; 0 when none
    CSkinWin m_wndSkin;       // the caption's skin; hooked only off version 6
    // The floating drop window, owned by the frame; null when it could not
    // be made, which every use allows for.
    SPLASHDLG* m_pDropWnd;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
    BYTE m_bAnimating;        // the drop window's animation plays

    // Starts a batch that the frame owns from now on: it is deleted when
    // its worker reports the end, but never before its Start has returned
    // (a modal batch can end inside another modal loop that runs in its
    // dialog's). Refused (deleted, 0) once a real exit was asked for. Otherwise
    // the result of CFileTaskThread::Start.
    int StartBatch(CFileTaskThread* pBatch, BOOL bModal);
    struct HeldBatch {
        CFileTaskThread* pBatch;
        BOOL bInStart;  // its Start is still running
        BOOL bEnded;    // its worker reported the end while Start ran
    };
    // The batches started and not yet deleted. WM_TASKTHREAD_DONE frees only
    // one of these: any other value is a message the frame did not expect.
    std::vector<HeldBatch> m_arrBatches;
    // A real exit came while batches ran: they were cancelled, and the
    // close follows the last one's end.
    BOOL m_bCloseAfterBatches;
    // A real exit came inside a menu, box, dialog or drag of the program:
    // it is carried out once the outermost of them has ended.
    BOOL m_bClosePending;
    // This frame answered the session's end query with yes, and no end
    // message has come since; only such an end runs the clean-up.
    BOOL m_bSessionEndAgreed;

    afx_msg int OnCreate(LPCREATESTRUCT lpcs);
    afx_msg void OnDestroy();
    // The session ends: the system ends the process after this returns, so
    // the application's exit clean-up runs here.
    afx_msg void OnEndSession(BOOL bEnding);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnViewMode(UINT nID);
    afx_msg void OnUpdateViewMode(CCmdUI* pCmdUI);
    afx_msg LRESULT OnTaskThreadDone(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShellChangeNotify(WPARAM wParam, LPARAM lParam);
    afx_msg void OnShowHide();
    afx_msg void OnCloseApp();
    afx_msg void OnChangePassword();
    afx_msg void OnToggleAnimation();
    afx_msg void OnSetDefaultPath();
    // The drop window's clip is stopped and its bitmap shown again.
    void StopAnimation();

protected:
    // The real exit: the tray icon goes, the quit message is posted and the
    // framework closes the document and the window. Never from inside a
    // nested loop of the program, whose caller still uses the windows; nor
    // while batches run (they are cancelled and the close follows them).
    LRESULT CloseForGood(WPARAM wParam, LPARAM lParam);
    // Deletes a held batch and forgets it; the exit that waited for the
    // batches follows the last one.
    void ReleaseBatch(CFileTaskThread* pBatch);
    // Pane (0, 1) when it is the file list, else NULL.
    class CFileView* GetFileView() const;
    DECLARE_MESSAGE_MAP()
};

// The folder browser's callback: the initial selection (a path in lpData).
int CALLBACK BrowseFolderCallback(HWND hWnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

// "X:\" for the lowest of the drive bits 0-25 of a volume's unit mask (the
// letter after Z when none is set).
CString DriveRootFromUnitMask(DWORD dwUnitMask);
