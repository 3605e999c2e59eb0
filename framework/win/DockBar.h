// CDockBar: the dock site of one side of a frame. A child of the frame that
// the frame lays out like a control bar along its side, as thick as the
// visible bars docked in it (nothing when none is); it holds those bars,
// one after another from the side's start, and keeps them upright on the
// left and right sides.
#pragma once
#include "ControlBars.h"
#include <vector>

#define AFX_IDW_DOCKBAR_TOP 0xE81B
#define AFX_IDW_DOCKBAR_LEFT 0xE81C
#define AFX_IDW_DOCKBAR_RIGHT 0xE81D
#define AFX_IDW_DOCKBAR_BOTTOM 0xE81E

class CDockBar : public CControlBar {
    DECLARE_DYNAMIC(CDockBar)
public:
    // The dock bar's id for one CBRS_ALIGN_... side, and the side of an id;
    // 0 for anything else.
    static UINT IdOfSide(DWORD dwAlign);
    static DWORD SideOfId(UINT nID);

    // A window on the side nID of pFrame (a heap object: it deletes itself).
    BOOL Create(CFrameWnd* pFrame, UINT nID);
    BOOL IsHorz() const { return (m_dwStyle & CBRS_ORIENT_VERT) == 0; }
    // Takes the bar into this side (it becomes the bar's parent).
    void DockControlBar(CControlBar* pBar);
    // Lets the bar go; its parent is then the caller's to set.
    void RemoveControlBar(CControlBar* pBar);

    SIZE CalcFixedLayout(BOOL bHorz) override;
    // Puts the bars in place inside the dock bar's present size.
    void LayoutBars();
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHndler) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void PostNcDestroy() override;

private:
    std::vector<CControlBar*> m_arrBars;
};
