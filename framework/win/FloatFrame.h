// CFloatFrame: the small tool window with a caption that a floating bar
// lives in. It is owned by the bar's frame, takes the bar's size laid out in
// a row, and hands the bar's commands to that frame. Its caption drags the
// bar (to a side of the frame, or to float elsewhere); a double click on the
// caption docks the bar again on the side it last left; its close box hides
// the bar as the frame's toggle does.
#pragma once
#include "ControlBars.h"

class CFloatFrame : public CWnd {
    DECLARE_DYNAMIC(CFloatFrame)
public:
    // A hidden window for pBar, owned by pBar's dock site (a heap object: it
    // deletes itself); the bar is not moved into it yet.
    BOOL Create(CControlBar* pBar);
    // Moves the bar into the window and sizes the window round it, its
    // top-left corner at ptScreen.
    void TakeBar(POINT ptScreen);
    // Fits the window to the bar's present size.
    void RecalcLayout();
    CControlBar* GetBar() const { return m_pBar; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void PostNcDestroy() override;

private:
    CControlBar* m_pBar = nullptr;
};
