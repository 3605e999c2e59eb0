#include "Wnd.h"
#include "Gdi.h"
#include "DataExchange.h"
#include "Module.h"
#include "ThreadState.h"
#include "WinApp.h"
#include <mutex>
#include <set>
#include <string>
#include <vector>

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

// ---- thread state ---------------------------------------------------------

namespace {
thread_local AfxThreadState* t_pState = nullptr;

// Windows of every thread share one permanent map: dialogs run on worker
// threads and look their controls up from there. The map is never freed so
// that windows destroyed during process exit still find it.
std::mutex& MapLock() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::unordered_map<HWND, CWnd*>& PermanentMap() {
    static auto* m = new std::unordered_map<HWND, CWnd*>;
    return *m;
}

LRESULT CALLBACK AfxCbtFilterHook(int nCode, WPARAM wParam, LPARAM lParam);
}  // namespace

AfxThreadState* AfxGetThreadState() {
    if (!t_pState) t_pState = new AfxThreadState;
    return t_pState;
}

void AfxTermThreadState() {
    AfxThreadState* st = t_pState;
    if (!st) return;
    AfxDeleteTempMaps();
    if (st->hHookCbt) ::UnhookWindowsHookEx(st->hHookCbt);
    delete st;
    t_pState = nullptr;
}

