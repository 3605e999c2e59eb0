// CFrameWnd: a top-level window with a menu, accelerators, control bars and
// views. It routes commands to the active view (then its document), itself
// and the application, and keeps menus, toolbar and status bar up to date.
#pragma once
#include "Wnd.h"
#include "View.h"
#include <vector>

class CControlBar;
class CDocument;

#define FWS_ADDTOTITLE 0x00008000L
#define AFX_IDW_PANE_FIRST 0xE900
#define AFX_IDS_IDLEMESSAGE 0xE001
#define ID_VIEW_TOOLBAR 0xE800
#define ID_VIEW_STATUS_BAR 0xE801
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151

class CFrameWnd : public CWnd {
    DECLARE_DYNAMIC(CFrameWnd)
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Title from the first part of string nIDResource, menu and accelerators
    // of that id, the icon of that id (else the program's first icon).
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    // The default makes one view of pContext's class as pane AFX_IDW_PANE_FIRST.
    virtual BOOL OnCreateClient(LPCREATESTRUCT lpcs, CCreateContext* pContext);
    CWnd* CreateView(CCreateContext* pContext, UINT nID = AFX_IDW_PANE_FIRST);
    // Every view gets OnInitialUpdate; the first pane becomes the active view.
    void InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible);

    CView* GetActiveView() const { return m_pViewActive; }
    void SetActiveView(CView* pViewNew, BOOL bNotify = TRUE);
    // The active view's document; NULL without one.
    virtual CDocument* GetActiveDocument();

    // Makes a dock site on each of the sides (CBRS_ALIGN_...) bars may dock on.
    void EnableDocking(DWORD dwDockStyle);
    DWORD GetDockStyle() const { return m_dwDockStyle; }
    // Docks the bar on the side nDockBarID (AFX_IDW_DOCKBAR_...), or with 0 on
    // the first of top, bottom, left, right that both allow; from a floating
    // window too. Without a dock site the bar stays a child laid out on top.
    void DockControlBar(CControlBar* pBar, UINT nDockBarID = 0);
    // Floats the bar in a window of its own, its top-left corner at ptScreen.
    void FloatControlBar(CControlBar* pBar, POINT ptScreen);
    // Shows or hides the bar where it is, docked or floating.
    void ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL bDelay);
    // The bar with this id, docked, floating or a child of the frame; NULL when none.
    CControlBar* GetControlBar(UINT nID) const;
    // Bars along their sides (those made first outermost), pane
    // AFX_IDW_PANE_FIRST in what is left.
    virtual void RecalcLayout(BOOL bNotify = TRUE);
    // Where the dock sites lie (the client area inside the other bars), in
    // screen coordinates.
    RECT GetDockingArea() const;
    // The toolbar's buttons and the status bar's panes (the idle update).
    void OnIdleUpdateCmdUI();
    CString GetMessageString(UINT nID) const;
    void SetMessageText(LPCTSTR lpszText);
    // A bar's fly-by prompt: nID's prompt in the message pane until the
    // pointer leaves (nID 0), when the idle message comes back.
    void SetFlyByPrompt(UINT nID);

    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    afx_msg int OnCreate(LPCREATESTRUCT lpcs);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnSetFocus(CWnd* pOldWnd);
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    afx_msg BOOL OnBarCheck(UINT nID);
    afx_msg void OnUpdateControlBarMenu(CCmdUI* pCmdUI);
    afx_msg void OnNextPane(UINT nID);

    HACCEL m_hAccelTable;
    HMENU m_hMenuDefault;

protected:
    void PostNcDestroy() override;  // frames are made on the heap
    CWnd* GetPaneWindow() const;
    void RecalcLayoutAndRepaint();
    void OnInitMenuPopup(HMENU hMenu);
    void OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hMenu);

    CView* m_pViewActive;
    DWORD m_dwDockStyle;
    UINT m_nIDTracking;   // the prompt shown while a menu is open or a bar's button is pointed at; 0 none
    RECT m_rectDockArea;  // GetDockingArea in client coordinates
    CString m_strTitle;
    std::vector<CControlBar*> m_listControlBars;
    friend class CControlBar;

    DECLARE_MESSAGE_MAP()
};
