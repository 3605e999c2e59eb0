// CDockContext: dragging a bar by its gripper (or its floating window's
// caption). While the button is held an outline shows where the bar would
// go; on release the bar docks on the side of its frame the pointer is near,
// or floats with its window's corner where the outline was. Escape, the
// right button or a lost capture leave the bar where it was, and so does a
// release before the pointer moved past the drag threshold.
#pragma once
#include "ControlBars.h"

class CDockContext {
public:
    explicit CDockContext(CControlBar* pBar) : m_pBar(pBar) {}
    // Runs the drag from the button press at ptScreen until its end.
    void Track(POINT ptScreen);

    // The side (CBRS_ALIGN_...) among dwAllowed whose strip of the docking
    // area rcDock (screen coordinates) holds pt; a strip reaches nMargin
    // pixels in from its edge and as far out. The nearest edge wins; 0 when
    // pt is in no strip.
    static DWORD DockSideAt(const RECT& rcDock, POINT pt, int nMargin, DWORD dwAllowed);

private:
    // Where the bar goes for the pointer at pt: a side, or 0 and the
    // floating window's rectangle.
    DWORD Target(POINT pt, RECT* pRect) const;
    void DrawOutline(const RECT& rc, BOOL bFloat);

    CControlBar* m_pBar;
    POINT m_ptOffset = {0, 0};  // the pointer's offset from the window being dragged
    SIZE m_sizeHorz = {0, 0};
    SIZE m_sizeVert = {0, 0};
    SIZE m_sizeFloat = {0, 0};  // the floating window, frame included
};
