#include "PwdEdit.h"

namespace {
BOOL IsPasswordKey(WPARAM vk) {
    switch (vk) {
    case VK_BACK: case VK_TAB: case VK_RETURN: case VK_SHIFT: case VK_CONTROL: case VK_CAPITAL:
    case VK_END: case VK_HOME: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
    case VK_INSERT: case VK_DELETE:
        return TRUE;
    }
    return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9);
}
}  // namespace

BOOL CPwdEdit::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && !IsPasswordKey(pMsg->wParam)) {
        MessageBeep(0);
        return TRUE;  // never translated, so no character reaches the box
    }
    return CEdit::PreTranslateMessage(pMsg);
}
