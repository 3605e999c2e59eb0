#include "SubFolderNotice.h"
#include "app/AppMessages.h"

namespace {
// The notice being sent; the one it interrupted, if any, is kept by its Send.
struct Notice {
    const CString* pNew;
    const CString* pOld;
    DWORD dwThread;
};
Notice s_current = {nullptr, nullptr, 0};
}  // namespace

LRESULT SubFolderNotice::Send(HWND hWnd, const CString& strNewName, const CString* pOldName) {
    // A message box in a handler runs a message loop, where a nested notice
    // may be sent: the outer one is in force again once that returns.
    Notice outer = s_current;
    s_current = {&strNewName, pOldName, ::GetCurrentThreadId()};
    LRESULT result = ::SendMessageW(hWnd, WM_SUBFOLDER_CHANGED, (WPARAM)&strNewName, (LPARAM)pOldName);
    s_current = outer;
    return result;
}

BOOL SubFolderNotice::IsHandedOver(WPARAM wParam, LPARAM lParam) {
    // Only the values are compared: nothing they name is read before they match.
    return s_current.pNew && s_current.dwThread == ::GetCurrentThreadId() &&
           wParam == (WPARAM)s_current.pNew && lParam == (LPARAM)s_current.pOld;
}