struct AfxWndInternals {
    static CWnd* MakeTemporary(HWND h) {
        CWnd* p = new CWnd;
        p->m_hWnd = h;
        p->m_bTemporary = TRUE;
        return p;
    }
    static void DeleteTemporary(CWnd* p) {
        p->m_hWnd = nullptr;
        delete p;
    }
    // Installs AfxWndProc on a window just attached to pWnd.
    static void Hook(CWnd* pWnd, HWND h) {
        WNDPROC old = (WNDPROC)::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
        pWnd->m_pfnSuper = (old && old != AfxWndProc) ? old : ::DefWindowProcW;
        pWnd->m_bSubclassed = TRUE;
    }
    // After WM_NCDESTROY: the window is gone, the object lets go of it.
    static void AfterNcDestroy(CWnd* pWnd) {
        pWnd->m_bSubclassed = FALSE;
        pWnd->Detach();
        // The end of a thread's main window ends that thread's message loop.
        CWinThread* pThread = AfxGetThread();
        if (pThread && pThread->m_pMainWnd == pWnd) {
            pThread->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
        pWnd->PostNcDestroy();
    }
};

void AfxDeleteTempMaps() {
    AfxThreadState* st = t_pState;
    if (!st) return;
    std::unordered_map<HWND, CWnd*> wnds;
    wnds.swap(st->tempWnds);
    for (auto& e : wnds) AfxWndInternals::DeleteTemporary(e.second);
    AfxDeleteTempGdiMap(st);
}

void AfxHookWindowCreate(CWnd* pWnd, LPCWSTR pszClass) {
    AfxThreadState* st = AfxGetThreadState();
    if (!st->hHookCbt)
        st->hHookCbt = ::SetWindowsHookExW(WH_CBT, AfxCbtFilterHook, nullptr, ::GetCurrentThreadId());
    st->pWndInit = pWnd;
    st->pszInitClass = (pszClass && !IS_INTRESOURCE(pszClass)) ? pszClass : nullptr;
}

namespace {
LRESULT CALLBACK AfxCbtFilterHook(int nCode, WPARAM wParam, LPARAM lParam) {
    AfxThreadState* st = t_pState;
    if (nCode == HCBT_CREATEWND && st && st->pWndInit) {
        HWND h = (HWND)wParam;
        WCHAR cls[64] = {0};
        ::GetClassNameW(h, cls, 64);
        // The input-method windows the system may create on the way are not ours.
        bool ime = !lstrcmpiW(cls, L"IME") || !lstrcmpiW(cls, L"MSCTFIME UI");
        bool match = !st->pszInitClass || !lstrcmpiW(cls, st->pszInitClass);
        if (!ime && match) {
            CWnd* p = st->pWndInit;
            st->pWndInit = nullptr;
            if (p->Attach(h)) AfxWndInternals::Hook(p, h);
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
}  // namespace

// ---- window procedure -------------------------------------------------------

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    CHandlerScope scope(hWnd, message, wParam, lParam);
    AfxThreadState* st = AfxGetThreadState();
    MSG saved = st->curMsg;
    st->curMsg.hwnd = hWnd;
    st->curMsg.message = message;
    st->curMsg.wParam = wParam;
    st->curMsg.lParam = lParam;
    LRESULT r = 0;
    // A framework exception must not unwind through the system's window
    // code: a handler that lets one escape ends its message (a window being
    // created fails to be created) instead of the program.
    try {
        r = pWnd->WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        e->Delete();
        r = message == WM_CREATE ? -1 : 0;
    }
    if (message == WM_NCDESTROY) AfxWndInternals::AfterNcDestroy(pWnd);
    st->curMsg = saved;
    return r;
}

CHandlerScope::CHandlerScope() : m_msg{}, m_bKeyed(FALSE), m_bCounted(FALSE), m_pOuter(nullptr) { Enter(FALSE); }

CHandlerScope::CHandlerScope(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    : m_msg{}, m_bKeyed(TRUE), m_bCounted(FALSE), m_pOuter(nullptr) {
    m_msg.hwnd = hWnd;
    m_msg.message = message;
    m_msg.wParam = wParam;
    m_msg.lParam = lParam;
    Enter(TRUE);
}

void CHandlerScope::Enter(BOOL bKeyed) {
    AfxThreadState* st = AfxGetThreadState();
    m_pOuter = st->pInnermostScope;
    const CHandlerScope* o = m_pOuter;
    BOOL bSameMessage = bKeyed && o && o->m_bKeyed && o->m_msg.hwnd == m_msg.hwnd &&
                        o->m_msg.message == m_msg.message && o->m_msg.wParam == m_msg.wParam &&
                        o->m_msg.lParam == m_msg.lParam;
    m_bCounted = !bSameMessage;
    if (m_bCounted) ++st->nHandlerDepth;
    st->pInnermostScope = this;
}

CHandlerScope::~CHandlerScope() {
    AfxThreadState* st = AfxGetThreadState();
    st->pInnermostScope = m_pOuter;
    if (!m_bCounted || --st->nHandlerDepth > 0) return;
    // The outermost handler has ended: nothing of the thread's runs now.
    // Taken one at a time, since each handler may ask for more.
    while (!st->outerLoopSends.empty()) {
        MSG m = st->outerLoopSends.front();
        st->outerLoopSends.erase(st->outerLoopSends.begin());
        if (::IsWindow(m.hwnd)) ::SendMessageW(m.hwnd, m.message, m.wParam, m.lParam);
    }
}

int AfxGetHandlerDepth() { return AfxGetThreadState()->nHandlerDepth; }

void AfxSendFromOuterLoop(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    AfxThreadState* st = AfxGetThreadState();
    if (st->nHandlerDepth == 0) {
        ::SendMessageW(hWnd, message, wParam, lParam);
        return;
    }
    MSG m = {};
    m.hwnd = hWnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    st->outerLoopSends.push_back(m);
}

BOOL AfxPreTranslateMessage(MSG* pMsg) {
    for (HWND h = pMsg->hwnd; h;) {
        CWnd* p = CWnd::FromHandlePermanent(h);
        if (p && p->PreTranslateMessage(pMsg)) return TRUE;
        if (!(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) break;
        h = ::GetParent(h);
    }
    return FALSE;
}

LPCTSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
    static std::mutex lock;
    static std::set<std::wstring>* names = new std::set<std::wstring>;
    WCHAR buf[128];
    wsprintfW(buf, L"KivWnd:%x:%p:%p:%p", nClassStyle, (void*)hCursor, (void*)hbrBackground,
              (void*)hIcon);
    std::lock_guard<std::mutex> g(lock);
    auto it = names->find(buf);
    if (it != names->end()) return it->c_str();
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.style = nClassStyle;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.hIcon = hIcon;
    wc.lpszClassName = buf;
    WNDCLASSEXW existing = {sizeof(existing)};
    if (!::GetClassInfoExW(wc.hInstance, buf, &existing) && !::RegisterClassExW(&wc)) return nullptr;
    return names->insert(buf).first->c_str();
}

void AfxInitCommonControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
    });
}

// ---- CCmdTarget -------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const {
    for (const AFX_MSGMAP* m = GetMessageMap(); m; m = m->pfnGetBaseMap ? m->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = m->lpEntries; e && e->pfn; ++e) {
            if (e->nMessage == nMessage && e->nCode == nCode && nID >= e->nID && nID <= e->nLastID)
                return e;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo) {
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, (UINT)nCode, nID);
    if (!e) return FALSE;
    if (pHandlerInfo) return TRUE;
    e->pfn(this, MAKEWPARAM(nID, nCode), (LPARAM)pExtra);
    return TRUE;
}

