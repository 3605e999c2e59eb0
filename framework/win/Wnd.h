// CCmdTarget and CWnd: a window handle with the framework's members, the
// handle maps, and message maps that route window messages and commands to
// member functions of the derived classes.
#pragma once
#include "../Afx.h"
#include <commctrl.h>

#ifndef afx_msg
#define afx_msg
#endif

class CCmdTarget;
class CCmdUI;
class CWnd;
class CFrameWnd;
class CFont;
class CDataExchange;
struct CCreateContext;

// One message-map entry. pfn is a thunk made by the ON_... macros: it casts
// the target to the class that declared the entry and calls the member, so
// a virtual member reaches the derived override.
typedef LRESULT (*AFX_PMSGTHUNK)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_COMMAND, WM_NOTIFY or another window message
    UINT nCode;     // notification code (WM_COMMAND / WM_NOTIFY)
    UINT nID;       // first control or command id
    UINT nLastID;   // last id of the range
    AFX_PMSGTHUNK pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// CN_COMMAND: a menu item, an accelerator, or a button's BN_CLICKED.
#define CN_COMMAND 0
// The update of a command's user interface (menu item, button, pane): the
// handler gets the CCmdUI in lParam.
#define CN_UPDATE_COMMAND_UI ((UINT)-1)
// Notifications a parent hands back to the control that sent them; the
// control's map lists them under WM_REFLECT_BASE + the message.
#define WM_REFLECT_BASE 0xBC00
// Sent to every view when its frame is first shown (OnInitialUpdate).
#define WM_INITIALUPDATE 0x0364

#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                   \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                            \
        typedef theClass ThisClass;                                              \
        typedef baseClass TheBaseClass;                                          \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                        \
        {0, 0, 0, 0, nullptr}};                                                  \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap,  \
                                              &_messageEntries[0]};              \
        return &messageMap;                                                      \
    }

// memberFxn is a member pointer, as in ON_COMMAND(IDOK, &CMyDlg::OnOK).
// Handlers: ON_COMMAND/ON_BN_CLICKED/ON_STN_CLICKED/ON_CONTROL void();
// ON_MESSAGE LRESULT(WPARAM, LPARAM); ON_NOTIFY void(NMHDR*, LRESULT*).
#define ON_CONTROL(wNotifyCode, id, memberFxn)                                   \
    {WM_COMMAND, (UINT)(wNotifyCode), (UINT)(id), (UINT)(id),                    \
     [](CCmdTarget* p_, WPARAM, LPARAM) -> LRESULT {                             \
         (static_cast<ThisClass*>(p_)->*(memberFxn))();                          \
         return 0;                                                               \
     }},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(CN_COMMAND, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

// Handler void(UINT nID) for the commands nID to nIDLast.
#define ON_COMMAND_RANGE(id, idLast, memberFxn)                                  \
    {WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(idLast),                         \
     [](CCmdTarget* p_, WPARAM w_, LPARAM) -> LRESULT {                          \
         (static_cast<ThisClass*>(p_)->*(memberFxn))((UINT)LOWORD(w_));          \
         return 0;                                                               \
     }},
// Handler void(CCmdUI*).
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, memberFxn)                        \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(idLast),               \
     [](CCmdTarget* p_, WPARAM, LPARAM l_) -> LRESULT {                          \
         (static_cast<ThisClass*>(p_)->*(memberFxn))((CCmdUI*)l_);               \
         return 0;                                                               \
     }},
#define ON_UPDATE_COMMAND_UI(id, memberFxn) ON_UPDATE_COMMAND_UI_RANGE(id, id, memberFxn)

#define ON_MESSAGE(message, memberFxn)                                           \
    {(UINT)(message), 0, 0, 0,                                                   \
     [](CCmdTarget* p_, WPARAM w_, LPARAM l_) -> LRESULT {                       \
         return (static_cast<ThisClass*>(p_)->*(memberFxn))(w_, l_);             \
     }},

#define ON_NOTIFY(wNotifyCode, id, memberFxn)                                    \
    {WM_NOTIFY, (UINT)(wNotifyCode), (UINT)(id), (UINT)(id),                     \
     [](CCmdTarget* p_, WPARAM, LPARAM l_) -> LRESULT {                          \
         LRESULT r_ = 0;                                                         \
         (static_cast<ThisClass*>(p_)->*(memberFxn))((NMHDR*)l_, &r_);           \
         return r_;                                                              \
     }},

