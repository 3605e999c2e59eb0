// CSplitterWnd: a static splitter of one row and several columns. Its panes
// are views with the ids AFX_IDW_PANE_FIRST + row * 16 + column; the bars
// between them can be dragged with the mouse.
#pragma once
#include "Wnd.h"
#include <vector>

struct CCreateContext;

class CSplitterWnd : public CWnd {
    DECLARE_DYNAMIC(CSplitterWnd)
public:
    CSplitterWnd();
    BOOL CreateStatic(CWnd* pParentWnd, int nRows, int nCols,
                      DWORD dwStyle = WS_CHILD | WS_VISIBLE, UINT nID = 0xE900);
    // The pane's ideal width is sizeInit.cx; the last column takes the rest.
    virtual BOOL CreateView(int row, int col, CRuntimeClass* pViewClass, SIZE sizeInit,
                            CCreateContext* pContext);
    CWnd* GetPane(int row, int col) const;
    int IdFromRowCol(int row, int col) const { return 0xE900 + row * 16 + col; }
    int GetRowCount() const { return m_nRows; }
    int GetColumnCount() const { return m_nCols; }
    // Moves the focus to the next (or previous) pane.
    void ActivateNext(BOOL bPrev = FALSE);
    void RecalcLayout();

    afx_msg void OnSize(UINT nType, int cx, int cy);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int BarHitTest(int x) const;  // index of the bar under x, or -1

    int m_nRows;
    int m_nCols;
    std::vector<int> m_colWidths;
    int m_cxBar;
    int m_nDragBar;   // the bar being dragged, -1 when none
    DECLARE_MESSAGE_MAP()
};
