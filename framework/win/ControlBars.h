// Control bars of a frame: the toolbar and the status bar. The frame lays
// them out (the status bar at the bottom, a bar that may dock in the dock
// site of its side) and updates their buttons and panes through the command
// routing when the program is idle.
#pragma once
#include "Wnd.h"
#include <vector>

class CFrameWnd;
class CDockBar;
class CFloatFrame;

// Control-bar styles kept by the bar (not window styles).
#define CBRS_ALIGN_LEFT 0x1000L
#define CBRS_ALIGN_TOP 0x2000L
#define CBRS_ALIGN_RIGHT 0x4000L
#define CBRS_ALIGN_BOTTOM 0x8000L
#define CBRS_ALIGN_ANY 0xF000L
#define CBRS_BORDER_LEFT 0x0100L
#define CBRS_BORDER_TOP 0x0200L
#define CBRS_BORDER_RIGHT 0x0400L
#define CBRS_BORDER_BOTTOM 0x0800L
#define CBRS_TOOLTIPS 0x0010L
#define CBRS_FLYBY 0x0020L
#define CBRS_FLOATING 0x0001L
#define CBRS_SIZE_DYNAMIC 0x0004L
#define CBRS_GRIPPER 0x00400000L
#define CBRS_TOP (CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM)
#define CBRS_BOTTOM (CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP)
#define CBRS_ALL 0x0040FFFFL
#define CBRS_ORIENT_VERT (CBRS_ALIGN_LEFT | CBRS_ALIGN_RIGHT)

#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801

// Status-bar pane styles.
#define SBPS_NORMAL 0x0000
#define SBPS_STRETCH 0x0800

class CControlBar : public CWnd {
    DECLARE_DYNAMIC(CControlBar)
public:
    CControlBar();
    DWORD GetBarStyle() const { return m_dwStyle; }
    void SetBarStyle(DWORD dwStyle) { m_dwStyle = dwStyle; }
    // The sides of its frame the bar may dock on (CBRS_ALIGN_...).
    void EnableDocking(DWORD dwDockStyle) { m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY; }
    // Updates its buttons or panes through pTarget's routing.
    virtual void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) = 0;
    // The height the bar takes at the top or bottom of its frame.
    virtual int CalcHeight() const;
    // The window size the bar wants laid out in a row (bHorz) or a column;
    // a length of 0 takes the whole side.
    virtual SIZE CalcFixedLayout(BOOL bHorz);
    // After the bar moved into a dock site or a floating window.
    virtual void OnBarPlaced() {}
    BOOL IsFloating() const { return m_pFloatFrame != nullptr; }
    // Docked on the left or right: laid out upright.
    BOOL IsVertDocked() const { return !IsFloating() && (m_dwStyle & CBRS_ORIENT_VERT) != 0; }

    DWORD m_dwStyle;
    DWORD m_dwDockStyle;
    CFrameWnd* m_pDockSite;      // the frame that docks it; null until docked
    CDockBar* m_pDockBar;        // the side it is docked on; null when floating or not docked
    CFloatFrame* m_pFloatFrame;  // its floating window; null when docked
    UINT m_nLastDockID;          // the side it was last docked on (AFX_IDW_DOCKBAR_...)
};

class CToolBar : public CControlBar {
    DECLARE_DYNAMIC(CToolBar)
public:
    BOOL CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle = TBSTYLE_FLAT,
                  DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP,
                  const RECT& rcBorders = RECT{0, 0, 0, 0}, UINT nID = AFX_IDW_TOOLBAR);
    // The toolbar resource (type 241: version, image width and height, count,
    // then the command ids with 0 for a separator) and the bitmap of the same id.
    BOOL LoadToolBar(UINT nIDResource);
    int GetCount() const { return (int)SendMessage(TB_BUTTONCOUNT); }
    UINT GetItemID(int nIndex) const;
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) override;
    int CalcHeight() const override;
    // Wraps the buttons into one column for an upright bar, one row otherwise.
    SIZE CalcFixedLayout(BOOL bHorz) override;
    void OnBarPlaced() override;
    // The gripper's rectangle in window coordinates; empty when none is drawn.
    RECT GetGripperRect() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The space around the buttons: the gripper on the leading edge while docked.
    RECT BorderInsets() const;
    SIZE ButtonExtent() const;
    void SetFlyBy(UINT nID);
    void OnNcPaint();

    HBITMAP m_hbmImages = nullptr;
    int m_nWrapped = -1;   // the layout the buttons have: 1 column, 0 row, -1 not yet
    UINT m_nFlyByID = 0;   // the button whose prompt the pointer shows; 0 none
public:
    ~CToolBar() override;
};

class CStatusBar : public CControlBar {
    DECLARE_DYNAMIC(CStatusBar)
public:
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT nID = AFX_IDW_STATUS_BAR);
    // One pane per id; ID_SEPARATOR (0) is the message pane. A pane starts
    // with the string of its id.
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
    void SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth);
    void GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const;
    UINT GetPaneStyle(int nIndex) const;
    void SetPaneStyle(int nIndex, UINT nStyle);
    BOOL SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL bUpdate = TRUE);
    CString GetPaneText(int nIndex) const;
    int GetCount() const { return (int)m_panes.size(); }
    // Lays the panes out across the bar's width.
    void UpdatePanes();
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) override;
    int CalcHeight() const override;

private:
    struct Pane {
        UINT nID;
        UINT nStyle;
        int cxText;
        CString strText;
    };
    std::vector<Pane> m_panes;
};