// A notification the control sent to its parent, handled by the control.
#define ON_NOTIFY_REFLECT(wNotifyCode, memberFxn)                                \
    {WM_REFLECT_BASE + WM_NOTIFY, (UINT)(wNotifyCode), 0, 0,                     \
     [](CCmdTarget* p_, WPARAM, LPARAM l_) -> LRESULT {                          \
         LRESULT r_ = 0;                                                         \
         (static_cast<ThisClass*>(p_)->*(memberFxn))((NMHDR*)l_, &r_);           \
         return r_;                                                              \
     }},

#define ON_WM_CREATE()                                                           \
    {WM_CREATE, 0, 0, 0,                                                         \
     [](CCmdTarget* p_, WPARAM, LPARAM l_) -> LRESULT {                          \
         return (LRESULT) static_cast<ThisClass*>(p_)->OnCreate((LPCREATESTRUCT)l_); \
     }},

#define ON_WM_SIZE()                                                             \
    {WM_SIZE, 0, 0, 0,                                                           \
     [](CCmdTarget* p_, WPARAM w_, LPARAM l_) -> LRESULT {                       \
         static_cast<ThisClass*>(p_)->OnSize((UINT)w_, (short)LOWORD(l_), (short)HIWORD(l_)); \
         return 0;                                                               \
     }},

#define ON_WM_SETFOCUS()                                                         \
    {WM_SETFOCUS, 0, 0, 0,                                                       \
     [](CCmdTarget* p_, WPARAM w_, LPARAM) -> LRESULT {                          \
         static_cast<ThisClass*>(p_)->OnSetFocus(CWnd::FromHandle((HWND)w_));    \
         return 0;                                                               \
     }},

#define ON_WM_CLOSE()                                                            \
    {WM_CLOSE, 0, 0, 0,                                                          \
     [](CCmdTarget* p_, WPARAM, LPARAM) -> LRESULT {                             \
         static_cast<ThisClass*>(p_)->OnClose();                                 \
         return 0;                                                               \
     }},

#define ON_WM_DESTROY()                                                          \
    {WM_DESTROY, 0, 0, 0,                                                        \
     [](CCmdTarget* p_, WPARAM, LPARAM) -> LRESULT {                             \
         static_cast<ThisClass*>(p_)->OnDestroy();                               \
         return 0;                                                               \
     }},

#define ON_WM_TIMER()                                                            \
    {WM_TIMER, 0, 0, 0,                                                          \
     [](CCmdTarget* p_, WPARAM w_, LPARAM) -> LRESULT {                          \
         static_cast<ThisClass*>(p_)->OnTimer((UINT_PTR)w_);                     \
         return 0;                                                               \
     }},

// Handler void(UINT nChar, UINT nRepCnt, UINT nFlags): the key, the repeat
// count and the flags (scan code and the transition bits) of the message.
#define ON_WM_KEYDOWN()                                                          \
    {WM_KEYDOWN, 0, 0, 0,                                                        \
     [](CCmdTarget* p_, WPARAM w_, LPARAM l_) -> LRESULT {                       \
         static_cast<ThisClass*>(p_)->OnKeyDown((UINT)w_, (UINT)LOWORD(l_), (UINT)HIWORD(l_)); \
         return 0;                                                               \
     }},

// Handlers void(UINT nFlags, POINT point): the key state and the point in
// client coordinates.
#define AFX_ON_MOUSE_(message, memberName)                                       \
    {(message), 0, 0, 0,                                                         \
     [](CCmdTarget* p_, WPARAM w_, LPARAM l_) -> LRESULT {                       \
         POINT pt_ = {(short)LOWORD(l_), (short)HIWORD(l_)};                     \
         static_cast<ThisClass*>(p_)->memberName((UINT)w_, pt_);                 \
         return 0;                                                               \
     }},
#define ON_WM_RBUTTONDOWN() AFX_ON_MOUSE_(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_ON_MOUSE_(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_LBUTTONDOWN() AFX_ON_MOUSE_(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONDBLCLK() AFX_ON_MOUSE_(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_MOUSEMOVE() AFX_ON_MOUSE_(WM_MOUSEMOVE, OnMouseMove)

