#include "ToolTipCtrl.h"

IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

namespace {
// The tool record as every version of the control reads it: a larger size
// (with the reserved field of later versions) is refused by older ones.
TOOLINFOW ToolFor(CWnd* pWnd, UINT_PTR nIDTool) {
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = pWnd->GetSafeHwnd();
    ti.uId = nIDTool;
    return ti;
}
}  // namespace

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
    AfxInitCommonControls();
    return CWnd::CreateEx(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd->GetSafeHwnd(), nullptr);
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCTSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
    TOOLINFOW ti = ToolFor(pWnd, nIDTool);
    if (lpRectTool) ti.rect = *lpRectTool;
    ti.hinst = nullptr;
    ti.lpszText = const_cast<LPWSTR>(lpszText ? lpszText : L"");
    return (BOOL)SendMessage(TTM_ADDTOOLW, 0, (LPARAM)&ti);
}

void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR nIDTool) {
    TOOLINFOW ti = ToolFor(pWnd, nIDTool);
    SendMessage(TTM_DELTOOLW, 0, (LPARAM)&ti);
}
