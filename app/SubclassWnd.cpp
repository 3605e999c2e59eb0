#include "SubclassWnd.h"
#include "framework/win/ThreadState.h"

IMPLEMENT_DYNAMIC(CSubclassWnd, CObject)

CSubclassWndMap& GetSubclassWndMap() {
    static CSubclassWndMap map;
    return map;
}

void RemoveHook(CSubclassWnd* pHook, CSubclassWndMap& map) {
    HWND h = pHook->m_hWnd;
    CSubclassWnd* pNewest = map.Find(h);
    if (pNewest == pHook) {
        if (pHook->m_pNext) {
            map.SetAt(h, pHook->m_pNext);
        } else {
            map.RemoveKey(h);
            if (::IsWindow(h)) ::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)pHook->m_pOldWndProc);
        }
    } else {
        for (CSubclassWnd* p = pNewest; p; p = p->m_pNext) {
            if (p->m_pNext == pHook) {
                p->m_pNext = pHook->m_pNext;
                break;
            }
        }
    }
    pHook->m_pNext = nullptr;
}

LRESULT CALLBACK SharedHookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A handler: the skin's own menu loop runs here, outside the framework's.
    CHandlerScope scope(hWnd, message, wParam, lParam);
    // CallDefault reads the message being handled; a message sent while
    // this one is handled must not overwrite it for good.
    AfxThreadState* st = AfxGetThreadState();
    MSG saved = st->curMsg;
    st->curMsg.hwnd = hWnd;
    st->curMsg.message = message;
    st->curMsg.wParam = wParam;
    st->curMsg.lParam = lParam;
    CSubclassWndMap& map = GetSubclassWndMap();
    CSubclassWnd* pHook = map.Find(hWnd);
    LRESULT r = 0;
    if (!pHook) {
        r = ::DefWindowProcW(hWnd, message, wParam, lParam);
    } else if (message == WM_NCDESTROY) {
        // Every hook lets go before the window's own procedure sees its end.
        WNDPROC pOld = pHook->m_pOldWndProc;
        while (CSubclassWnd* p = map.Find(hWnd)) p->AttachTo((HWND) nullptr);
        r = ::CallWindowProcW(pOld, hWnd, message, wParam, lParam);
    } else {
        r = pHook->HandleMessage(message, wParam, lParam);
    }
    st->curMsg = saved;
    return r;
}

CSubclassWnd::CSubclassWnd() : m_hWnd(nullptr), m_pOldWndProc(nullptr), m_pNext(nullptr) {}

CSubclassWnd::~CSubclassWnd() {
    if (m_hWnd) RemoveHook(this, GetSubclassWndMap());
    m_pOldWndProc = nullptr;
    m_hWnd = nullptr;
}

BOOL CSubclassWnd::AttachTo(CWnd* pWnd) { return AttachTo(pWnd ? pWnd->GetSafeHwnd() : (HWND) nullptr); }

BOOL CSubclassWnd::AttachTo(HWND hWnd) {
    CSubclassWndMap& map = GetSubclassWndMap();
    // A hook sits on one window at a time.
    if (m_hWnd) RemoveHook(this, map);
    if (hWnd) {
        m_pNext = map.Find(hWnd);
        map.SetAt(hWnd, this);
        if (m_pNext)
            m_pOldWndProc = m_pNext->m_pOldWndProc;
        else
            m_pOldWndProc = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)&SharedHookProc);
    } else {
        m_pOldWndProc = nullptr;
    }
    m_hWnd = hWnd;
    return TRUE;
}

BOOL CSubclassWnd::IsAttached() const { return m_hWnd != nullptr; }

LRESULT CSubclassWnd::PassOn(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pNext) return m_pNext->HandleMessage(message, wParam, lParam);
    if (!m_pOldWndProc) return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
    return ::CallWindowProcW(m_pOldWndProc, m_hWnd, message, wParam, lParam);
}

LRESULT CSubclassWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return PassOn(message, wParam, lParam);
}

LRESULT CSubclassWnd::CallDefault() {
    const MSG* m = CWnd::GetCurrentMessage();
    return PassOn(m->message, m->wParam, m->lParam);
}