// Handler void().
#define ON_WM_PAINT()                                                            \
    {WM_PAINT, 0, 0, 0,                                                          \
     [](CCmdTarget* p_, WPARAM, LPARAM) -> LRESULT {                             \
         static_cast<ThisClass*>(p_)->OnPaint();                                 \
         return 0;                                                               \
     }},

// Handler LRESULT(POINT point): the point in screen coordinates; the
// result is the hit-test code.
#define ON_WM_NCHITTEST()                                                        \
    {WM_NCHITTEST, 0, 0, 0,                                                      \
     [](CCmdTarget* p_, WPARAM, LPARAM l_) -> LRESULT {                          \
         POINT pt_ = {(short)LOWORD(l_), (short)HIWORD(l_)};                     \
         return (LRESULT) static_cast<ThisClass*>(p_)->OnNcHitTest(pt_);         \
     }},

// Handler void(CWnd* pWnd, POINT point): the window clicked and the point
// in screen coordinates (-1, -1 from the keyboard).
#define ON_WM_CONTEXTMENU()                                                      \
    {WM_CONTEXTMENU, 0, 0, 0,                                                    \
     [](CCmdTarget* p_, WPARAM w_, LPARAM l_) -> LRESULT {                       \
         POINT pt_ = {(short)LOWORD(l_), (short)HIWORD(l_)};                     \
         static_cast<ThisClass*>(p_)->OnContextMenu(CWnd::FromHandle((HWND)w_), pt_); \
         return 0;                                                               \
     }},

// Handler void(BOOL bEnding): whether the session ends after the queries.
#define ON_WM_ENDSESSION()                                                       \
    {WM_ENDSESSION, 0, 0, 0,                                                     \
     [](CCmdTarget* p_, WPARAM w_, LPARAM) -> LRESULT {                          \
         static_cast<ThisClass*>(p_)->OnEndSession((BOOL)w_);                    \
         return 0;                                                               \
     }},

