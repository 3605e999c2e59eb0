#include "SubFolderNotice.h"
#include "app/AppMessages.h"
#include "app/HandOver.h"

LRESULT SubFolderNotice::Send(HWND hWnd, const CString& strNewName, const CString* pOldName) {
    CHandOver holdNew(&strNewName), holdOld(pOldName);
    return ::SendMessageW(hWnd, WM_SUBFOLDER_CHANGED, (WPARAM)&strNewName, (LPARAM)pOldName);
}

BOOL SubFolderNotice::IsHandedOver(WPARAM wParam, LPARAM lParam) {
    // Only the values are compared: nothing they name is read before they match.
    return CHandOver::IsHeld((const void*)wParam) && (!lParam || CHandOver::IsHeld((const void*)lParam));
}