// ---- CWnd -------------------------------------------------------------------

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd()
    : m_hWnd(nullptr), m_pfnSuper(nullptr), m_bTemporary(FALSE), m_bSubclassed(FALSE),
      m_bSpecial(FALSE) {}

CWnd::CWnd(HWND hWndSpecial)
    : m_hWnd(hWndSpecial), m_pfnSuper(nullptr), m_bTemporary(FALSE), m_bSubclassed(FALSE),
      m_bSpecial(TRUE) {}

CWnd::~CWnd() {
    if (m_bSpecial || m_bTemporary || !m_hWnd) {
        if (!m_bSpecial) m_hWnd = nullptr;
        return;
    }
    HWND h = m_hWnd;
    if (m_bSubclassed && ::GetWindowThreadProcessId(h, nullptr) == ::GetCurrentThreadId()) {
        // WM_NCDESTROY detaches; the base PostNcDestroy runs (the object is going anyway).
        ::DestroyWindow(h);
        if (m_hWnd) Detach();
    } else {
        // Another thread's window (or one only attached) is let go, not destroyed.
        if (m_bSubclassed) UnsubclassWindow();
        else Detach();
    }
}

HWND CWnd::GetSafeHwnd() const {
    // Called on null parents on purpose; keep the compiler from assuming 'this'.
    const CWnd* volatile self = this;
    return self ? self->m_hWnd : nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (!hWnd) return nullptr;
    std::lock_guard<std::mutex> g(MapLock());
    auto& m = PermanentMap();
    auto it = m.find(hWnd);
    return it == m.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd)) return p;
    AfxThreadState* st = AfxGetThreadState();
    auto it = st->tempWnds.find(hWnd);
    if (it != st->tempWnds.end()) return it->second;
    CWnd* p = AfxWndInternals::MakeTemporary(hWnd);
    st->tempWnds[hWnd] = p;
    return p;
}

BOOL CWnd::Attach(HWND hWndNew) {
    if (!hWndNew || m_hWnd) return FALSE;
    std::lock_guard<std::mutex> g(MapLock());
    auto& m = PermanentMap();
    if (m.count(hWndNew)) return FALSE;
    m[hWndNew] = this;
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (!h) return nullptr;
    {
        std::lock_guard<std::mutex> g(MapLock());
        auto& m = PermanentMap();
        auto it = m.find(h);
        if (it != m.end() && it->second == this) m.erase(it);
    }
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!::IsWindow(hWnd) || !Attach(hWnd)) return FALSE;
    AfxWndInternals::Hook(this, hWnd);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    HWND h = ::GetDlgItem(pParent->GetSafeHwnd(), (int)nID);
    return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
    if (!m_hWnd) return nullptr;
    if (m_bSubclassed && m_pfnSuper)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
    m_bSubclassed = FALSE;
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (!cs.lpszClass) cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW));
    return TRUE;
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
    return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect, pParentWnd, nID,
                    (LPVOID)pContext);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParentWnd, UINT nID, LPVOID lpParam) {
    return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, pParentWnd->GetSafeHwnd(),
                    (HMENU)(UINT_PTR)nID, lpParam);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
    if (m_hWnd) return FALSE;
    CREATESTRUCT cs = {};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = lpszClassName;
    cs.lpszName = lpszWindowName;
    cs.style = dwStyle;
    cs.x = x;
    cs.y = y;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.hwndParent = hWndParent;
    cs.hMenu = nIDorHMenu;
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpCreateParams = lpParam;
    if (!PreCreateWindow(cs)) return FALSE;

    AfxThreadState* st = AfxGetThreadState();
    CWnd* pPrevInit = st->pWndInit;
    LPCWSTR pPrevClass = st->pszInitClass;
    AfxHookWindowCreate(this, cs.lpszClass);
    HWND h = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx,
                               cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    st->pWndInit = pPrevInit;
    st->pszInitClass = pPrevClass;
    if (h && m_hWnd != h && !m_hWnd) SubclassWindow(h);  // the hook missed it
    return h != nullptr;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND h = m_hWnd;
    BOOL bSubclassed = m_bSubclassed;
    BOOL r = ::DestroyWindow(h);
    // A subclassed object saw WM_NCDESTROY and may have deleted itself.
    if (r && !bSubclassed) Detach();
    return r;
}