// Handler void(HDROP hDropInfo); the handler releases the handle.
#define ON_WM_DROPFILES()                                                        \
    {WM_DROPFILES, 0, 0, 0,                                                      \
     [](CCmdTarget* p_, WPARAM w_, LPARAM) -> LRESULT {                          \
         static_cast<ThisClass*>(p_)->OnDropFiles((HDROP)w_);                    \
         return 0;                                                               \
     }},

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget() {}
    ~CCmdTarget() override {}

    // Looks a command (WM_COMMAND id and notification code, or
    // CN_UPDATE_COMMAND_UI with the CCmdUI in pExtra) up in the message maps,
    // derived class first; TRUE when a handler ran. With pHandlerInfo set it
    // only answers whether a handler exists. Frames and views route further.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, void* pHandlerInfo);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // The first entry for (message, code, id), walking the base maps.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;  // destroys a window still attached (or lets it go when another thread owns it)

    HWND m_hWnd;

    // Also safe on a null pointer (an absent parent): NULL then.
    HWND GetSafeHwnd() const;
    operator HWND() const { return GetSafeHwnd(); }

    // The permanent object of a window, else a temporary one for this thread
    // (freed by AfxDeleteTempMaps: when CWinThread::Run's loop goes idle and
    // when a framework thread ends; do not keep the pointer).
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    BOOL Attach(HWND hWndNew);
    HWND Detach();

    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID,
                        CCreateContext* pContext = nullptr);
    virtual BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName,
                          DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
                          LPVOID lpParam = nullptr);
    BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                  int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                  LPVOID lpParam = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    // Routes an existing window's messages through this object.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();
    virtual BOOL DestroyWindow();

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void SetRedraw(BOOL bRedraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETREDRAW, bRedraw, 0); }
    void SetWindowText(LPCTSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;
    int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const {
        return ::GetWindowTextW(m_hWnd, lpszStringBuf, nMaxCount);
    }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void GetDlgItemText(int nID, CString& rString) const;
    int GetDlgItemText(int nID, LPTSTR lpStr, int nMaxCount) const {
        return (int)::GetDlgItemTextW(m_hWnd, nID, lpStr, nMaxCount);
    }
    void SetDlgItemText(int nID, LPCTSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendDlgItemMessageW(m_hWnd, nID, message, wParam, lParam);
    }

    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE) {
        MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                   lpRect->bottom - lpRect->top, bRepaint);
    }
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
        return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y,
                              cx, cy, nFlags);
    }
    void ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
    void ScreenToClient(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }
    void ClientToScreen(LPRECT lpRect) const;

    void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
    CFont* GetFont() const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }

    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* GetParent() const;
    // The window itself when it has no parent or owner.
    CWnd* GetTopLevelParent() const;
    static CWnd* GetDesktopWindow();
    // The nearest frame window among the parents; NULL when there is none.
    CFrameWnd* GetParentFrame() const;
    // The first descendant with this control id, depth first.
    CWnd* GetDescendantWindow(int nID) const;
    // Sends the message to every child (and with bDeep their children).
    void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                                  BOOL bDeep = TRUE);
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    // A caption of NULL shows the application's title.
    int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE); }
    // nFlags not 0: SetWindowPos with these flags (plus no move, size, z-order, activation).
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr) {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

    // Runs DoDataExchange; bSaveAndValidate TRUE reads the controls.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The message being handled on this thread, and its default handling.
    static const MSG* GetCurrentMessage();
    LRESULT Default();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE: the message was handled and is neither translated nor dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // Called after the window is gone (WM_NCDESTROY); self-deleting windows delete here.
    virtual void PostNcDestroy();
    virtual void DoDataExchange(CDataExchange* pDX);

    // Pseudo windows for SetWindowPos's insert-after argument.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

    // A notification this window sent its parent, offered back to it first;
    // TRUE when its map handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    afx_msg int OnCreate(LPCREATESTRUCT) { return (int)Default(); }
    afx_msg void OnSize(UINT, int, int) { Default(); }
    afx_msg void OnSetFocus(CWnd*) { Default(); }
    afx_msg void OnClose() { Default(); }
    afx_msg void OnDestroy() { Default(); }
    afx_msg void OnTimer(UINT_PTR nIDEvent) { Default(); }
    afx_msg void OnKeyDown(UINT, UINT, UINT) { Default(); }
    afx_msg void OnRButtonDown(UINT, POINT) { Default(); }
    afx_msg void OnRButtonUp(UINT, POINT) { Default(); }

protected:
    // The map lookup behind WindowProc; TRUE when a handler ran.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    WNDPROC m_pfnSuper;  // the window procedure this object's subclassing replaced

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend struct AfxWndInternals;

private:
    explicit CWnd(HWND hWndSpecial);
    BOOL m_bTemporary;  // made by FromHandle; owned by the thread's temporary map
    BOOL m_bSubclassed; // our window procedure is installed
    BOOL m_bSpecial;    // wndTop and friends: never mapped
};

// The framework's window procedure: finds the object and calls WindowProc.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// A handler of this thread runs while the object lives: the framework's
// window procedure, the other subclass procedures and the drop target's
// steps make one each. Every menu, box, dialog and drag runs inside one, so
// when the outermost ends, none of the thread's is running; the messages
// left for that moment are sent then. A message handed down a chain of
// subclass procedures of its window counts once.
class CHandlerScope {
public:
    CHandlerScope();  // always counts
    CHandlerScope(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    ~CHandlerScope();
    CHandlerScope(const CHandlerScope&) = delete;
    CHandlerScope& operator=(const CHandlerScope&) = delete;

private:
    void Enter(BOOL bKeyed);
    MSG m_msg;
    BOOL m_bKeyed;
    BOOL m_bCounted;
    CHandlerScope* m_pOuter;
};
// How many handlers of this thread run now, one inside the other.
int AfxGetHandlerDepth();
// Sends the message to hWnd (a window of this thread) as soon as no handler
// of the thread runs: at once when none does, else when the outermost one
// ends, in the order asked.
void AfxSendFromOuterLoop(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Gives pMsg->hwnd and each parent up to its top-level window a chance to
// handle the message in PreTranslateMessage; TRUE when one did.
BOOL AfxPreTranslateMessage(MSG* pMsg);

// A window class with DefWindowProc behaviour and the given styles, registered once.
LPCTSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                            HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);

// The common-control classes (progress bar, animation, list and tree views).
void AfxInitCommonControls();

// Frees this thread's temporary window and GDI objects (message loops call
// it when their queue is empty).
void AfxDeleteTempMaps();
