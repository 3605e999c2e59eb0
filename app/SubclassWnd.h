// CSubclassWnd: a hook on a window's procedure. Several hooks can sit on one
// window: the process-wide map holds the newest hook of each window, every
// hook points to the next older one, and the oldest passes messages to the
// procedure the window had before the first hook. One shared procedure,
// SharedHookProc, is installed while a window has any hook. User-interface
// thread only.
#pragma once
#include "framework/Win.h"
#include "framework/win/MapPtrToPtr.h"

class CSubclassWnd : public CObject {
    DECLARE_DYNAMIC(CSubclassWnd)
public:
    CSubclassWnd();
    ~CSubclassWnd() override;  // unhooks a hooked hook

    // Hooks the window (the object's handle; NULL unhooks). Always TRUE.
    virtual BOOL AttachTo(CWnd* pWnd);
    // Hooks the window as its newest hook; a null handle unhooks.
    virtual BOOL AttachTo(HWND hWnd);
    virtual BOOL IsAttached() const;
    // The hook's handling of a message; the base passes it on to the next
    // older hook, or to the window's own procedure.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The default handling of the message being handled (the base's pass-on
    // with the thread's current message).
    virtual LRESULT CallDefault();

    HWND m_hWnd;               // the hooked window; null when not hooked
    WNDPROC m_pOldWndProc;     // the window's procedure from before its first hook
    CSubclassWnd* m_pNext;     // the next older hook on the same window

protected:
    LRESULT PassOn(UINT message, WPARAM wParam, LPARAM lParam);
};

// The newest hook of every hooked window.
class CSubclassWndMap : public CMapPtrToPtr {
public:
    CSubclassWndMap() : CMapPtrToPtr(10) {}
    CSubclassWnd* Find(HWND hWnd) const {
        void* p = nullptr;
        return Lookup(hWnd, p) ? static_cast<CSubclassWnd*>(p) : nullptr;
    }
};

// The one map, made on first use.
CSubclassWndMap& GetSubclassWndMap();
// Takes one hook out of its window's chain; the window's own procedure
// comes back when the last hook goes.
void RemoveHook(CSubclassWnd* pHook, CSubclassWndMap& map);
// The procedure of every hooked window.
LRESULT CALLBACK SharedHookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
