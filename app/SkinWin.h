// CSkinWin: the skin of the main frame on systems whose major version is
// not 6. Hooked on the frame's window procedure, it paints the caption, the
// borders, the caption icon and the caption buttons from bitmaps, does its
// own hit testing, maximises to the work area itself and keeps a minimum
// size. Its close and minimise buttons both send WM_CLOSE (0, 0), which the
// frame answers by hiding.
#pragma once
#include "SubclassWnd.h"

// The skin's bitmaps and the caption icon.
enum SkinResource {
    IDB_SKIN_CAPTION = 168,
    IDB_SKIN_CAPTION_INACTIVE = 169,
    IDB_SKIN_CAPTION_TALL = 172,
    IDB_SKIN_CAPTION_TALL_INACTIVE = 171,
    IDB_SKIN_BORDER = 143,
    IDB_SKIN_BORDER_WIDE = 175,
    IDB_SKIN_BOTTOM = 138,
    IDB_SKIN_CLOSE = 142, IDB_SKIN_CLOSE_HOVER = 141, IDB_SKIN_CLOSE_PRESSED = 140,
    IDB_SKIN_MAX = 146, IDB_SKIN_MAX_HOVER = 145, IDB_SKIN_MAX_PRESSED = 144,
    IDB_SKIN_RESTORE = 152, IDB_SKIN_RESTORE_HOVER = 151, IDB_SKIN_RESTORE_PRESSED = 150,
    IDB_SKIN_MIN = 170, IDB_SKIN_MIN_HOVER = 148, IDB_SKIN_MIN_PRESSED = 147,
    IDI_SKIN_ICON = 163,
};

// DrawButtonStates' kinds.
enum SkinButtonState { SKIN_HOVER = 0, SKIN_PRESSED = 1, SKIN_RELEASED = 2 };

class CSkinWin : public CSubclassWnd {
public:
    CSkinWin();

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The rectangles below from the window's size and the system metrics.
    void ComputeFrameMetrics();
    void PaintFrame();
    void DrawFrameParts(BOOL bInactive, HDC hDC);
    void DrawCaptionBar(HDC hDC, BOOL bInactive, const RECT& rc);
    void DrawCaptionText(HDC hDC);
    void DrawSideBorder(HDC hDC, const RECT& rc);
    void DrawBottomBorder(HDC hDC);
    void DrawCaptionButtons(HDC hDC);
    // nKind: SKIN_HOVER, SKIN_PRESSED or SKIN_RELEASED; pt relative to the window.
    void DrawButtonStates(int nKind, POINT pt);
    // The hit code of a screen point, from the last metrics.
    LRESULT HitTestFrame(POINT ptScreen);
    void MaximizeToWorkArea();
    void RestoreFromMaximize();
    void ShowSystemMenu(POINT ptScreen);

    // Relative to the window rectangle's top-left corner.
    RECT m_rcClose;
    RECT m_rcMax;
    RECT m_rcMin;
    RECT m_rcIcon;
    RECT m_rcCaption;
    RECT m_rcLeftBorder;
    RECT m_rcRightBorder;
    RECT m_rcBottomBorder;  // left, top, right, and the border's height in bottom
    RECT m_rcMenu;
    RECT m_rcText;
    RECT m_rcRestore;       // screen: the window before the skin maximised it
    int m_nState;           // 0 normal, 1 maximised by the skin
    BOOL m_bActive;         // drawn with the active caption

protected:
    void OnNcLButtonDown(UINT nHitTest, POINT ptScreen);
    void OnNcLButtonUp(UINT nHitTest, POINT ptScreen);
    // TRUE when the command was one of the system menu's.
    BOOL OnSysMenuCommand(WPARAM wParam, LPARAM lParam);
    void OnSysCommand(WPARAM wParam, LPARAM lParam);
    POINT ToWindow(POINT ptScreen) const;
};

// Hooks the skin to the window (after unhooking it from any other) and
// lets the window recompute its frame.
void ApplySkin(CWnd* pWnd, CSkinWin* pSkin);