void CWnd::GetWindowText(CString& rString) const {
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::vector<WCHAR> buf((size_t)n + 2, 0);
    int got = ::GetWindowTextW(m_hWnd, buf.data(), n + 1);
    rString = CString(buf.data(), got > 0 ? got : 0);
}

CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }

void CWnd::GetDlgItemText(int nID, CString& rString) const {
    HWND h = ::GetDlgItem(m_hWnd, nID);
    if (!h) {
        rString.Empty();
        return;
    }
    int n = ::GetWindowTextLengthW(h);
    std::vector<WCHAR> buf((size_t)n + 2, 0);
    int got = ::GetWindowTextW(h, buf.data(), n + 1);
    rString = CString(buf.data(), got > 0 ? got : 0);
}

void CWnd::ScreenToClient(LPRECT lpRect) const {
    ::MapWindowPoints(nullptr, m_hWnd, (LPPOINT)lpRect, 2);
}

void CWnd::ClientToScreen(LPRECT lpRect) const {
    ::MapWindowPoints(m_hWnd, nullptr, (LPPOINT)lpRect, 2);
}

void CWnd::SetFont(CFont* pFont, BOOL bRedraw) {
    SendMessage(WM_SETFONT, (WPARAM)pFont->GetSafeHandle(), bRedraw);
}

CFont* CWnd::GetFont() const { return CFont::FromHandle((HFONT)SendMessage(WM_GETFONT)); }

CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

CWnd* CWnd::GetTopLevelParent() const {
    if (!m_hWnd) return nullptr;
    HWND h = m_hWnd;
    for (;;) {
        HWND up = (::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h)
                                                                 : ::GetWindow(h, GW_OWNER);
        if (!up) break;
        h = up;
    }
    return FromHandle(h);
}

CWnd* CWnd::GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }

CWnd* CWnd::GetDescendantWindow(int nID) const {
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(h) == nID) return FromHandle(h);
    }
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (CWnd* p = FromHandle(h)->GetDescendantWindow(nID)) return p;
    }
    return nullptr;
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL bDeep) {
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        ::SendMessageW(h, message, wParam, lParam);
        if (bDeep && ::IsWindow(h)) FromHandle(h)->SendMessageToDescendants(message, wParam, lParam, TRUE);
    }
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) {
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    DWORD style = GetStyle();
    DWORD next = (style & ~dwRemove) | dwAdd;
    if (next == style) return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (LONG_PTR)next);
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    DWORD style = GetExStyle();
    DWORD next = (style & ~dwRemove) | dwAdd;
    if (next == style) return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, (LONG_PTR)next);
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

const MSG* CWnd::GetCurrentMessage() { return &AfxGetThreadState()->curMsg; }

LRESULT CWnd::Default() {
    const MSG* m = GetCurrentMessage();
    return DefWindowProc(m->message, m->wParam, m->lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT r = 0;
    if (!OnWndMsg(message, wParam, lParam, &r)) r = DefWindowProc(message, wParam, lParam);
    return r;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *pResult = 0;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        LRESULT r = 0;
        if (!OnNotify(wParam, lParam, &r)) return FALSE;
        *pResult = r;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0, 0);
    if (!e) return FALSE;
    *pResult = e->pfn(this, wParam, lParam);
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    // An accelerator is the same command as its menu item.
    if (!lParam && nCode == 1) nCode = CN_COMMAND;
    return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const NMHDR* n = (const NMHDR*)lParam;
    if (!n) return FALSE;
    CWnd* pChild = FromHandlePermanent(n->hwndFrom);
    if (pChild && pChild != this && pChild->OnChildNotify(WM_NOTIFY, wParam, lParam, pResult))
        return TRUE;
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_NOTIFY, n->code, (UINT)n->idFrom);
    if (!e) return FALSE;
    *pResult = e->pfn(this, 0, lParam);
    return TRUE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_NOTIFY || !lParam) return FALSE;
    const AFX_MSGMAP_ENTRY* e =
        FindMessageEntry(WM_REFLECT_BASE + WM_NOTIFY, ((const NMHDR*)lParam)->code, 0);
    if (!e) return FALSE;
    LRESULT r = e->pfn(this, wParam, lParam);
    if (pResult) *pResult = r;
    return TRUE;
}

void CWnd::PostNcDestroy() {}

void CWnd::DoDataExchange(CDataExchange*) {}

// ---- data exchange ----------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int nIDC) { return ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nIDC); }

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd) return;
    HWND h = pDX->PrepareCtrl(nIDC);
    if (h) rControl.SubclassWindow(h);
}
